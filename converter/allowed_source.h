// Opening the source file that a conversion reads.
#ifndef OSTREL_CONVERTER_ALLOWED_SOURCE_H_
#define OSTREL_CONVERTER_ALLOWED_SOURCE_H_

#include "converter/conversion_options.h"
#include "platform/file.h"

namespace ostrel {

// Opens `options.source` for reading. When `options.allowed_directories` is
// set, the file actually opened must lie in one of them (its descriptor's
// path, so that a link re-pointed after the program's own check cannot pick
// another file). Raises kCannotReadSource when the file cannot be opened or
// lies elsewhere.
ReadOnlyFile OpenAllowedSource(const ConversionOptions& options);

}  // namespace ostrel

#endif  // OSTREL_CONVERTER_ALLOWED_SOURCE_H_
