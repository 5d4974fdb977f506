#include "platform/atomic_file.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

#include <random>

#include "platform/error.h"
#include "platform/native_path.h"

namespace ostrel {
namespace {

constexpr size_t kSuffixLength = 8;

// `directory` (empty or ending in a separator) + "." + `name` + "." + `suffix`.
std::string TemporaryName(std::string_view directory, std::string_view name,
                          std::string_view suffix) {
  return std::string(directory) + "." + std::string(name) + "." + std::string(suffix);
}

std::string RandomSuffix(std::random_device& random) {
  static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  std::string suffix(kSuffixLength, ' ');
  for (char& letter : suffix) {
    letter = kLetters[random() % (sizeof kLetters - 1)];
  }
  return suffix;
}

}  // namespace

std::string AtomicFileTemporaryPattern(std::string_view path) {
  const size_t separator = path.find_last_of("\\/");
  const size_t name_start = separator == std::string_view::npos ? 0 : separator + 1;
  return TemporaryName(path.substr(0, name_start), path.substr(name_start),
                       std::string(kSuffixLength, '?'));
}

AtomicFile::AtomicFile(std::string_view path) : path_(NativePath(path)), path_on_signal_(path_) {
  const size_t slash = path_.rfind('/');
  const std::string directory = slash == std::string::npos ? "" : path_.substr(0, slash + 1);
  const std::string name = path_.substr(directory.size());
  std::random_device random;
  int error_number = 0;
  // Created and recorded for the termination handler in one step that no
  // signal can split.
  WithTerminationSignalsBlocked([&] {
    // O_EXCL makes a name that another process took fail with EEXIST; a
    // fresh suffix then gets another try. Owner-only whatever the umask.
    for (int attempt = 0; attempt < 100; ++attempt) {
      temporary_path_ = TemporaryName(directory, name, RandomSuffix(random));
      descriptor_ = Descriptor(RetryOnInterrupt([&] {
        return open(temporary_path_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
      }));
      error_number = errno;
      if (descriptor_.is_open() || error_number != EEXIST) {
        break;
      }
    }
    if (descriptor_.is_open()) {
      temporary_on_signal_ = std::make_unique<CleanupFile>(temporary_path_);
    }
  });
  if (!descriptor_.is_open()) {
    throw PosixError("create " + temporary_path_, error_number);
  }
}

AtomicFile::~AtomicFile() {
  if (committed_) {
    return;
  }
  // Cleaning up after a failure that is already being reported: a file
  // that cannot be removed now cannot be reported either.
  descriptor_.Close();
  (void)unlink(temporary_path_.c_str());
  (void)unlink(path_.c_str());
}

void AtomicFile::Write(std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t written =
        RetryOnInterrupt([&] { return write(descriptor_.get(), bytes.data(), bytes.size()); });
    if (written < 0) {
      throw PosixError("write " + temporary_path_, errno);
    }
    bytes.remove_prefix(static_cast<size_t>(written));
  }
}

void AtomicFile::Commit() {
  // No fsync: the rename only has to keep other processes from seeing a
  // partial file, and they see the written data at once; surviving a power
  // failure is not asked of a file that lives for seconds.
  descriptor_.CloseChecked(temporary_path_);
  if (rename(temporary_path_.c_str(), path_.c_str()) != 0) {
    throw PosixError("rename " + temporary_path_ + " to " + path_, errno);
  }
  committed_ = true;
}

}  // namespace ostrel
