#include "helpers/http_date.h"

#include <array>
#include <cstdio>

namespace ostrel {
namespace {

constexpr std::array<std::string_view, 7> kDayNames = {"Sun", "Mon", "Tue", "Wed",
                                                       "Thu", "Fri", "Sat"};
constexpr std::array<std::string_view, 7> kLongDayNames = {
    "Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};
constexpr std::array<std::string_view, 12> kMonthNames = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
constexpr int64_t kSecondsPerDay = 86400;

// Days from 1970-01-01 to the date, proleptic Gregorian calendar.
int64_t DaysFromCivil(int64_t year, int64_t month, int64_t day) {
  year -= month <= 2 ? 1 : 0;
  const int64_t era = (year >= 0 ? year : year - 399) / 400;
  const int64_t year_of_era = year - era * 400;
  const int64_t day_of_year = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const int64_t day_of_era = year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
  return era * 146097 + day_of_era - 719468;
}

bool IsLeapYear(int64_t year) { return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0); }

int64_t DaysInMonth(int64_t year, int64_t month) {
  constexpr std::array<int64_t, 12> kDays = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && IsLeapYear(year) ? 29 : kDays[static_cast<size_t>(month - 1)];
}

// Reads a date's parts off the front of the text, one expectation at a time;
// any miss makes the whole reading fail.
class DateReader {
 public:
  explicit DateReader(std::string_view text) : rest_(text) {}

  bool Literal(std::string_view expected) {
    if (!rest_.starts_with(expected)) {
      return false;
    }
    rest_.remove_prefix(expected.size());
    return true;
  }

  // One of `names`; its index, or -1.
  template <size_t N>
  int64_t Name(const std::array<std::string_view, N>& names) {
    for (size_t index = 0; index < N; ++index) {
      if (Literal(names[index])) {
        return static_cast<int64_t>(index);
      }
    }
    return -1;
  }

  // Exactly `digits` ASCII digits; -1 otherwise.
  int64_t Number(size_t digits) {
    if (rest_.size() < digits) {
      return -1;
    }
    int64_t value = 0;
    for (size_t index = 0; index < digits; ++index) {
      const char c = rest_[index];
      if (c < '0' || c > '9') {
        return -1;
      }
      value = value * 10 + (c - '0');
    }
    rest_.remove_prefix(digits);
    return value;
  }

  bool AtEnd() const { return rest_.empty(); }

