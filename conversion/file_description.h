// Running the converter on a TIFF file for the program's own use: its
// description, or the file rendered as an image.
#ifndef OSTREL_CONVERSION_FILE_DESCRIPTION_H_
#define OSTREL_CONVERSION_FILE_DESCRIPTION_H_

#include <functional>
#include <string>
#include <string_view>

#include "helpers/configuration.h"

namespace ostrel {

// The JSON text the converter's DescribeImage writes for `source` (a path,
// "/" or "\" alike), run as CGI_Main runs it: its output in the temporary
// directory of `configuration`, the configured ExtraParamters appended, and
// `allowed` (a list like AllowedImageDirectories) and MaxImageBytes in its
// environment so that it refuses a file it opened outside them and an image
// larger than that. The caller holds a conversion slot (TakeConversionSlot)
// while it runs. Appends the converter's result
// code to the log; leaves no file behind. Raises an invalid-argument error
// for a source holding ", " or a NUL byte, and what the converter's call and
// reading its file raise.
std::string DescribeFile(const Configuration& configuration, std::string_view source,
                         std::string_view allowed);

// Has the converter's ConvertImage write `source` with `items` (converter
// items separated by ", "; the configured ExtraParamters are not used) into
// a temporary file ending in `extension`, as DescribeFile runs it, then
// calls `use` with that file's path. The file is gone when this returns or
// raises. Raises as DescribeFile does, and what `use` raises.
void RenderFile(const Configuration& configuration, std::string_view source, std::string_view items,
                std::string_view extension, std::string_view allowed,
                const std::function<void(const std::string& path)>& use);

}  // namespace ostrel

#endif  // OSTREL_CONVERSION_FILE_DESCRIPTION_H_
