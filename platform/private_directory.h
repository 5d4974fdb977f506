// The directory a request's files go in, held open from the moment it has
// been checked, so that renaming or replacing any name on the way to it
// cannot lead the files anywhere else.
#ifndef OSTREL_PLATFORM_PRIVATE_DIRECTORY_H_
#define OSTREL_PLATFORM_PRIVATE_DIRECTORY_H_

#include <memory>
#include <string>
#include <string_view>

#include "platform/descriptor.h"
#include "platform/termination_cleanup.h"

namespace ostrel {

class PrivateDirectory {
 public:
  // Opens `directory` ("\" counts as "/"), refusing a symbolic link at its
  // own name, and works, by what the open directory is, in:
  // - the directory itself when only this process's user can change it:
  //   owned by that user, no write permission for group or others;
  // - else, when it is owned by this user or root and has the sticky bit, so
  //   that no one else can rename or remove what this user keeps there, its
  //   subdirectory "ostrel-UID" (UID: this user's id), created with mode
  //   0700 when missing and used when it is a directory owned by this user
  //   with mode 0700. When something else stands at that name (another
  //   user's, a link, a file), a fresh subdirectory "ostrel-UID.XXXXXXXX"
  //   of a random name, mode 0700, made for this object alone and removed
  //   with it; a message entry in the application log names what was found;
  // - else nowhere: raises an invalid-argument error naming the directory.
  // Raises a PosixError when the directory cannot be opened (a link: ELOOP)
  // or a subdirectory cannot be made.
  explicit PrivateDirectory(std::string_view directory);
  // Removes the fresh subdirectory, if one was made and is empty by now. A
  // termination signal removes it as well while the object lives (see
  // termination_cleanup.h), once the files recorded there have gone.
  ~PrivateDirectory();
  PrivateDirectory(const PrivateDirectory&) = delete;
  PrivateDirectory& operator=(const PrivateDirectory&) = delete;

  // The open directory; still owned here.
  int descriptor() const { return directory_.get(); }
  // Whether it is a fresh subdirectory made for this object alone.
  bool fresh() const { return !fresh_name_.empty(); }
  // This process's path to the directory through its descriptor,
  // "/proc/self/fd/N/": it leads to the directory that was checked, whatever
  // becomes of its name.
  std::string path() const;

 private:
  Descriptor parent_;  // the shared directory, while a fresh subdirectory lives
  Descriptor directory_;
  std::string fresh_name_;  // the fresh subdirectory's name, or empty
  std::unique_ptr<CleanupFile> fresh_on_signal_;
};

}  // namespace ostrel

#endif  // OSTREL_PLATFORM_PRIVATE_DIRECTORY_H_
