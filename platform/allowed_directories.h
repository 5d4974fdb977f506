// The directories whose images clients may ask for, as the program and the
// converter both check them.
#ifndef OSTREL_PLATFORM_ALLOWED_DIRECTORIES_H_
#define OSTREL_PLATFORM_ALLOWED_DIRECTORIES_H_

#include <string>
#include <string_view>
#include <vector>

namespace ostrel {

// The environment variable through which the program hands the configured
// list to the converter, which checks the file it actually opens against it.
// Set only when a list is configured.
inline constexpr char kAllowedDirectoriesVariable[] = "OSTREL_ALLOWED_IMAGE_DIRECTORIES";

// The directories of an AllowedImageDirectories value: separated by ";",
// blanks around each dropped, empty entries skipped.
std::vector<std::string> AllowedDirectoryList(std::string_view value);

// Whether the resolved path `path` is `directory` itself or lies below it.
// Compared at a "/" boundary, so "/srv/scans" does not hold "/srv/scans2".
bool IsInsideDirectory(std::string_view path, std::string_view directory);

// Whether the resolved path `path` lies inside one of the directories listed
// in `allowed`, each resolved alike ("\" counts as "/"); a directory that
// does not exist admits nothing.
bool IsInAllowedDirectory(std::string_view path, std::string_view allowed);

}  // namespace ostrel

#endif  // OSTREL_PLATFORM_ALLOWED_DIRECTORIES_H_
