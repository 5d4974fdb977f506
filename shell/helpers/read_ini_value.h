// Reading one value of the configuration.
#ifndef OSTREL_SHELL_HELPERS_READ_INI_VALUE_H_
#define OSTREL_SHELL_HELPERS_READ_INI_VALUE_H_

#include <string>
#include <string_view>

namespace ostrel {

// The value of `key` in `section` of the INI file `file_name`, at most 2045
// characters of it; `default_value` (cut alike) when the file, section or key
// is missing. A `file_name` without any "\" names a file in the executable's
// directory. Only a missing file means "no configuration": a file that
// exists but cannot be read (no permission, a directory or a FIFO in its
// place) raises, so that a setting such as an allow-list is never dropped
// silently.
std::string ReadIniValue(std::string_view file_name, std::string_view section, std::string_view key,
                         std::string_view default_value);

// As ReadIniValue, but the whole value however long: for a setting that a
// cut would change the meaning of, such as a list whose last entry would
// lose its end.
std::string ReadWholeIniValue(std::string_view file_name, std::string_view section,
                              std::string_view key, std::string_view default_value);

}  // namespace ostrel

#endif  // OSTREL_SHELL_HELPERS_READ_INI_VALUE_H_
