#include "iiif/image_information.h"

#include "helpers/json_writer.h"
#include "iiif/manifest.h"
#include "platform/error.h"

namespace ostrel {
namespace {

constexpr std::string_view kProtocol = "http://iiif.io/api/image";

void CheckInformation(const ImageInformation& info) {
  if (info.id.empty()) {
    throw Error(ErrorKind::kInvalidArgument, "an image service needs an id");
  }
  CheckPageAndLimits(info.page, info.limits);
  if (info.tile_size < 1 || !WithinLimits({info.tile_size, info.tile_size}, info.limits)) {
    throw Error(ErrorKind::kInvalidArgument,
                "the tile size must be positive and within the limits");
  }
  if (info.page_count > 1 && info.manifest_id.empty()) {
    throw Error(ErrorKind::kInvalidArgument, "a file of several pages needs a manifest id");
  }
}

void WriteSizesAndTiles(JsonWriter& json, const ImageInformation& info) {
  const std::vector<int64_t> factors = ScaleFactors(info.page, info.tile_size);
  json.Key("sizes").BeginArray();
  for (const PixelSize size : ListedSizes(info.page, factors, info.extra_widths, info.limits)) {
    json.BeginObject().Member("width", size.width).Member("height", size.height).EndObject();
  }
  json.EndArray();
  json.Key("tiles").BeginArray().BeginObject().Member("width", info.tile_size);
  json.Key("scaleFactors").BeginArray();
  for (const int64_t factor : factors) {
    json.Number(factor);
  }
  json.EndArray().EndObject().EndArray();
}

void WriteLimits(JsonWriter& json, const ImageLimits& limits) {
  json.Member("maxWidth", limits.max_width)
      .Member("maxHeight", limits.max_height)
      .Member("maxArea", limits.max_area);
}

// Level 2 of Image API 3.0 requires every region and size form the service
// takes, rotation by 90s, the base URI redirect, CORS and the JSON-LD media
// type, and the png format; the rest is declared here.
std::string Version3Json(const ImageInformation& info) {
  JsonWriter json;
  json.BeginObject()
      .Member("@context", "http://iiif.io/api/image/3/context.json")
      .Member("id", info.id)
      .Member("type", "ImageService3")
      .Member("protocol", kProtocol)
      .Member("profile", "level2")
      .Member("width", info.page.width)
      .Member("height", info.page.height);
  WriteLimits(json, info.limits);
  WriteSizesAndTiles(json, info);
  json.Member("preferredFormats", {NameOf(PreferredFormat(info.kind))})
      .Member("extraFormats", {"png", "gif"})
      .Member("extraQualities", {"color", "gray", "bitonal"})
      .Member("extraFeatures", {"mirroring", "profileLinkHeader"});
  if (info.page_count > 1) {
    json.Key("partOf").BeginArray().BeginObject().Member("id", info.manifest_id);
    json.Member("type", "Manifest");
    WriteLabel(json.Key("label"), info.document_name);
    json.EndObject().EndArray();
  }
  return json.EndObject().text();
}

// Image API 2.1 puts the limits and what goes beyond the compliance level
// into a profile object. Its image information has no link to a containing
// document; `service` is the one property it has for related resources, so
// the manifest is named there, with the context that defines its type.
std::string Version2Json(const ImageInformation& info) {
  JsonWriter json;
  json.BeginObject()
      .Member("@context", "http://iiif.io/api/image/2/context.json")
      .Member("@id", info.id)
      .Member("protocol", kProtocol)
      .Member("width", info.page.width)
      .Member("height", info.page.height);
  WriteSizesAndTiles(json, info);
  json.Key("profile").BeginArray().String("http://iiif.io/api/image/2/level2.json").BeginObject();
  json.Member("formats", {"jpg", "png", "gif"})
      .Member("qualities", {"default", "color", "gray", "bitonal"})
      .Member("supports", {"regionSquare", "mirroring", "profileLinkHeader"});
  WriteLimits(json, info.limits);
  json.EndObject().EndArray();
  if (info.page_count > 1) {
    json.Key("service").BeginArray().BeginObject();
    json.Member("@context", "http://iiif.io/api/presentation/3/context.json")
        .Member("@id", info.manifest_id)
        .Member("@type", "Manifest");
    json.EndObject().EndArray();
  }
  return json.EndObject().text();
}

}  // namespace

std::string ImageInformationJson(const ImageInformation& info, ImageApiVersion version) {
  CheckInformation(info);
  return version == ImageApiVersion::k3_0 ? Version3Json(info) : Version2Json(info);
}

}  // namespace ostrel
