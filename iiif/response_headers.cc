#include "iiif/response_headers.h"

namespace ostrel {
namespace {

std::string_view Trimmed(std::string_view text) {
  const size_t first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) {
    return {};
  }
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

std::string Lower(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) {
    if (c >= 'A' && c <= 'Z') {
      c = static_cast<char>(c + 32);
    }
  }
  return lower;
}

// Whether the parameters of a media range (what follows its type) hold a
// quality of zero: "q=0", "q=0.0", "q=0.000".
bool QualityIsZero(std::string_view parameters) {
  for (size_t start = 0; start < parameters.size();) {
    const size_t end = std::min(parameters.find(';', start), parameters.size());
    const std::string parameter = Lower(Trimmed(parameters.substr(start, end - start)));
    if (parameter.starts_with("q=")) {
      const std::string_view value = std::string_view(parameter).substr(2);
      return !value.empty() && value.find_first_not_of("0.") == std::string_view::npos;
    }
    start = end + 1;
  }
  return false;
}

}  // namespace

bool AcceptsJsonLd(std::string_view accept) {
  for (size_t start = 0; start <= accept.size();) {
    const size_t end = std::min(accept.find(',', start), accept.size());
    const std::string_view range = accept.substr(start, end - start);
    const size_t semicolon = std::min(range.find(';'), range.size());
    if (Lower(Trimmed(range.substr(0, semicolon))) == "application/ld+json" &&
        !QualityIsZero(range.substr(semicolon))) {
      return true;
    }
    start = end + 1;
  }
  return false;
}

std::string JsonMediaType(std::string_view context, std::string_view accept) {
  if (!AcceptsJsonLd(accept)) {
    return "application/json";
  }
  return "application/ld+json;profile=\"" + std::string(context) + "\"";
}

std::string_view ImageContext(ImageApiVersion version) {
  return version == ImageApiVersion::k3_0 ? "http://iiif.io/api/image/3/context.json"
                                          : "http://iiif.io/api/image/2/context.json";
}

std::string ProfileLink(ImageApiVersion version) {
  return version == ImageApiVersion::k3_0
             ? "<http://iiif.io/api/image/3/level2.json>;rel=\"profile\""
             : "<http://iiif.io/api/image/2/level2.json>;rel=\"profile\"";
}

std::string AllowedRequestHeaders(std::string_view requested) {
  constexpr size_t kLongestList = 1000;
  if (requested.size() > kLongestList ||
      requested.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"
                                  "0123456789-_, ") != std::string_view::npos) {
    return {};
  }
  return std::string(requested);
}

}  // namespace ostrel
