// The optional request parameters that choose what a client gets: which
// page, fitted into which box, turned how far, in which image format, or
// the file's description instead of a picture.
#ifndef OSTREL_CONVERSION_VIEW_REQUEST_H_
#define OSTREL_CONVERSION_VIEW_REQUEST_H_

#include <functional>
#include <string>

#include "cgi/form_pair.h"

namespace ostrel {

// The image format a picture is written in: the converter's format item,
// the temporary file's extension and the response's content type.
struct PictureFormat {
  const char* item;  // "gif", "png" or "jpg"
  const char* extension;
  const char* content_type;
};
inline constexpr PictureFormat kGifFormat{"gif", ".gif", "image/gif"};
inline constexpr PictureFormat kPngFormat{"png", ".png", "image/png"};
inline constexpr PictureFormat kJpegFormat{"jpg", ".jpg", "image/jpeg"};

struct ViewRequest {
  // The converter items of the view parameters given, in the order page,
  // width, height, rotate, format, e.g. "page=2, width=800, format=png";
  // empty when none was.
  std::string items;
  // Info has a non-empty value: the file is described, not drawn.
  bool describe = false;
  // The picture's format: Format's, else GIF; GIF when describing.
  PictureFormat format = kGifFormat;
};

// Reads Page, Width, Height, Rotate, Info and Format through `lookup`,
// which is called only for the names that the held slots of `pairs` hold
// (letter case ignored), so a request naming none of them makes no lookup,
// and no lookup report, beyond those of FN and Path. An empty value counts
// as absent. Raises an invalid-argument error naming the parameter for a
// value that is not ASCII digits alone or lies outside its range: Page 1 to
// 1000000, Width and Height 1 to 65535, Rotate 0, 90, 180 or 270; and for a
// Format other than gif, png, jpg or jpeg (letter case ignored). A
// description ignores a valid Format: its item is left out.
ViewRequest ReadViewRequest(const PairTable& pairs,
                            const std::function<std::string(const std::string&)>& lookup);

}  // namespace ostrel

#endif  // OSTREL_CONVERSION_VIEW_REQUEST_H_
