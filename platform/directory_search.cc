#include "platform/directory_search.h"

#include <dirent.h>
#include <errno.h>
#include <fnmatch.h>
#include <sys/stat.h>

#include <memory>

#include "platform/error.h"
#include "platform/native_path.h"

namespace ostrel {
namespace {

struct DirectoryCloser {
  void operator()(DIR* directory) const {
    // A directory stream is only read, so a failed close loses nothing.
    (void)closedir(directory);
  }
};

// The search that FindNextMatch continues. The open stream keeps its place
// until a new search starts or the matches run out.
struct Search {
  std::unique_ptr<DIR, DirectoryCloser> stream;
  std::string directory;
  std::string pattern;  // for fnmatch
  int32_t attributes = 0;
};

Search& CurrentSearch() {
  static Search search;
  return search;
}

// fnmatch would also take "[...]" as a set and "\" as an escape; here only
// "*" and "?" are wildcards.
std::string FnmatchPattern(std::string_view name_pattern) {
  std::string pattern;
  for (const char character : name_pattern) {
    if (character == '[' || character == ']' || character == '\\') {
      pattern.push_back('\\');
    }
    pattern.push_back(character);
  }
  return pattern;
}

bool Admits(int directory_descriptor, const char* name, int32_t attributes) {
  struct stat status {};
  // Following links: a search is an existence test for what a name opens.
  if (fstatat(directory_descriptor, name, &status, 0) != 0) {
    return false;  // gone since it was listed, or a dangling link
  }
  if (name[0] == '.' && (attributes & kAttributeHidden) == 0) {
    return false;
  }
  if (S_ISREG(status.st_mode)) {
    return true;
  }
  if (S_ISDIR(status.st_mode)) {
    return (attributes & kAttributeDirectory) != 0;
  }
  return (attributes & kAttributeSystem) != 0;
}

std::string NextMatchOf(Search& search) {
  DIR* stream = search.stream.get();
  for (;;) {
    errno = 0;
    const dirent* entry = readdir(stream);
    if (entry == nullptr) {
      const int error_number = errno;
      search.stream.reset();
      if (error_number != 0) {
        throw PosixError("read directory " + search.directory, error_number);
      }
      return {};
    }
    if (fnmatch(search.pattern.c_str(), entry->d_name, 0) == 0 &&
        Admits(dirfd(stream), entry->d_name, search.attributes)) {
      return entry->d_name;
    }
  }
}

// The directory part of a native pattern: "." when it has none.
std::string DirectoryOf(const std::string& native_pattern, size_t slash) {
  if (slash == std::string::npos) {
    return ".";
  }
  return native_pattern.substr(0, slash == 0 ? 1 : slash);
}

}  // namespace

std::string FindFirstMatch(std::string_view pattern, int32_t attributes) {
  Search& search = CurrentSearch();
  search.stream.reset();
  const std::string native = NativePath(pattern);
  const size_t slash = native.rfind('/');
  search.directory = DirectoryOf(native, slash);
  search.pattern = FnmatchPattern(slash == std::string::npos ? native : native.substr(slash + 1));
  search.attributes = attributes;
  search.stream.reset(opendir(search.directory.c_str()));
  if (!search.stream) {
    if (errno == ENOENT || errno == ENOTDIR) {
      return {};
    }
    throw PosixError("open directory " + search.directory, errno);
  }
  return NextMatchOf(search);
}

std::string FindNextMatch() {
  Search& search = CurrentSearch();
  if (!search.stream) {
    throw Error(ErrorKind::kInvalidArgument, "no directory search to continue");
  }
  return NextMatchOf(search);
}

}  // namespace ostrel