 private:
  std::string_view rest_;
};

struct DateParts {
  int64_t year = -1;
  int64_t month = -1;  // 1 to 12
  int64_t day = -1;
  int64_t hour = -1;
  int64_t minute = -1;
  int64_t second = -1;
};

bool ReadTimeOfDay(DateReader& reader, DateParts& parts) {
  parts.hour = reader.Number(2);
  if (!reader.Literal(":")) {
    return false;
  }
  parts.minute = reader.Number(2);
  if (!reader.Literal(":")) {
    return false;
  }
  parts.second = reader.Number(2);
  return true;
}

std::optional<DateParts> ReadPreferred(std::string_view text) {
  DateReader reader(text);
  DateParts parts;
  if (reader.Name(kDayNames) < 0 || !reader.Literal(", ")) {
    return std::nullopt;
  }
  parts.day = reader.Number(2);
  if (!reader.Literal(" ")) {
    return std::nullopt;
  }
  parts.month = reader.Name(kMonthNames) + 1;
  if (!reader.Literal(" ")) {
    return std::nullopt;
  }
  parts.year = reader.Number(4);
  if (!reader.Literal(" ") || !ReadTimeOfDay(reader, parts) || !reader.Literal(" GMT") ||
      !reader.AtEnd()) {
    return std::nullopt;
  }
  return parts;
}

std::optional<DateParts> ReadRfc850(std::string_view text) {
  DateReader reader(text);
  DateParts parts;
  if (reader.Name(kLongDayNames) < 0 || !reader.Literal(", ")) {
    return std::nullopt;
  }
  parts.day = reader.Number(2);
  if (!reader.Literal("-")) {
    return std::nullopt;
  }
  parts.month = reader.Name(kMonthNames) + 1;
  if (!reader.Literal("-")) {
    return std::nullopt;
  }
  const int64_t year = reader.Number(2);
  if (year < 0 || !reader.Literal(" ") || !ReadTimeOfDay(reader, parts) ||
      !reader.Literal(" GMT") || !reader.AtEnd()) {
    return std::nullopt;
  }
  parts.year = year < 70 ? 2000 + year : 1900 + year;
  return parts;
}

std::optional<DateParts> ReadAsctime(std::string_view text) {
  DateReader reader(text);
  DateParts parts;
  if (reader.Name(kDayNames) < 0 || !reader.Literal(" ")) {
    return std::nullopt;
  }
  parts.month = reader.Name(kMonthNames) + 1;
  if (!reader.Literal(" ")) {
    return std::nullopt;
  }
  parts.day = reader.Literal(" ") ? reader.Number(1) : reader.Number(2);
  if (!reader.Literal(" ") || !ReadTimeOfDay(reader, parts) || !reader.Literal(" ")) {
    return std::nullopt;
  }
  parts.year = reader.Number(4);
  if (!reader.AtEnd()) {
    return std::nullopt;
  }
  return parts;
}

}  // namespace

std::string FormatHttpDate(int64_t seconds) {
  int64_t days = seconds / kSecondsPerDay;
  int64_t time_of_day = seconds % kSecondsPerDay;
  if (time_of_day < 0) {
    time_of_day += kSecondsPerDay;
    --days;
  }
  // The civil date of a day count, the inverse of DaysFromCivil.
  const int64_t shifted = days + 719468;
  const int64_t era = (shifted >= 0 ? shifted : shifted - 146096) / 146097;
  const int64_t day_of_era = shifted - era * 146097;
  const int64_t year_of_era =
      (day_of_era - day_of_era / 1460 + day_of_era / 36524 - day_of_era / 146096) / 365;
  const int64_t day_of_year =
      day_of_era - (365 * year_of_era + year_of_era / 4 - year_of_era / 100);
  const int64_t shifted_month = (5 * day_of_year + 2) / 153;
  const int64_t day = day_of_year - (153 * shifted_month + 2) / 5 + 1;
  const int64_t month = shifted_month < 10 ? shifted_month + 3 : shifted_month - 9;
  const int64_t year = year_of_era + era * 400 + (month <= 2 ? 1 : 0);
  const int64_t weekday = ((days % 7) + 11) % 7;  // 1970-01-01 was a Thursday
  char text[64];
  std::snprintf(text, sizeof text, "%s, %02lld %s %04lld %02lld:%02lld:%02lld GMT",
                kDayNames[static_cast<size_t>(weekday)].data(), static_cast<long long>(day),
                kMonthNames[static_cast<size_t>(month - 1)].data(), static_cast<long long>(year),
                static_cast<long long>(time_of_day / 3600),
                static_cast<long long>(time_of_day / 60 % 60),
                static_cast<long long>(time_of_day % 60));
  return text;
}

std::optional<int64_t> ParseHttpDate(std::string_view text) {
  std::optional<DateParts> parts = ReadPreferred(text);
  if (!parts) {
    parts = ReadRfc850(text);
  }
  if (!parts) {
    parts = ReadAsctime(text);
  }
  if (!parts || parts->month < 1 || parts->year < 0 || parts->day < 1 ||
      parts->day > DaysInMonth(parts->year, parts->month) || parts->hour < 0 || parts->hour > 23 ||
      parts->minute < 0 || parts->minute > 59 || parts->second < 0 || parts->second > 60) {
    return std::nullopt;
  }
  return DaysFromCivil(parts->year, parts->month, parts->day) * kSecondsPerDay +
         parts->hour * 3600 + parts->minute * 60 + parts->second;
}

}  // namespace ostrel
