#include "platform/private_directory.h"

#include <errno.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

#include "platform/error.h"
#include "platform/native_path.h"

namespace ostrel {
namespace {

std::string OctalMode(mode_t mode) {
  char text[8];
  (void)std::snprintf(text, sizeof text, "%04o", static_cast<unsigned>(mode & 07777));
  return text;
}

[[noreturn]] void Refuse(const std::string& native_path, const std::string& why) {
  throw Error(ErrorKind::kInvalidArgument, "temporary directory " + native_path + " " + why);
}

}  // namespace

std::string PrivateWorkingDirectory(std::string_view directory) {
  const std::string native = NativePath(directory);
  struct stat shared {};
  if (stat(native.c_str(), &shared) != 0 || !S_ISDIR(shared.st_mode)) {
    return std::string(directory);
  }
  const uid_t user = geteuid();
  const bool others_may_write = (shared.st_mode & (S_IWGRP | S_IWOTH)) != 0;
  if (shared.st_uid == user && !others_may_write) {
    return std::string(directory);
  }
  // In a sticky directory only an entry's owner, the directory's owner and
  // root may rename or remove the entry.
  if ((shared.st_uid != user && shared.st_uid != 0) || (shared.st_mode & S_ISVTX) == 0) {
    Refuse(native, "can be changed by other users (owner " + std::to_string(shared.st_uid) +
                       ", mode " + OctalMode(shared.st_mode) + ") and has no private subdirectory");
  }
  const std::string name = "ostrel-" + std::to_string(user);
  const std::string own = native + (native.ends_with('/') ? "" : "/") + name;
  if (mkdir(own.c_str(), 0700) != 0 && errno != EEXIST) {
    throw PosixError("create " + own, errno);
  }
  struct stat status {};
  if (lstat(own.c_str(), &status) != 0) {
    throw PosixError("stat " + own, errno);
  }
  if (!S_ISDIR(status.st_mode) || status.st_uid != user || (status.st_mode & 07777) != 0700) {
    Refuse(own, std::string("is not a private directory (") +
                    (S_ISDIR(status.st_mode) ? "" : "not a directory, ") + "owner " +
                    std::to_string(status.st_uid) + ", mode " + OctalMode(status.st_mode) + ")");
  }
  return std::string(directory) + name + "\\";
}

}  // namespace ostrel
