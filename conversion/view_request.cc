#include "conversion/view_request.h"

#include <cstdint>
#include <utility>
#include <vector>

#include "helpers/upper_case.h"
#include "platform/ascii_case.h"
#include "platform/error.h"

namespace ostrel {
namespace {

struct ViewParameter {
  const char* name;
  const char* item;
  uint32_t lowest;
  uint32_t highest;
  uint32_t step;      // the value is a multiple of it
  const char* range;  // as the refusal states it
};

// In the order their items are appended.
constexpr ViewParameter kViewParameters[] = {
    {"Page", "page", 1, 1000000, 1, "a page number from 1 to 1000000"},
    {"Width", "width", 1, 65535, 1, "a number of pixels from 1 to 65535"},
    {"Height", "height", 1, 65535, 1, "a number of pixels from 1 to 65535"},
    {"Rotate", "rotate", 0, 270, 90, "0, 90, 180 or 270"},
};

// Whether a held pair after slot 0 is named `name`, letter case ignored.
bool RequestNames(const PairTable& pairs, const std::string& name) {
  const std::string wanted = UpperCase(name);
  const std::vector<FormPair>& held = pairs.held();
  for (size_t slot = 1; slot < held.size(); ++slot) {
    if (UpperCase(held[slot].Name) == wanted) {
      return true;
    }
  }
  return false;
}

// The value as a number; digits only, so no sign, blank or other text gets
// through. Leading zeros are allowed and dropped, and the digits are read
// only until the value passes the parameter's highest, so no length of
// input can overflow.
uint32_t CheckedValue(const ViewParameter& parameter, const std::string& value) {
  uint32_t number = 0;
  bool in_range = true;
  for (const char character : value) {
    if (character < '0' || character > '9') {
      in_range = false;
      break;
    }
    number = number * 10 + static_cast<uint32_t>(character - '0');
    if (number > parameter.highest) {
      in_range = false;
      break;
    }
  }
  if (!in_range || number < parameter.lowest || number % parameter.step != 0) {
    throw Error(ErrorKind::kInvalidArgument,
                std::string(parameter.name) + " must be " + parameter.range);
  }
  return number;
}

// Format's value as a format; letter case ignored, "jpeg" as "jpg".
PictureFormat CheckedFormat(const std::string& value) {
  static constexpr std::pair<const char*, const PictureFormat*> kNames[] = {
      {"gif", &kGifFormat}, {"png", &kPngFormat}, {"jpg", &kJpegFormat}, {"jpeg", &kJpegFormat}};
  for (const auto& [name, format] : kNames) {
    if (EqualIgnoringCase(value, name)) {
      return *format;
    }
  }
  throw Error(ErrorKind::kInvalidArgument, "Format must be gif, png, jpg or jpeg");
}

}  // namespace

ViewRequest ReadViewRequest(const PairTable& pairs,
                            const std::function<std::string(const std::string&)>& lookup) {
  ViewRequest request;
  for (const ViewParameter& parameter : kViewParameters) {
    const std::string value = RequestNames(pairs, parameter.name) ? lookup(parameter.name) : "";
    if (value.empty()) {
      continue;
    }
    const uint32_t number = CheckedValue(parameter, value);
    if (!request.items.empty()) {
      request.items.append(", ");
    }
    request.items.append(parameter.item).append("=").append(std::to_string(number));
  }
  request.describe = RequestNames(pairs, "Info") && !lookup("Info").empty();
  const std::string format = RequestNames(pairs, "Format") ? lookup("Format") : "";
  if (!format.empty()) {
    const PictureFormat checked = CheckedFormat(format);
    if (!request.describe) {
      request.format = checked;
      if (!request.items.empty()) {
        request.items.append(", ");
      }
      request.items.append("format=").append(checked.item);
    }
  }
  return request;
}

}  // namespace ostrel
