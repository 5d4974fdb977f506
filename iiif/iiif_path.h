// The request path of the IIIF service split into its API version, the
// image's identifier and what is asked of it.
#ifndef OSTREL_IIIF_IIIF_PATH_H_
#define OSTREL_IIIF_IIIF_PATH_H_

#include <string>
#include <string_view>

namespace ostrel {

enum class ApiVersion { k2, k3 };  // IIIF Image API 2.1 and 3.0

enum class IiifResource {
  kBase,      // {identifier}, answered with a redirect to its info.json
  kInfo,      // {identifier}/info.json
  kManifest,  // {identifier}/manifest, version 3 only
  kImage,     // {identifier}/{region}/{size}/{rotation}/{quality}.{format}
};

// The five parameters of an image request, percent-decoded, otherwise as
// given; ParseImageRequest reads them.
struct ImageParameters {
  std::string region;
  std::string size;
  std::string rotation;
  std::string quality;
  std::string format;  // what follows the last "." of the last segment
};

struct IiifPath {
  ApiVersion version = ApiVersion::k3;
  IiifResource resource = IiifResource::kBase;
  // The path up to and including the identifier, as given:
  // "/iiif/3/scans%2Fletter;2". "/info.json" appended names the image's
  // information, as a redirect from the base and the document's id need.
  std::string base;
  std::string raw_identifier;  // still percent-encoded: "scans%2Fletter;2"
  std::string identifier;      // decoded: "scans/letter;2"
  ImageParameters parameters;  // of kImage only
};

// Reads `path`, the raw request path from "/iiif/" on, e.g.
// "/iiif/3/scans%2Fletter;2/full/max/0/default.png"; a query from the first
// "?" on is ignored. The identifier and the image parameters are decoded
// strictly: "%" takes exactly two hexadecimal digits and "+" stays a plus
// sign. A "/" after the identifier alone still names the base. Raises a
// refusal with status 400 for anything else: no "/iiif/2/" or "/iiif/3/" at
// the start, an empty identifier, a bad "%" escape, a segment count that
// fits no resource, a last image segment without ".", a manifest under
// version 2.
IiifPath ParseIiifPath(std::string_view path);

}  // namespace ostrel

#endif  // OSTREL_IIIF_IIIF_PATH_H_
