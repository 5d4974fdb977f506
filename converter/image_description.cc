#include "converter/image_description.h"

#include <charconv>

#include "converter/allowed_source.h"
#include "converter/conversion_failure.h"
#include "converter/tiff_file.h"
#include "converter/tiff_page.h"
#include "converter/tiff_reader.h"
#include "converter/view_geometry.h"
#include "platform/atomic_file.h"

namespace ostrel {
namespace {

constexpr const char* kKindNames[] = {"bilevel", "gray", "palette", "color"};

// The shortest decimal that reads back as `value`: "204", "71.5".
void AppendNumber(std::string& json, float value) {
  char digits[32];
  const auto result = std::to_chars(digits, digits + sizeof digits, value);
  json.append(digits, result.ptr);
}

void AppendResolution(std::string& json, float resolution) {
  if (resolution > 0) {
    AppendNumber(json, resolution);
  } else {
    json += "null";
  }
}

const char* UnitName(uint16_t unit) {
  switch (unit) {
    case 3:
      return "\"centimetre\"";
    case 1:
      return "\"none\"";
    default:  // 2, and any other value, which the format reads as inches
      return "\"inch\"";
  }
}

void AppendPage(std::string& json, const TiffPage& page, const ConversionOptions& options) {
  ConversionOptions unboxed;
  unboxed.square_pixels = options.square_pixels;
  const ViewGeometry view = PlanView(page, unboxed);
  json += "{\"width\":" + std::to_string(page.width) +
          ",\"height\":" + std::to_string(page.height) + ",\"x_resolution\":";
  AppendResolution(json, page.x_resolution);
  json += ",\"y_resolution\":";
  AppendResolution(json, page.y_resolution);
  json += ",\"resolution_unit\":";
  json += page.x_resolution > 0 || page.y_resolution > 0 ? UnitName(page.resolution_unit) : "null";
  json += ",\"kind\":\"";
  json += kKindNames[static_cast<int>(page.kind)];
  json += "\",\"view_width\":" + std::to_string(view.display.width) +
          ",\"view_height\":" + std::to_string(view.display.height) +
          ",\"orientation\":" + std::to_string(page.orientation) + "}";
}

}  // namespace

std::string DescribePages(TiffReader& reader, const ConversionOptions& options) {
  const uint32_t count = reader.CountPages();
  std::string json = "{\"pages\":" + std::to_string(count) + ",\"page\":[";
  for (size_t listed = 0; listed < count && listed < kMostDescribedPages; ++listed) {
    if (listed > 0) {
      json += ",";
      if (!reader.NextPage()) {
        throw ConversionError(ConversionFailure::kDamagedTiff,
                              "fewer pages than counted in " + options.source);
      }
    }
    AppendPage(json, reader.page(), options);
  }
  json += "]}";
  return json;
}

void DescribeImage(const ConversionOptions& options) {
  AtomicFile output = WithFailureKind(ConversionFailure::kCannotWriteDestination,
                                      [&] { return AtomicFile(options.dest); });
  TiffReader reader(TiffFile::FromOpenedFile(OpenAllowedSource(options), options.source), 1);
  const std::string json = DescribePages(reader, options);
  WithFailureKind(ConversionFailure::kCannotWriteDestination, [&] {
    output.Write(json);
    output.Commit();
  });
}

}  // namespace ostrel
