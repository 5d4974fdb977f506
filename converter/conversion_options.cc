#include "converter/conversion_options.h"

#include <algorithm>
#include <array>
#include <optional>
#include <utility>

#include "converter/conversion_failure.h"
#include "platform/ascii_case.h"
#include "platform/environment.h"
#include "platform/native_path.h"

namespace ostrel {
namespace {

enum class Key {
  kSource,
  kDest,
  kPage,
  kColors,
  kDither,
  kMaxPixels,
  kWidth,
  kHeight,
  kRotate,
  kAspect,
  kGrays,
  kFormat,
  kJpegQuality,
  kRegion,
  kSize,
  kMirror,
  kQuality
};

struct KeyName {
  Key key;
  std::string_view name;
  bool last_counts;  // a view item: repeating it replaces the earlier value
};

constexpr std::array<KeyName, 17> kKeys = {{{Key::kSource, "source", false},
                                            {Key::kDest, "dest", false},
                                            {Key::kPage, "page", true},
                                            {Key::kColors, "colors", false},
                                            {Key::kDither, "dither", false},
                                            {Key::kMaxPixels, "maxpixels", false},
                                            {Key::kWidth, "width", true},
                                            {Key::kHeight, "height", true},
                                            {Key::kRotate, "rotate", true},
                                            {Key::kAspect, "aspect", true},
                                            {Key::kGrays, "grays", false},
                                            {Key::kFormat, "format", true},
                                            {Key::kJpegQuality, "jpegquality", false},
                                            {Key::kRegion, "region", true},
                                            {Key::kSize, "size", true},
                                            {Key::kMirror, "mirror", true},
                                            {Key::kQuality, "quality", true}}};

Error BadParameter(std::string description) {
  return ConversionError(ConversionFailure::kBadParameter, std::move(description));
}

Error BadValue(std::string_view key, std::string_view value, std::string_view expected) {
  return BadParameter("bad value for " + std::string(key) + ": \"" + std::string(value) + "\" (" +
                      std::string(expected) + ")");
}

// A decimal number from `low` to `high`: digits only, no sign, no blanks.
std::optional<uint64_t> ParseNumber(std::string_view text, uint64_t low, uint64_t high) {
  if (text.empty()) {
    return std::nullopt;
  }
  uint64_t value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') {
      return std::nullopt;
    }
    value = value * 10 + static_cast<uint64_t>(c - '0');
    if (value > high) {
      return std::nullopt;
    }
  }
  return value >= low ? std::optional<uint64_t>(value) : std::nullopt;
}

uint64_t NumberValue(std::string_view key, std::string_view value, uint64_t low, uint64_t high) {
  const std::optional<uint64_t> number = ParseNumber(value, low, high);
  if (!number) {
    throw BadValue(key, value,
                   "a whole number from " + std::to_string(low) + " to " + std::to_string(high));
  }
  return *number;
}

// A two-way choice: true for `yes`, false for `no`, letter case ignored.
bool ChoiceValue(std::string_view key, std::string_view value, std::string_view yes,
                 std::string_view no) {
  if (!EqualIgnoringCase(value, yes) && !EqualIgnoringCase(value, no)) {
    throw BadValue(key, value, std::string(yes) + " or " + std::string(no));
  }
  return EqualIgnoringCase(value, yes);
}

OutputFormat FormatValue(std::string_view key, std::string_view value) {
  static constexpr std::pair<std::string_view, OutputFormat> kFormats[] = {
      {"gif", OutputFormat::kGif}, {"png", OutputFormat::kPng}, {"jpg", OutputFormat::kJpeg}};
  for (const auto& [name, format] : kFormats) {
    if (EqualIgnoringCase(value, name)) {
      return format;
    }
  }
  throw BadValue(key, value, "gif, png or jpg");
}

// `count` whole numbers separated by ",", each from `low` to `high`.
template <size_t count>
std::array<uint32_t, count> NumbersValue(std::string_view key, std::string_view value, uint64_t low,
                                         uint64_t high, std::string_view expected) {
  std::array<uint32_t, count> numbers{};
  std::string_view rest = value;
  for (size_t i = 0; i < count; ++i) {
    const size_t comma = i + 1 < count ? rest.find(',') : rest.size();
    const std::optional<uint64_t> number = comma == std::string_view::npos
                                               ? std::nullopt
                                               : ParseNumber(rest.substr(0, comma), low, high);
    if (!number) {
      throw BadValue(key, value, expected);
    }
    numbers[i] = static_cast<uint32_t>(*number);
    rest.remove_prefix(std::min(comma + 1, rest.size()));
  }
  return numbers;
}

Quality QualityValue(std::string_view key, std::string_view value) {
  static constexpr std::pair<std::string_view, Quality> kQualities[] = {
      {"color", Quality::kColor}, {"gray", Quality::kGray}, {"bitonal", Quality::kBitonal}};
  for (const auto& [name, quality] : kQualities) {
    if (EqualIgnoringCase(value, name)) {
      return quality;
    }
  }
  throw BadValue(key, value, "color, gray or bitonal");
}

std::string PathValue(std::string_view key, std::string_view value) {
  if (value.empty()) {
    throw BadValue(key, value, "a file path");
  }
  std::string path = NativePath(value);
  if (path.back() == '/') {
    throw BadValue(key, value, "a file path, not a directory");
  }
  return path;
}

}  // namespace

