// Fake converter components for process tests: shell scripts that record the
// parameter text they are given and then act as a test tells them.
#ifndef OSTREL_TESTS_SUPPORT_FAKE_COMPONENT_H_
#define OSTREL_TESTS_SUPPORT_FAKE_COMPONENT_H_

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/slot_lock.h"
#include "tests/support/process_harness.h"

namespace ostrel::testing {

inline constexpr char kComponentName[] = "Caskle.ClsCaskle";

// What a fake does after recording its parameter text into the file
// "arguments" beside it, and into "directory" where its descriptor 3, the
// directory it was handed, leads. The script knows `$here`, its own
// directory, and `$dest`, the dest item with "/" for each "\".
namespace component_action {
inline constexpr char kWriteGif[] = "cp \"$here/image.gif\" \"$dest\"; echo 0";
// Writes the GIF 2.5 s after returning, atomically, from a process that
// keeps none of the component's output pipes.
inline constexpr char kWriteGifLate[] =
    "(sleep 2.5; cp \"$here/image.gif\" \"$dest.part\"; mv \"$dest.part\" \"$dest\")"
    " </dev/null >/dev/null 2>&1 &\necho 0";
inline constexpr char kNeverWrite[] = "echo 0";
inline constexpr char kFail[] =
    "echo 'cannot open source d:/images/scan01.tif: No such file' >&2; exit 3";
inline constexpr char kAnswerNoNumber[] = "echo abc";
}  // namespace component_action

inline std::string FakeComponent(const std::string& action) {
  return "#!/bin/sh\n"
         "here=$(dirname \"$0\")\n"
         "printf '%s' \"$2\" > \"$here/arguments\"\n"
         "readlink /proc/self/fd/3 > \"$here/directory\" 2>/dev/null\n"
         "dest=${2#*dest=}\n"
         "dest=$(printf '%s' \"${dest%%, *}\" | tr '\\\\' /)\n" +
         action + "\n";
}

// A program sandbox with a fake component beside the program, the image it
// copies ("image.gif", 3000 bytes of every byte value) and a temporary
// directory "tmp" for the program's GIF files.
class ComponentSandbox : public ProgramSandbox {
 public:
  ComponentSandbox() : ProgramSandbox(OSTREL_PROGRAM) {
    for (int i = 0; i < 3000; ++i) {
      image_.push_back(static_cast<char>(i * 7 % 256));
    }
    WriteFile("image.gif", image_);
    if (mkdir(TempDirectory().c_str(), 0755) != 0) {
      throw std::runtime_error("cannot make " + TempDirectory());
    }
  }

  void InstallComponent(const std::string& action) const {
    WriteFile(kComponentName, FakeComponent(action), 0755);
  }
  const std::string& image() const { return image_; }
  std::string TempDirectory() const { return PathOf("tmp"); }
  // Names of the files left in TempDirectory(), sorted; the conversion
  // slots' lock files, which stay for good, aside.
  std::vector<std::string> TempFiles() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(TempDirectory())) {
      if (!entry.path().filename().string().starts_with(kSlotFilePrefix)) {
        names.push_back(entry.path().filename().string());
      }
    }
    std::sort(names.begin(), names.end());
    return names;
  }
  // The parameter text the component was given, or "(not called)".
  std::string Arguments() const {
    return Exists("arguments") ? ReadFile("arguments") : "(not called)";
  }
  // Where the component's descriptor 3 led, "(not called)", or "" when it
  // had none.
  std::string HandedDirectory() const {
    if (!Exists("directory")) {
      return "(not called)";
    }
    std::string path = ReadFile("directory");
    if (path.ends_with('\n')) {
      path.pop_back();
    }
    return path;
  }

 private:
  std::string image_;
};

inline const std::string kGifHeader = "HTTP/1.0 200 OK\r\nContent-Type:image/gif\r\n\r\n";

}  // namespace ostrel::testing

#endif  // OSTREL_TESTS_SUPPORT_FAKE_COMPONENT_H_
