// The optional list of directories whose images clients may ask for.
#ifndef OSTREL_CONVERSION_ALLOWED_DIRECTORIES_H_
#define OSTREL_CONVERSION_ALLOWED_DIRECTORIES_H_

#include <string>
#include <string_view>
#include <vector>

namespace ostrel {

// The directories of an AllowedImageDirectories value: separated by ";",
// blanks around each dropped, empty entries skipped.
std::vector<std::string> AllowedDirectoryList(std::string_view value);

// Whether the resolved path `path` is `directory` itself or lies below it.
// Compared at a "/" boundary, so "/srv/scans" does not hold "/srv/scans2".
bool IsInsideDirectory(std::string_view path, std::string_view directory);

// Raises an invalid-argument error naming the source unless `path` + `fn` +
// ".tif" (the program's path form) lies, with symbolic links, "." and ".."
// resolved, inside one of the directories listed in `allowed` (resolved
// alike; one that does not exist admits nothing). A source that does not
// exist passes when its directory does, so that the converter reports it
// as missing; outside the list, missing and present files are refused alike,
// which tells a client nothing about what lies there.
void CheckSourceAllowed(std::string_view path, std::string_view fn, std::string_view allowed);

}  // namespace ostrel

#endif  // OSTREL_CONVERSION_ALLOWED_DIRECTORIES_H_
