#include "iiif/page_description.h"

#include <cmath>
#include <string>

#include "helpers/json_reader.h"
#include "platform/error.h"

namespace ostrel {
namespace {

[[noreturn]] void Refuse(std::string_view field, std::string_view what) {
  throw Error(ErrorKind::kInvalidArgument,
              "description: \"" + std::string(field) + "\" " + std::string(what));
}

const JsonNode& Member(const JsonNode& object, std::string_view name, JsonNode::Type type) {
  const JsonNode* member = object.Find(name);
  if (member == nullptr || member->type != type) {
    Refuse(name, "is missing or of the wrong type");
  }
  return *member;
}

int64_t WholeNumber(const JsonNode& object, std::string_view name, int64_t lowest,
                    int64_t highest) {
  const double value = Member(object, name, JsonNode::Type::kNumber).number;
  if (!(value >= static_cast<double>(lowest) && value <= static_cast<double>(highest)) ||
      value != std::floor(value)) {
    Refuse(name, "is out of range");
  }
  return static_cast<int64_t>(value);
}

// A resolution: a positive number, or null when the tag is absent (0 here).
double Resolution(const JsonNode& page, std::string_view name) {
  const JsonNode* value = page.Find(name);
  if (value != nullptr && value->type == JsonNode::Type::kNull) {
    return 0;
  }
  const double resolution = Member(page, name, JsonNode::Type::kNumber).number;
  if (!(resolution >= 0)) {
    Refuse(name, "is negative");
  }
  return resolution;
}

PageDescription ReadPage(const JsonNode& page) {
  if (page.type != JsonNode::Type::kObject) {
    Refuse("page", "lists something other than an object");
  }
  constexpr int64_t kLongestSide = 4294967295;  // a TIFF LONG
  PageDescription description;
  description.width = WholeNumber(page, "width", 1, kLongestSide);
  description.height = WholeNumber(page, "height", 1, kLongestSide);
  description.x_resolution = Resolution(page, "x_resolution");
  description.y_resolution = Resolution(page, "y_resolution");
  const JsonNode* unit = page.Find("resolution_unit");
  description.physical_unit = unit != nullptr && unit->type == JsonNode::Type::kString &&
                              (unit->string == "inch" || unit->string == "centimetre");
  description.kind = PageContentNamed(Member(page, "kind", JsonNode::Type::kString).string);
  description.orientation = static_cast<int32_t>(WholeNumber(page, "orientation", 1, 8));
  return description;
}

}  // namespace

FileDescription ReadFileDescription(std::string_view json) {
  const JsonNode document = ReadJson(json);
  if (document.type != JsonNode::Type::kObject) {
    Refuse("", "is no object");
  }
  FileDescription description;
  description.page_count = WholeNumber(document, "pages", 0, 4294967295);
  for (const JsonNode& page : Member(document, "page", JsonNode::Type::kArray).items) {
    description.pages.push_back(ReadPage(page));
  }
  if (static_cast<int64_t>(description.pages.size()) > description.page_count) {
    Refuse("page", "lists more pages than counted");
  }
  return description;
}

}  // namespace ostrel
