// Where a request's files go when the temporary directory is shared with
// other users.
#ifndef OSTREL_PLATFORM_PRIVATE_DIRECTORY_H_
#define OSTREL_PLATFORM_PRIVATE_DIRECTORY_H_

#include <string>
#include <string_view>

namespace ostrel {

// The directory to work in for `directory` (a path ending in "\"; "\" counts
// as "/"), in the same form:
// - `directory` itself when only this process's user can change it: owned
//   by that user, no write permission for group or others; also when it
//   cannot be examined (missing, say), for the converter to report;
// - else, when it is owned by this user or root and has the sticky bit, so
//   that no one else can rename or remove what this user keeps there, its
//   subdirectory "ostrel-UID" (UID: this user's id), created with mode 0700
//   when missing and used only when it is a directory, not a link, owned by
//   this user with mode 0700;
// - else nothing: raises an invalid-argument error naming the directory, as
//   it does when the subdirectory is not as required.
std::string PrivateWorkingDirectory(std::string_view directory);

}  // namespace ostrel

#endif  // OSTREL_PLATFORM_PRIVATE_DIRECTORY_H_
