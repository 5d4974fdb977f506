#include "iiif/image_request.h"

#include <charconv>
#include <cmath>
#include <optional>
#include <string_view>
#include <system_error>
#include <vector>

#include "helpers/split_text.h"
#include "iiif/image_format.h"
#include "iiif/refusal.h"

namespace ostrel {
namespace {

constexpr int64_t kMostPixels = 2147483647;

// Digits alone, read only until the value passes kMostPixels, so no length
// of input overflows; nothing for anything else.
std::optional<int64_t> ReadPixels(std::string_view text) {
  if (text.empty()) {
    return std::nullopt;
  }
  int64_t value = 0;
  for (const char character : text) {
    if (character < '0' || character > '9') {
      return std::nullopt;
    }
    value = value * 10 + (character - '0');
    if (value > kMostPixels) {
      return std::nullopt;
    }
  }
  return value;
}

// Digits with at most one "." among them ("0.5", ".5", "5." and "5" alike);
// nothing for a sign, blank, exponent or a value beyond a double.
std::optional<double> ReadDecimal(std::string_view text) {
  size_t digits = 0;
  size_t dots = 0;
  for (const char character : text) {
    if (character >= '0' && character <= '9') {
      ++digits;
    } else if (character == '.') {
      ++dots;
    } else {
      return std::nullopt;
    }
  }
  if (digits == 0 || dots > 1) {
    return std::nullopt;
  }
  double value = 0;
  const char* const end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, value, std::chars_format::fixed);
  if (error != std::errc() || stop != end) {
    return std::nullopt;
  }
  return value;
}

RegionParameter ReadRegion(std::string_view text) {
  RegionParameter region;
  if (text == "full") {
    return region;
  }
  if (text == "square") {
    region.form = RegionForm::kSquare;
    return region;
  }
  region.form = text.starts_with("pct:") ? RegionForm::kPercent : RegionForm::kPixels;
  if (region.form == RegionForm::kPercent) {
    text.remove_prefix(4);
  }
  const std::vector<std::string_view> parts = SplitText(text, ',');
  double* const values[] = {&region.x, &region.y, &region.width, &region.height};
  if (parts.size() != std::size(values)) {
    throw Refusal(kBadRequest, "region must be full, square, x,y,w,h or pct:x,y,w,h");
  }
  for (size_t at = 0; at < parts.size(); ++at) {
    std::optional<double> value;
    if (region.form == RegionForm::kPercent) {
      value = ReadDecimal(parts[at]);
    } else if (const std::optional<int64_t> pixels = ReadPixels(parts[at])) {
      value = static_cast<double>(*pixels);
    }
    if (!value) {
      throw Refusal(kBadRequest, region.form == RegionForm::kPercent
                                     ? "region percentages must be non-negative decimals"
                                     : "region pixels must be whole numbers up to 2147483647");
    }
    *values[at] = *value;
  }
  return region;
}

SizeParameter ReadSize(ApiVersion version, std::string_view text) {
  const char* const wrong = version == ApiVersion::k3
                                ? "size must be max, w,, ,h, pct:n, w,h or !w,h, each optionally "
                                  "after ^, with whole pixels up to 2147483647"
                                : "size must be full, max, w,, ,h, pct:n, w,h or !w,h, with whole "
                                  "pixels up to 2147483647";
  SizeParameter size;
  if (version == ApiVersion::k3 && text.starts_with('^')) {
    size.upscale = true;
    text.remove_prefix(1);
  }
  if (text == "max") {
    return size;
  }
  if (version == ApiVersion::k2 && text == "full") {
    size.form = SizeForm::kFull;
    return size;
  }
  if (text.starts_with("pct:")) {
    size.form = SizeForm::kPercent;
    const std::optional<double> percent = ReadDecimal(text.substr(4));
    if (!percent) {
      throw Refusal(kBadRequest, wrong);
    }
    size.percent = *percent;
    return size;
  }
  const bool confined = text.starts_with('!');
  if (confined) {
    text.remove_prefix(1);
  }
  const std::vector<std::string_view> parts = SplitText(text, ',');
  if (parts.size() != 2) {
    throw Refusal(kBadRequest, wrong);
  }
  const std::optional<int64_t> width = ReadPixels(parts[0]);
  const std::optional<int64_t> height = ReadPixels(parts[1]);
  // Each side is either absent or valid, and confined sizes need both.
  if ((!parts[0].empty() && !width) || (!parts[1].empty() && !height) || (!width && !height) ||
      (confined && !(width && height))) {
    throw Refusal(kBadRequest, wrong);
  }
  size.form = confined  ? SizeForm::kConfined
              : !height ? SizeForm::kWidth
              : !width  ? SizeForm::kHeight
                        : SizeForm::kExact;
  size.width = width.value_or(0);
  size.height = height.value_or(0);
  return size;
}

void ReadRotation(std::string_view text, ImageRequest& request) {
  request.mirror = text.starts_with('!');
  if (request.mirror) {
    text.remove_prefix(1);
  }
  const std::optional<double> angle = ReadDecimal(text);
  if (!angle || *angle > 360) {
    throw Refusal(kBadRequest, "rotation must be an angle from 0 to 360, optionally after !");
  }
  if (std::fmod(*angle, 90) != 0) {
    throw Refusal(kNotImplemented, "only rotations by multiples of 90 degrees are supported");
  }
  request.turn = static_cast<int32_t>(*angle) % 360;
}

constexpr struct {
  std::string_view name;
  ImageQuality quality;
} kQualities[] = {{"default", ImageQuality::kDefault},
                  {"color", ImageQuality::kColor},
                  {"gray", ImageQuality::kGray},
                  {"bitonal", ImageQuality::kBitonal}};

ImageQuality ReadQuality(std::string_view text) {
  for (const auto& known : kQualities) {
    if (text == known.name) {
      return known.quality;
    }
  }
  throw Refusal(kBadRequest, "quality must be default, color, gray or bitonal");
}

ImageFormat ReadFormat(std::string_view text) {
  if (const std::optional<ImageFormat> format = ImageFormatNamed(text)) {
    return *format;
  }
  throw Refusal(kBadRequest, "format must be jpg, png or gif");
}

}  // namespace

std::string_view NameOf(ImageQuality quality) {
  for (const auto& known : kQualities) {
    if (known.quality == quality) {
      return known.name;
    }
  }
  return {};
}

ImageRequest ParseImageRequest(ApiVersion version, const ImageParameters& parameters) {
  ImageRequest request;
  request.version = version;
  request.region = ReadRegion(parameters.region);
  request.size = ReadSize(version, parameters.size);
  ReadRotation(parameters.rotation, request);
  request.quality = ReadQuality(parameters.quality);
  request.format = ReadFormat(parameters.format);
  return request;
}

}  // namespace ostrel
