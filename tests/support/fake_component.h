// Fake converter components for process tests: shell scripts that record the
// parameter text they are given and then act as a test tells them.
#ifndef OSTREL_TESTS_SUPPORT_FAKE_COMPONENT_H_
#define OSTREL_TESTS_SUPPORT_FAKE_COMPONENT_H_

#include <string>

namespace ostrel::testing {

inline constexpr char kComponentName[] = "Caskle.ClsCaskle";

// What a fake does after recording its parameter text into the file
// "arguments" beside it. The script knows `$here`, its own directory, and
// `$dest`, the dest item with "/" for each "\".
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
         "dest=${2#*dest=}\n"
         "dest=$(printf '%s' \"${dest%%, *}\" | tr '\\\\' /)\n" +
         action + "\n";
}

}  // namespace ostrel::testing

#endif  // OSTREL_TESTS_SUPPORT_FAKE_COMPONENT_H_
