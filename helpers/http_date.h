// HTTP dates: "Sun, 06 Nov 1994 08:49:37 GMT" and the two older forms a
// recipient must still read.
#ifndef OSTREL_HELPERS_HTTP_DATE_H_
#define OSTREL_HELPERS_HTTP_DATE_H_

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace ostrel {

// `seconds` since the epoch in the preferred form, e.g.
// "Sun, 06 Nov 1994 08:49:37 GMT".
std::string FormatHttpDate(int64_t seconds);

// The seconds since the epoch that `text` gives in any of the three forms:
// the preferred one, "Sunday, 06-Nov-94 08:49:37 GMT" (a two-digit year
// read as 1970 to 2069) and "Sun Nov  6 08:49:37 1994". Nothing for
// anything else, an impossible date (30 February) included.
std::optional<int64_t> ParseHttpDate(std::string_view text);

}  // namespace ostrel

#endif  // OSTREL_HELPERS_HTTP_DATE_H_