uint64_t ParseMaxImageBytes(std::string_view text) {
  // 1 TiB: far beyond the file size limit, which would refuse first.
  return text.empty() ? 0 : NumberValue(kMaxImageBytesVariable, text, 1, uint64_t{1} << 40);
}

ConversionOptions ParseConversionOptions(std::string_view text) {
  static constexpr std::string_view kSeparator = ", ";
  ConversionOptions parameters;
  std::array<bool, kKeys.size()> seen{};
  while (true) {
    const size_t end = text.find(kSeparator);
    const std::string_view item = text.substr(0, end);
    const size_t equals = item.find('=');
    if (equals == std::string_view::npos) {
      throw BadParameter("parameter item without \"=\": \"" + std::string(item) + "\"");
    }
    const std::string_view key = item.substr(0, equals);
    const std::string_view value = item.substr(equals + 1);
    const auto known = std::find_if(kKeys.begin(), kKeys.end(), [&](const KeyName& k) {
      return EqualIgnoringCase(k.name, key);
    });
    if (known == kKeys.end()) {
      throw BadParameter("unknown parameter: \"" + std::string(key) + "\"");
    }
    bool& already = seen[static_cast<size_t>(known - kKeys.begin())];
    if (already && !known->last_counts) {
      throw BadParameter("repeated parameter: " + std::string(known->name));
    }
    already = true;
    switch (known->key) {
      case Key::kSource:
        parameters.source = PathValue(known->name, value);
        break;
      case Key::kDest:
        parameters.dest = PathValue(known->name, value);
        break;
      case Key::kPage:
        parameters.page = static_cast<uint32_t>(NumberValue(known->name, value, 1, INT32_MAX));
        break;
      case Key::kColors:
        parameters.colors = static_cast<int>(NumberValue(known->name, value, 2, 256));
        break;
      case Key::kDither:
        parameters.dither = ChoiceValue(known->name, value, "on", "off");
        break;
      case Key::kMaxPixels:
        // Beyond 65535 x 65535 the GIF format's own limit decides.
        parameters.max_pixels = NumberValue(known->name, value, 1, 65535ULL * 65535ULL);
        break;
      case Key::kWidth:
        parameters.box_width = static_cast<uint32_t>(NumberValue(known->name, value, 1, 65535));
        break;
      case Key::kHeight:
        parameters.box_height = static_cast<uint32_t>(NumberValue(known->name, value, 1, 65535));
        break;
      case Key::kRotate: {
        const std::optional<uint64_t> degrees = ParseNumber(value, 0, 270);
        if (!degrees || *degrees % 90 != 0) {
          throw BadValue(known->name, value, "0, 90, 180 or 270");
        }
        parameters.rotate = static_cast<uint16_t>(*degrees);
        break;
      }
      case Key::kAspect:
        if (EqualIgnoringCase(value, "stretch")) {
          parameters.square_pixels = true;
          parameters.stretch_pixels = true;
        } else if (EqualIgnoringCase(value, "auto") || EqualIgnoringCase(value, "none")) {
          parameters.square_pixels = EqualIgnoringCase(value, "auto");
          parameters.stretch_pixels = false;
        } else {
          throw BadValue(known->name, value, "auto, none or stretch");
        }
        break;
      case Key::kGrays:
        parameters.grays = static_cast<int>(NumberValue(known->name, value, 2, 256));
        break;
      case Key::kFormat:
        parameters.format = FormatValue(known->name, value);
        break;
      case Key::kJpegQuality:
        parameters.jpeg_quality = static_cast<int>(NumberValue(known->name, value, 1, 100));
        break;
      case Key::kRegion: {
        // Left and top as far as a 32-bit side reaches; a region beyond the
        // page is refused once the page is known.
        const auto [x, y, w, h] = NumbersValue<4>(known->name, value, 0, INT32_MAX,
                                                  "x,y,w,h: whole numbers, w and h from 1");
        if (w == 0 || h == 0) {
          throw BadValue(known->name, value, "x,y,w,h: whole numbers, w and h from 1");
        }
        parameters.region = PixelRect{x, y, w, h};
        break;
      }
      case Key::kSize: {
        const auto [w, h] =
            NumbersValue<2>(known->name, value, 1, 65535, "w,h: whole numbers from 1 to 65535");
        parameters.size = ImageSize{w, h};
        break;
      }
      case Key::kMirror:
        parameters.mirror = ChoiceValue(known->name, value, "on", "off");
        break;
      case Key::kQuality:
        parameters.quality = QualityValue(known->name, value);
        break;
    }
    if (end == std::string_view::npos) {
      break;
    }
    text.remove_prefix(end + kSeparator.size());
  }
  for (const Key required : {Key::kSource, Key::kDest}) {
    if (!seen[static_cast<size_t>(required)]) {
      throw BadParameter("missing parameter: " +
                         std::string(kKeys[static_cast<size_t>(required)].name));
    }
  }
  if (parameters.size &&
      (seen[static_cast<size_t>(Key::kWidth)] || seen[static_cast<size_t>(Key::kHeight)])) {
    throw BadParameter("size given with width or height");
  }
  // A failed conversion removes dest: it must not be the source.
  if (parameters.source == parameters.dest) {
    throw BadParameter("source and dest are the same file: " + parameters.source);
  }
  return parameters;
}

}  // namespace ostrel
