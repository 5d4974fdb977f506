#include "iiif/image_identifier.h"

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "iiif/refusal.h"
#include "platform/allowed_directories.h"
#include "platform/real_path.h"

namespace ostrel {
namespace {

constexpr int32_t kNotFound = 404;

[[noreturn]] void RefuseAsUnknown() { throw Refusal(kNotFound, "no such image"); }

bool IsDigits(std::string_view text) {
  return !text.empty() && text.find_first_not_of("0123456789") == std::string_view::npos;
}

bool EndsWithIgnoringCase(std::string_view text, std::string_view suffix) {
  if (text.size() < suffix.size()) {
    return false;
  }
  const std::string_view tail = text.substr(text.size() - suffix.size());
  for (size_t at = 0; at < suffix.size(); ++at) {
    const char c = tail[at] >= 'A' && tail[at] <= 'Z' ? static_cast<char>(tail[at] + 32) : tail[at];
    if (c != suffix[at]) {
      return false;
    }
  }
  return true;
}

// A name that could leave a root, or be read another way by the converter,
// is refused before any file is looked at.
bool IsPlainRelativeName(std::string_view name) {
  if (name.empty() || name.front() == '/' ||
      name.find_first_of(std::string_view("\\\0", 2)) != std::string_view::npos ||
      name.find(", ") != std::string_view::npos) {
    return false;
  }
  for (size_t start = 0; start <= name.size();) {
    const size_t slash = std::min(name.find('/', start), name.size());
    const std::string_view segment = name.substr(start, slash - start);
    if (segment.empty() || segment == "." || segment == "..") {
      return false;
    }
    start = slash + 1;
  }
  return true;
}

}  // namespace

ImageIdentifier ParseImageIdentifier(std::string_view identifier) {
  ImageIdentifier parsed;
  const size_t semicolon = identifier.rfind(';');
  const std::string_view suffix =
      semicolon == std::string_view::npos ? std::string_view() : identifier.substr(semicolon + 1);
  if (!IsDigits(suffix)) {
    parsed.name = identifier;
    return parsed;
  }
  if (suffix.front() == '0') {
    throw Refusal(kBadRequest, "a page number counts from 1, without leading zeros");
  }
  if (suffix.size() > 7 || std::stol(std::string(suffix)) > kHighestPageNamed) {
    RefuseAsUnknown();
  }
  parsed.name = identifier.substr(0, semicolon);
  parsed.page = static_cast<int32_t>(std::stol(std::string(suffix)));
  parsed.page_given = true;
  return parsed;
}

std::string ResolveImageFile(std::string_view name, std::string_view roots) {
  if (!IsPlainRelativeName(name)) {
    RefuseAsUnknown();
  }
  std::vector<std::string> candidates;
  if (EndsWithIgnoringCase(name, ".tif") || EndsWithIgnoringCase(name, ".tiff")) {
    candidates = {std::string(name)};
  } else {
    candidates = {std::string(name) + ".tif", std::string(name) + ".tiff"};
  }
  for (const std::string& root : AllowedDirectoryList(roots)) {
    for (const std::string& candidate : candidates) {
      const std::optional<std::string> resolved = RealPath(root + "/" + candidate);
      if (resolved && IsInAllowedDirectory(*resolved, roots)) {
        return *resolved;
      }
    }
  }
  RefuseAsUnknown();
}

std::string EncodedIdentifier(std::string_view name, int32_t page) {
  constexpr char kHex[] = "0123456789ABCDEF";
  std::string encoded;
  for (const char c : name) {
    const auto byte = static_cast<unsigned char>(c);
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
        c == '.' || c == '_' || c == '~') {
      encoded.push_back(c);
    } else {
      encoded.push_back('%');
      encoded.push_back(kHex[byte >> 4]);
      encoded.push_back(kHex[byte & 15]);
    }
  }
  if (page > 0) {
    encoded.append(";").append(std::to_string(page));
  }
  return encoded;
}

}  // namespace ostrel
