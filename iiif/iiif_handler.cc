// ServeIiif: the IIIF service's answers, images, image information,
// manifests, the base URI's redirect and a CORS preflight, and every refusal
// with its status.
#include <algorithm>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "cgi/http_response.h"
#include "cgi/ostrel_class.h"
#include "conversion/conversion_limits.h"
#include "conversion/file_description.h"
#include "conversion/response_validators.h"
#include "iiif/iiif_path.h"
#include "iiif/iiif_settings.h"
#include "iiif/image_format.h"
#include "iiif/image_geometry.h"
#include "iiif/image_identifier.h"
#include "iiif/image_information.h"
#include "iiif/image_request.h"
#include "iiif/manifest.h"
#include "iiif/page_description.h"
#include "iiif/pixel_grid.h"
#include "iiif/refusal.h"
#include "iiif/render_items.h"
#include "iiif/request_location.h"
#include "iiif/response_headers.h"
#include "platform/application_log.h"
#include "platform/error.h"
#include "platform/slot_lock.h"

namespace ostrel {
namespace {

constexpr int32_t kNotFound = 404;
// The converter's exit statuses.
constexpr int32_t kCannotReadSourceStatus = 20;
constexpr int32_t kImageTooLargeStatus = 25;

constexpr std::string_view kPresentationContext = "http://iiif.io/api/presentation/3/context.json";

// Widths listed besides the tiles' sizes: the demo page's thumbnails (240)
// and the widths the viewer fits a page to (a window's width rounded up to
// 100 pixels).
const std::vector<int32_t> kExtraWidths = {240, 800, 900, 1000, 1100, 1200, 1300, 1400, 1500, 1600};

HttpResponse TextResponse(int32_t status, std::string_view text) {
  return {status, {{"Content-Type", "text/plain; charset=utf-8"}}, std::string(text) + "\n"};
}

ImageApiVersion ImageApiVersionOf(ApiVersion version) {
  return version == ApiVersion::k3 ? ImageApiVersion::k3_0 : ImageApiVersion::k2_1;
}

// The file's name as people read it: the last segment of its identifier.
std::string DocumentName(std::string_view name) {
  return std::string(name.substr(name.rfind('/') + 1));
}

HttpResponse Preflight(const RequestContext& context) {
  HttpResponse response{204, {{"Access-Control-Allow-Methods", "GET, HEAD, OPTIONS"}}, ""};
  const std::string headers = AllowedRequestHeaders(context.HTTP_ACCESS_CONTROL_REQUEST_HEADERS);
  if (!headers.empty()) {
    response.headers.emplace_back("Access-Control-Allow-Headers", headers);
  }
  response.headers.emplace_back("Access-Control-Max-Age", "86400");
  return response;
}

// The converter's description of `file`. A file it cannot read, a directory
// in its place or one a re-pointed link took outside the roots, is answered
// as unknown: the client learns no more than of a missing file.
FileDescription Describe(const Configuration& configuration, const std::string& file,
                         const std::string& roots) {
  std::string json;
  try {
    json = DescribeFile(configuration, file, roots);
  } catch (const Error& error) {  // the one converter failure a client is told of, as a 404
    if (error.source() == ErrorSource::kConverterStatus &&
        error.code() == kCannotReadSourceStatus) {
      throw Refusal(kNotFound, "no such image");
    }
    throw;
  }
  return ReadFileDescription(json);
}

// Renders as RenderFile does. An image the converter refuses as too large,
// which the limits let through (a page beyond its pixel limit), is a valid
// request this service does not serve.
void Render(const Configuration& configuration, const std::string& file, const std::string& items,
            const std::string& extension, const std::string& roots,
            const std::function<void(const std::string& path)>& use) {
  try {
    RenderFile(configuration, file, items, extension, roots, use);
  } catch (const Error& error) {  // the converter's refusal of a size, told as a 501
    if (error.source() == ErrorSource::kConverterStatus && error.code() == kImageTooLargeStatus) {
      throw Refusal(kNotImplemented, "image too large");
    }
    throw;
  }
}

const PageDescription& DescribedPage(const FileDescription& description, int32_t page) {
  if (page > description.page_count) {
    throw Refusal(kNotFound, "no such page");
  }
  if (page > static_cast<int64_t>(description.pages.size())) {
    throw Refusal(kNotImplemented, "pages beyond the first 1000 are not served");
  }
  return description.pages[static_cast<size_t>(page - 1)];
}

// Everything of a request and of the configuration that an answer of the
// service depends on besides the file: the service's URL (documents name
// it), the resource and its parameters, the JSON media type asked for, and
// the limits and tile size that info.json declares and `max` follows.
std::string IiifRequestKey(const std::string& service, const IiifPath& path,
                           const RequestContext& context, const Configuration& configuration) {
  const ImageParameters& image = path.parameters;
  std::string key = service;
  for (const std::string_view part :
       {std::string_view(path.resource == IiifResource::kImage  ? "image"
                         : path.resource == IiifResource::kInfo ? "info"
                                                                : "manifest"),
        std::string_view(image.region), std::string_view(image.size),
        std::string_view(image.rotation), std::string_view(image.quality),
        std::string_view(image.format),
        std::string_view(AcceptsJsonLd(context.HTTP_ACCEPT) ? "ld+json" : "json"),
        std::string_view(configuration.iiif_max_width),
        std::string_view(configuration.iiif_max_height),
        std::string_view(configuration.iiif_max_area),
        std::string_view(configuration.iiif_tile_size)}) {
    key.append("\n").append(part);
  }
  return key;
}

// Sends a response whose body is the file at a path, once it is written.
using FileSender = std::function<void(const HttpResponse& head, const std::string& path)>;

// Answers `context`'s request: a response to send, or nothing when an image
// went out through `send_file`.
std::optional<HttpResponse> AnswerIiif(const RequestContext& context,
                                       const Configuration& configuration,
                                       const FileSender& send_file) {
  const std::string& method = context.REQUEST_METHOD;
  if (method == "OPTIONS") {
    return Preflight(context);
  }
  if (!method.empty() && method != "GET" && method != "HEAD") {
    HttpResponse response = TextResponse(405, "the service answers GET, HEAD and OPTIONS");
    response.headers.emplace_back("Allow", "GET, HEAD, OPTIONS");
    return response;
  }
  const RequestLocation location = LocateRequest(context);
  const IiifPath path = ParseIiifPath(location.path);
  // A malformed image request is refused before any file is looked at.
  const std::optional<ImageRequest> image_request =
      path.resource == IiifResource::kImage
          ? std::optional(ParseImageRequest(path.version, path.parameters))
          : std::nullopt;
  const ImageIdentifier identifier = ParseImageIdentifier(path.identifier);
  if (path.resource == IiifResource::kManifest && identifier.page_given) {
    throw Refusal(kBadRequest, "a manifest names a whole file, without a page");
  }
  const IiifSettings settings = ReadIiifSettings(configuration);
  const std::string file = ResolveImageFile(identifier.name, settings.roots);
  const std::string service = location.script_url + path.base;
  const std::string services = location.script_url + "/iiif/3/";
  if (path.resource == IiifResource::kBase) {
    HttpResponse response = TextResponse(303, service + "/info.json");
    response.headers.emplace_back("Location", service + "/info.json");
    return response;
  }
  // Images and documents are a pure function of the file and the request:
  // one that a client or a cache holds is confirmed from the file's state
  // alone, before any converter runs.
  const bool document = path.resource != IiifResource::kImage;
  const std::string cache_control =
      document ? DocumentCacheControl(configuration) : ImageCacheControl(configuration);
  const std::string request_key = IiifRequestKey(service, path, context, configuration);
  const std::optional<Validators> validators = ResponseValidators(file, request_key);
  if (validators &&
      IsNotModified(context.HTTP_IF_NONE_MATCH, context.HTTP_IF_MODIFIED_SINCE, *validators)) {
    HttpResponse response{304, ValidatorHeaders(*validators, cache_control), ""};
    if (document) {
      response.headers.emplace_back("Vary", "Accept");
    }
    return response;
  }
  // Taken once the answer is made: a file that changed meanwhile may have
  // given a mix of both versions, which no cache may keep.
  const auto cache_headers = [&] {
    const std::optional<Validators> after = ResponseValidators(file, request_key);
    if (validators && after && after->entity_tag == validators->entity_tag) {
      return ValidatorHeaders(*validators, cache_control);
    }
    return HeaderLines{{"Cache-Control", std::string(kUncacheable)}};
  };
  const auto with_cache_headers = [&](HttpResponse response) {
    for (auto& header : cache_headers()) {
      response.headers.push_back(std::move(header));
    }
    return response;
  };
  switch (path.resource) {
    case IiifResource::kBase:
      break;
    case IiifResource::kImage: {
      std::optional<SlotLock> slot = TakeConversionSlot(configuration);
      const FileDescription description = Describe(configuration, file, settings.roots);
      const PixelSize grid = IiifPixelGrid(DescribedPage(description, identifier.page));
      const ImageGeometry geometry =
          ComputeImageGeometry(*image_request, grid.width, grid.height, settings.limits);
      const HttpResponse head{
          200,
          {{"Content-Type", std::string(MediaTypeOf(geometry.format))},
           {"Link", "<" + service + "/" + geometry.canonical + ">;rel=\"canonical\""}},
          ""};
      Render(configuration, file, RenderItems(geometry, identifier.page),
             "." + std::string(NameOf(geometry.format)), settings.roots,
             [&](const std::string& output) {
               slot.reset();  // the client reads without holding a slot
               send_file(with_cache_headers(head), output);
             });
      return std::nullopt;
    }
    case IiifResource::kInfo: {
      const std::optional<SlotLock> slot = TakeConversionSlot(configuration);
      const FileDescription description = Describe(configuration, file, settings.roots);
      const PageDescription& page = DescribedPage(description, identifier.page);
      ImageInformation info;
      info.id = service;
      info.page = IiifPixelGrid(page);
      info.kind = page.kind;
      info.tile_size = settings.tile_size;
      info.extra_widths = kExtraWidths;
      info.limits = settings.limits;
      info.page_count = static_cast<int32_t>(std::min<int64_t>(description.page_count, INT32_MAX));
      info.manifest_id = services + EncodedIdentifier(identifier.name) + "/manifest";
      info.document_name = DocumentName(identifier.name);
      const ImageApiVersion version = ImageApiVersionOf(path.version);
      return with_cache_headers(
          HttpResponse{200,
                       {{"Content-Type", JsonMediaType(ImageContext(version), context.HTTP_ACCEPT)},
                        {"Vary", "Accept"},
                        {"Link", ProfileLink(version)}},
                       ImageInformationJson(info, version)});
    }
    case IiifResource::kManifest: {
      const std::optional<SlotLock> slot = TakeConversionSlot(configuration);
      const FileDescription description = Describe(configuration, file, settings.roots);
      Manifest manifest;
      manifest.id = service + "/manifest";
      manifest.name = DocumentName(identifier.name);
      manifest.limits = settings.limits;
      // The converter describes the first 1000 pages, and a manifest lists
      // no more.
      for (size_t index = 0; index < description.pages.size(); ++index) {
        const PageDescription& page = description.pages[index];
        manifest.pages.push_back(
            {services + EncodedIdentifier(identifier.name, static_cast<int32_t>(index + 1)),
             IiifPixelGrid(page), page.kind});
      }
      return with_cache_headers(
          HttpResponse{200,
                       {{"Content-Type", JsonMediaType(kPresentationContext, context.HTTP_ACCEPT)},
                        {"Vary", "Accept"}},
                       ManifestJson(manifest)});
    }
  }
  throw Error(ErrorKind::kInternalFailure, "unknown IIIF resource");
}

}  // namespace

void OstrelClass::ServeIiif() {
  const bool with_body = context_.REQUEST_METHOD != "HEAD";
  bool sending = false;
  const FileSender send_file = [&](const HttpResponse& head, const std::string& path) {
    HttpResponse cross_origin = head;
    cross_origin.headers.insert(cross_origin.headers.begin(), {"Access-Control-Allow-Origin", "*"});
    sending = true;
    SendHttpFile(cross_origin, path, with_body);
  };
  HttpResponse response;
  try {
    std::optional<HttpResponse> answer = AnswerIiif(context_, RequestConfiguration(), send_file);
    if (!answer) {
      return;
    }
    response = std::move(*answer);
  } catch (...) {  // the service's handler: every failure is answered with its status
    const Error error = CurrentError();
    const int32_t status = HttpStatusOf(error);
    if (sending) {
      // Part of the image went out already: only the log can tell.
      AppendLogEntry(LogEntryType::kError,
                     "ServeIiif: " + context_.REQUEST_URI + ", " + ReportTail(error));
      return;
    }
    if (status == 500) {
      AppendLogEntry(LogEntryType::kError,
                     "ServeIiif: " + context_.REQUEST_URI + ", " + ReportTail(error));
      response = TextResponse(500, "internal error");
    } else {
      response = TextResponse(status, error.description());
    }
    response.headers.emplace_back("Cache-Control", kUncacheable);
    if (status == kServiceUnavailable) {
      // Every slot stayed taken: worth trying again once about as long as a
      // request waits has passed. The settings were read on the way here, so
      // reading them again cannot fail.
      const int32_t wait = ReadSlotSettings(RequestConfiguration()).wait_seconds;
      response.headers.emplace_back("Retry-After", std::to_string(std::max(wait, 1)));
    }
  }
  response.headers.insert(response.headers.begin(), {"Access-Control-Allow-Origin", "*"});
  SendHttpResponse(response, with_body);
}

}  // namespace ostrel
