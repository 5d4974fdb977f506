// Reading one value of the configuration.
#ifndef OSTREL_SHELL_HELPERS_READ_INI_VALUE_H_
#define OSTREL_SHELL_HELPERS_READ_INI_VALUE_H_

#include <string>
#include <string_view>

namespace ostrel {

// The value of `key` in `section` of the INI file `file_name`, at most 2045
// characters of it; `default_value` (cut alike) when the file, section or key
// is missing. A `file_name` without any "\" names a file in the executable's
// directory. Any failure gives empty text.
std::string ReadIniValue(std::string_view file_name, std::string_view section, std::string_view key,
                         std::string_view default_value);

}  // namespace ostrel

#endif  // OSTREL_SHELL_HELPERS_READ_INI_VALUE_H_
