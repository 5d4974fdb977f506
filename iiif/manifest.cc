#include "iiif/manifest.h"

#include <cstdint>

#include "platform/error.h"

namespace ostrel {
namespace {

void CheckManifest(const Manifest& manifest) {
  if (manifest.id.empty() || manifest.pages.empty()) {
    throw Error(ErrorKind::kInvalidArgument, "a manifest needs an id and at least one page");
  }
  for (const ManifestPage& page : manifest.pages) {
    if (page.service_id.empty()) {
      throw Error(ErrorKind::kInvalidArgument, "each page of a manifest needs an image service");
    }
    CheckPageAndLimits(page.size, manifest.limits);
  }
}

// The painting annotation of page `number`, whose Canvas is `canvas_id`.
// The image is named at an explicit size rather than `max`, so that the
// width and height given here are exactly those the service returns.
void WritePainting(JsonWriter& json, const Manifest& manifest, const ManifestPage& page,
                   const std::string& canvas_id) {
  const PixelSize size = LargestWithinLimits(page.size, manifest.limits);
  const ImageFormat format = PreferredFormat(page.kind);
  const std::string image_id = page.service_id + "/full/" + std::to_string(size.width) + "," +
                               std::to_string(size.height) + "/0/default." +
                               std::string(NameOf(format));
  json.BeginObject()
      .Member("id", canvas_id + "/annotation")
      .Member("type", "Annotation")
      .Member("motivation", "painting");
  json.Key("body")
      .BeginObject()
      .Member("id", image_id)
      .Member("type", "Image")
      .Member("format", MediaTypeOf(format))
      .Member("width", size.width)
      .Member("height", size.height);
  json.Key("service").BeginArray().BeginObject();
  json.Member("id", page.service_id).Member("type", "ImageService3").Member("profile", "level2");
  json.EndObject().EndArray().EndObject();
  json.Member("target", canvas_id).EndObject();
}

}  // namespace

void WriteLabel(JsonWriter& json, std::string_view text) {
  json.BeginObject().Member("none", {text}).EndObject();
}

std::string ManifestJson(const Manifest& manifest) {
  CheckManifest(manifest);
  JsonWriter json;
  json.BeginObject()
      .Member("@context", "http://iiif.io/api/presentation/3/context.json")
      .Member("id", manifest.id)
      .Member("type", "Manifest");
  WriteLabel(json.Key("label"), manifest.name);
  if (manifest.pages.size() > 1) {
    json.Member("behavior", {"paged"});
  }
  json.Key("items").BeginArray();
  int32_t number = 0;
  for (const ManifestPage& page : manifest.pages) {
    const std::string page_number = std::to_string(++number);
    const std::string canvas_id = manifest.id + "/canvas/" + page_number;
    json.BeginObject().Member("id", canvas_id).Member("type", "Canvas");
    WriteLabel(json.Key("label"), "Page " + page_number);
    json.Member("width", page.size.width).Member("height", page.size.height);
    json.Key("items").BeginArray().BeginObject();
    json.Member("id", canvas_id + "/page").Member("type", "AnnotationPage");
    json.Key("items").BeginArray();
    WritePainting(json, manifest, page, canvas_id);
    json.EndArray().EndObject().EndArray().EndObject();
  }
  return json.EndArray().EndObject().text();
}

}  // namespace ostrel
