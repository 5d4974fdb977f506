#include "platform/private_directory.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <random>
#include <utility>

#include "platform/application_log.h"
#include "platform/error.h"
#include "platform/native_path.h"

namespace ostrel {
namespace {

// O_NOFOLLOW: a link at the directory's own name is refused, not followed.
constexpr int kDirectoryFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

std::string ProcessPath(int descriptor) {
  return "/proc/self/fd/" + std::to_string(descriptor) + "/";
}

// A trailing "/" would have the kernel follow a link at the last name
// whatever O_NOFOLLOW says.
std::string WithoutTrailingSlashes(std::string path) {
  while (path.size() > 1 && path.back() == '/') {
    path.pop_back();
  }
  return path;
}

std::string Joined(const std::string& directory, const std::string& name) {
  return directory + (directory.ends_with('/') ? "" : "/") + name;
}

std::string OctalMode(mode_t mode) {
  char text[8];
  (void)std::snprintf(text, sizeof text, "%04o", static_cast<unsigned>(mode & 07777));
  return text;
}

std::string Described(const struct stat& status) {
  return std::string(S_ISDIR(status.st_mode) ? "" : "not a directory, ") + "owner " +
         std::to_string(status.st_uid) + ", mode " + OctalMode(status.st_mode);
}

std::string RandomSuffix(std::random_device& random) {
  static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  std::string suffix(8, ' ');
  for (char& letter : suffix) {
    letter = kLetters[random() % (sizeof kLetters - 1)];
  }
  return suffix;
}

Descriptor OpenDirectoryAt(int directory, const std::string& name) {
  return Descriptor(
      RetryOnInterrupt([&] { return openat(directory, name.c_str(), kDirectoryFlags); }));
}

// Empty when the subdirectory `name` of `parent`, opened as `opened` (or not
// opened), is this user's alone; else what stands there instead.
std::string WhyNotPrivate(int parent, const std::string& name, const Descriptor& opened,
                          uid_t user) {
  struct stat status {};
  if (opened.is_open() ? fstat(opened.get(), &status) != 0
                       : fstatat(parent, name.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0) {
    return "cannot be examined";
  }
  if (opened.is_open() && status.st_uid == user && (status.st_mode & 07777) == 0700) {
    return {};
  }
  return Described(status);
}

}  // namespace

PrivateDirectory::PrivateDirectory(std::string_view directory) {
  const std::string native = WithoutTrailingSlashes(NativePath(directory));
  Descriptor shared = OpenDirectoryAt(AT_FDCWD, native);
  if (!shared.is_open()) {
    const int error_number = errno;
    struct stat status {};
    // O_DIRECTORY answers ENOTDIR for a link before O_NOFOLLOW is asked.
    if ((error_number == ENOTDIR || error_number == ELOOP) && lstat(native.c_str(), &status) == 0 &&
        S_ISLNK(status.st_mode)) {
      throw Error(ErrorSource::kSystem, ELOOP,
                  "open temporary directory " + native + ": a symbolic link, refused");
    }
    throw PosixError("open temporary directory " + native, error_number);
  }
  struct stat status {};
  if (fstat(shared.get(), &status) != 0) {
    throw PosixError("stat temporary directory " + native, errno);
  }
  const uid_t user = geteuid();
  const bool others_may_write = (status.st_mode & (S_IWGRP | S_IWOTH)) != 0;
  if (status.st_uid == user && !others_may_write) {
    directory_ = std::move(shared);
    return;
  }
  // In a sticky directory only an entry's owner, the directory's owner and
  // root may rename or remove the entry.
  if ((status.st_uid != user && status.st_uid != 0) || (status.st_mode & S_ISVTX) == 0) {
    throw Error(ErrorKind::kInvalidArgument,
                "temporary directory " + native + " can be changed by other users (owner " +
                    std::to_string(status.st_uid) + ", mode " + OctalMode(status.st_mode) +
                    ") and has no private subdirectory");
  }
  const std::string name = "ostrel-" + std::to_string(user);
  if (mkdirat(shared.get(), name.c_str(), 0700) != 0 && errno != EEXIST) {
    throw PosixError("create " + Joined(native, name), errno);
  }
  Descriptor own = OpenDirectoryAt(shared.get(), name);
  const std::string found = WhyNotPrivate(shared.get(), name, own, user);
  if (found.empty()) {
    directory_ = std::move(own);
    return;
  }

  // Someone else took the name, before this user's first request or since:
  // a name nobody can guess instead, for this request alone.
  parent_ = std::move(shared);
  std::random_device random;
  int error_number = EEXIST;
  for (int attempt = 0; attempt < 100 && error_number == EEXIST; ++attempt) {
    fresh_name_ = name + "." + RandomSuffix(random);
    // Made and recorded for the termination handler in one step that no
    // signal can split.
    WithTerminationSignalsBlocked([&] {
      error_number = mkdirat(parent_.get(), fresh_name_.c_str(), 0700) == 0 ? 0 : errno;
      if (error_number == 0) {
        fresh_on_signal_ = std::make_unique<CleanupFile>(ProcessPath(parent_.get()) + fresh_name_,
                                                         CleanupEntry::kEmptyDirectory);
      }
    });
  }
  const std::string fresh = Joined(native, fresh_name_);
  if (error_number != 0) {
    throw PosixError("create " + fresh, error_number);
  }
  directory_ = OpenDirectoryAt(parent_.get(), fresh_name_);
  // The umask may have taken bits that mkdirat was asked for.
  if (!directory_.is_open() || fchmod(directory_.get(), 0700) != 0) {
    const Error error = PosixError("open " + fresh, errno);
    (void)unlinkat(parent_.get(), fresh_name_.c_str(), AT_REMOVEDIR);  // empty, just made
    throw error;
  }
  AppendLogEntry(LogEntryType::kMessage, "temporary directory " + Joined(native, name) +
                                             " is not a private directory (" + found +
                                             "): working in " + fresh + " instead");
}

PrivateDirectory::~PrivateDirectory() {
  directory_.Close();
  if (!fresh_name_.empty() && parent_.is_open()) {
    // Cleaning up at the end of a request whose answer is out or whose
    // failure is being reported: what cannot be removed now cannot be
    // reported either.
    (void)unlinkat(parent_.get(), fresh_name_.c_str(), AT_REMOVEDIR);
  }
}

std::string PrivateDirectory::path() const { return ProcessPath(directory_.get()); }

}  // namespace ostrel
