// A TIFF file's description as the converter writes it, fetched for the
// program's own use.
#ifndef OSTREL_CONVERSION_FILE_DESCRIPTION_H_
#define OSTREL_CONVERSION_FILE_DESCRIPTION_H_

#include <string>
#include <string_view>

#include "helpers/configuration.h"

namespace ostrel {

// The JSON text the converter's DescribeImage writes for `source` (a path,
// "/" or "\" alike), run as CGI_Main runs it: its output in the temporary
// directory of `configuration`, the configured ExtraParamters appended, and
// `allowed` (a list like AllowedImageDirectories) in its environment so that
// it refuses a file it opened outside them. Appends the converter's result
// code to the log; leaves no file behind. Raises an invalid-argument error
// for a source holding ", " or a NUL byte, and what the converter's call and
// reading its file raise.
std::string DescribeFile(const Configuration& configuration, std::string_view source,
                         std::string_view allowed);

}  // namespace ostrel

#endif  // OSTREL_CONVERSION_FILE_DESCRIPTION_H_
