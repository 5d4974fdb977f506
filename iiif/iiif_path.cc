#include "iiif/iiif_path.h"

#include <vector>

#include "helpers/split_text.h"
#include "iiif/refusal.h"

namespace ostrel {
namespace {

constexpr std::string_view kPrefix = "/iiif/";

int HexValue(char digit) {
  if (digit >= '0' && digit <= '9') {
    return digit - '0';
  }
  if (digit >= 'a' && digit <= 'f') {
    return digit - 'a' + 10;
  }
  if (digit >= 'A' && digit <= 'F') {
    return digit - 'A' + 10;
  }
  return -1;
}

// `segment` with each "%" and the two hexadecimal digits after it replaced
// by their byte. Unlike form text, a path keeps "+" as it is. Raises 400 for
// a "%" without two hexadecimal digits after it.
std::string DecodeSegment(std::string_view segment) {
  std::string decoded;
  decoded.reserve(segment.size());
  for (size_t at = 0; at < segment.size(); ++at) {
    if (segment[at] != '%') {
      decoded.push_back(segment[at]);
      continue;
    }
    const int high = at + 2 < segment.size() ? HexValue(segment[at + 1]) : -1;
    const int low = high >= 0 ? HexValue(segment[at + 2]) : -1;
    if (low < 0) {
      throw Refusal(kBadRequest, "a \"%\" in the path is not followed by two hexadecimal digits");
    }
    decoded.push_back(static_cast<char>(high * 16 + low));
    at += 2;
  }
  return decoded;
}

ImageParameters ReadImageParameters(const std::vector<std::string_view>& segments) {
  ImageParameters parameters;
  parameters.region = DecodeSegment(segments[2]);
  parameters.size = DecodeSegment(segments[3]);
  parameters.rotation = DecodeSegment(segments[4]);
  const std::string last = DecodeSegment(segments[5]);
  const size_t dot = last.rfind('.');
  if (dot == std::string::npos) {
    throw Refusal(kBadRequest, "the last segment of an image request must be quality.format");
  }
  parameters.quality = last.substr(0, dot);
  parameters.format = last.substr(dot + 1);
  return parameters;
}

}  // namespace

IiifPath ParseIiifPath(std::string_view path) {
  path = path.substr(0, path.find('?'));
  if (!path.starts_with(kPrefix)) {
    throw Refusal(kBadRequest, "the path must begin with /iiif/");
  }
  // Segments after the prefix: version, identifier, then what is asked.
  const std::vector<std::string_view> segments = SplitText(path.substr(kPrefix.size()), '/');
  IiifPath parsed;
  if (segments[0] == "2") {
    parsed.version = ApiVersion::k2;
  } else if (segments[0] == "3") {
    parsed.version = ApiVersion::k3;
  } else {
    throw Refusal(kBadRequest, "the IIIF Image API version must be 2 or 3");
  }
  if (segments.size() < 2 || segments[1].empty()) {
    throw Refusal(kBadRequest, "the identifier is empty");
  }
  parsed.raw_identifier = segments[1];
  parsed.identifier = DecodeSegment(segments[1]);
  parsed.base = path.substr(0, kPrefix.size() + segments[0].size() + 1 + segments[1].size());

  if (segments.size() == 2 || (segments.size() == 3 && segments[2].empty())) {
    parsed.resource = IiifResource::kBase;
  } else if (segments.size() == 3 && segments[2] == "info.json") {
    parsed.resource = IiifResource::kInfo;
  } else if (segments.size() == 3 && segments[2] == "manifest") {
    if (parsed.version != ApiVersion::k3) {
      throw Refusal(kBadRequest, "a manifest is served under /iiif/3/ only");
    }
    parsed.resource = IiifResource::kManifest;
  } else if (segments.size() == 6) {
    parsed.resource = IiifResource::kImage;
    parsed.parameters = ReadImageParameters(segments);
  } else {
    throw Refusal(kBadRequest,
                  "expected {identifier}/info.json or "
                  "{identifier}/{region}/{size}/{rotation}/{quality}.{format}");
  }
  return parsed;
}

}  // namespace ostrel
