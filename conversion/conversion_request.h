// The texts a conversion request is made of: the checked parameters, the
// temporary GIF file's name and the parameter text for the converter.
#ifndef OSTREL_CONVERSION_CONVERSION_REQUEST_H_
#define OSTREL_CONVERSION_CONVERSION_REQUEST_H_

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace ostrel {

// How long the converter may run before it is stopped. Far beyond what the
// largest image it accepts takes, yet a hung converter cannot hold a web
// server's worker for good.
inline constexpr std::chrono::seconds kConverterTimeLimit{30};

// The converter component's programmatic identifier.
inline constexpr std::string_view kConverterComponent = "Caskle.ClsCaskle";

// Raises an invalid-argument error, naming the parameter, for an `fn` that
// holds "/", "\", "*", "?" or a NUL byte, which would put the GIF outside
// the temporary directory, make the probes match other files or cut the
// path short, and for an `fn` or `path` that holds ", " or a NUL byte, which
// would add items of its own to the converter's parameter text. Any
// directory stays allowed as `path`.
void CheckRequestParameters(std::string_view fn, std::string_view path);

// `text` ending in a backslash: one is appended unless it is there already,
// so empty text becomes "\".
std::string WithTrailingBackslash(std::string text);

// temporary directory + "G" + fn + "_" + the run number + extension, the
// run number being the absolute value of `run_identifier` in decimal. Raises
// an overflow error for the most negative identifier, which has no absolute
// value of its own.
std::string TempFilename(std::string_view temporary_directory, std::string_view fn,
                         int32_t run_identifier, std::string_view extension = ".gif");

// "source=" + path + fn + ".tif, dest=" + temp_filename, then ", " and the
// extra parameters when there are any, then ", " and the view items when
// there are any.
std::string ConversionParameters(std::string_view path, std::string_view fn,
                                 std::string_view temp_filename, std::string_view extra_parameters,
                                 std::string_view view_items = {});

// The converter's whole environment: a fixed PATH, `max_image_bytes`, the
// most bytes the image it writes may take, and, when `allowed` (the
// AllowedImageDirectories value) is not empty, that list for the converter
// to check the file it opens against. Nothing of the request's environment
// reaches the converter.
std::vector<std::string> ConverterEnvironment(std::string_view allowed, int64_t max_image_bytes);

}  // namespace ostrel

#endif  // OSTREL_CONVERSION_CONVERSION_REQUEST_H_
