#include "cgi/validators.h"

#include <cstdio>

#include "helpers/http_date.h"

namespace ostrel {
namespace {

__extension__ typedef unsigned __int128 Uint128;

// FNV-1a with a 128-bit state: a tag that no two inputs of real use share,
// and that tells a client nothing of inode numbers or devices.
class TagHash {
 public:
  void Add(std::string_view bytes) {
    for (const char c : bytes) {
      state_ ^= static_cast<unsigned char>(c);
      state_ *= kPrime;
    }
  }
  // Each field ends with a byte no decimal holds, so that "1","23" and
  // "12","3" differ.
  void AddField(int64_t value) {
    Add(std::to_string(value));
    Add(";");
  }
  void AddState(const FileState& state) {
    AddField(static_cast<int64_t>(state.device));
    AddField(static_cast<int64_t>(state.inode));
    AddField(state.size);
    AddField(state.modified_seconds);
    AddField(state.modified_nanoseconds);
  }
  std::string Hex() const {
    char text[33];
    std::snprintf(text, sizeof text, "%016llx%016llx",
                  static_cast<unsigned long long>(state_ >> 64),
                  static_cast<unsigned long long>(state_));
    return text;
  }

 private:
  static constexpr Uint128 kPrime =
      (static_cast<Uint128>(0x0000000001000000ULL) << 64) | 0x000000000000013BULL;
  Uint128 state_ = (static_cast<Uint128>(0x6c62272e07bb0142ULL) << 64) | 0x62b821756295c58dULL;
};

std::string_view Trimmed(std::string_view text) {
  const size_t first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) {
    return {};
  }
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// The opaque part of an entity tag, quotes included, without its weakness
// prefix; empty for a malformed one.
std::string_view OpaqueTag(std::string_view tag) {
  if (tag.starts_with("W/")) {
    tag.remove_prefix(2);
  }
  if (tag.size() < 2 || tag.front() != '"' || tag.back() != '"' ||
      tag.substr(1, tag.size() - 2).find('"') != std::string_view::npos) {
    return {};
  }
  return tag;
}

bool MatchesAny(std::string_view if_none_match, std::string_view entity_tag) {
  if (Trimmed(if_none_match) == "*") {
    return true;
  }
  for (size_t start = 0; start <= if_none_match.size();) {
    // A tag holds no comma that matters: a list is split at every comma.
    const size_t end = std::min(if_none_match.find(',', start), if_none_match.size());
    const std::string_view candidate = OpaqueTag(Trimmed(if_none_match.substr(start, end - start)));
    if (!candidate.empty() && candidate == OpaqueTag(entity_tag)) {
      return true;
    }
    start = end + 1;
  }
  return false;
}

}  // namespace

Validators MakeValidators(const ResponseSources& sources, std::string_view request_key,
                          int64_t now) {
  TagHash hash;
  hash.AddState(sources.source);
  hash.AddState(sources.converter);
  hash.AddState(sources.program);
  hash.AddField(static_cast<int64_t>(request_key.size()));
  hash.Add(request_key);
  return {"\"" + hash.Hex() + "\"", std::min(sources.source.modified_seconds, now)};
}

bool IsNotModified(std::string_view if_none_match, std::string_view if_modified_since,
                   const Validators& validators) {
  if (!Trimmed(if_none_match).empty()) {
    return MatchesAny(if_none_match, validators.entity_tag);
  }
  const std::optional<int64_t> since = ParseHttpDate(Trimmed(if_modified_since));
  return since.has_value() && validators.last_modified <= *since;
}

HeaderLines ValidatorHeaders(const Validators& validators, std::string_view cache_control) {
  return {{"ETag", validators.entity_tag},
          {"Last-Modified", FormatHttpDate(validators.last_modified)},
          {"Cache-Control", std::string(cache_control)}};
}

}  // namespace ostrel
