// What a IIIF identifier names: a TIFF file under the service's directories
// and one of its pages.
#ifndef OSTREL_IIIF_IMAGE_IDENTIFIER_H_
#define OSTREL_IIIF_IMAGE_IDENTIFIER_H_

#include <cstdint>
#include <string>
#include <string_view>

namespace ostrel {

// The highest page number an identifier may give, as the Page parameter.
inline constexpr int32_t kHighestPageNamed = 1000000;

struct ImageIdentifier {
  // The file's path below a root as given: "scans/letter", "scans/letter.tif".
  std::string name;
  int32_t page = 1;         // counted from 1
  bool page_given = false;  // the identifier ends in ";N"
};

// Reads a decoded identifier. A last ";" followed by ASCII digits alone
// starts the page suffix, a page number from 1 without a leading zero, so
// that "name;1" and "name" are the same page; anything else after the last
// ";" (nothing included) belongs to the name. Raises a refusal with status
// 400 for a page suffix of 0 or with a leading zero, which would give a page
// a second identifier; with status 404 for a page beyond kHighestPageNamed.
ImageIdentifier ParseImageIdentifier(std::string_view identifier);

// The real path of the file `name` names in the directories of `roots` (a
// list like AllowedImageDirectories): for each root in its order, `name` as
// it is when it ends in ".tif" or ".tiff" (letter case ignored), else `name`
// + ".tif", then `name` + ".tiff"; the first that exists and whose real path
// (every link, "." and ".." resolved) lies inside one of the roots. Raises a
// refusal with status 404 that says nothing of what lies there when there is
// none, and before looking when `name` is empty or absolute, holds a
// backslash, a NUL byte or ", ", or has an empty, "." or ".." segment.
std::string ResolveImageFile(std::string_view name, std::string_view roots);

// `name` as an identifier in a URL path: every byte but ASCII letters,
// digits, "-", ".", "_" and "~" percent-encoded ("a/b c" gives
// "a%2Fb%20c"), then ";" and `page` when `page` is above 0.
std::string EncodedIdentifier(std::string_view name, int32_t page = 0);

}  // namespace ostrel

#endif  // OSTREL_IIIF_IMAGE_IDENTIFIER_H_
