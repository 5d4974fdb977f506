// What libtiff reports about one open file, kept per handle instead of
// printed, and raised as the converter's errors.
#ifndef OSTREL_CONVERTER_TIFF_MESSAGES_H_
#define OSTREL_CONVERTER_TIFF_MESSAGES_H_

#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <string>

#include "converter/conversion_failure.h"

struct tiff;  // libtiff's TIFF
struct TIFFOpenOptions;

namespace ostrel {

// The first error and the first warning libtiff reported since they were
// last cleared, leaving out the warnings about how the file was written (a
// deprecated scheme, old-style codes); and the lines a CCITT decoder
// reported damaged, counted apart.
class TiffMessages {
 public:
  TiffMessages() = default;
  // libtiff holds its address.
  TiffMessages(const TiffMessages&) = delete;
  TiffMessages& operator=(const TiffMessages&) = delete;

  // Sets `options`' error and warning handlers to keep their messages here;
  // this object must outlive a handle opened with them.
  void KeepMessagesOf(TIFFOpenOptions* options);

  // Forgets everything kept, the damaged lines of earlier passes included.
  void Reset();
  // Forgets the first error and warning, keeping the count of damaged lines.
  void ClearFirst();
  // Begins a pass over the page: the damaged lines are counted anew.
  void BeginPass();
  // Whether damaged lines are counted rather than kept as warnings: only
  // Group 3 faxes mark each line's end, where the decoder resynchronises
  // after a damaged line; without those marks the rest of the page is lost.
  void set_lines_recoverable(bool recoverable) { lines_recoverable_ = recoverable; }

  // Lines of a fax page that the CCITT decoder could not decode in full and
  // filled in, resuming at the next line; of several passes over the page,
  // the one that met the most.
  uint32_t DamagedLines() const;

  // Raises `failure` with "<what>: <libtiff's first error>" and clears the
  // first error and warning.
  [[noreturn]] void Fail(ConversionFailure failure, const std::string& what);
  // After a decoding call on `file_name`: raises kDamagedTiff unless it
  // succeeded and libtiff reported nothing.
  void CheckDecoded(bool ok, const std::string& file_name);

 private:
  static constexpr size_t kCapacity = 512;

  // libtiff's handlers, called from C: they must not throw.
  static int KeepError(tiff* file, void* messages, const char* module, const char* format,
                       va_list arguments);
  static int KeepWarning(tiff* file, void* messages, const char* module, const char* format,
                         va_list arguments);
  void Keep(char* slot, const char* module, const char* format, va_list arguments);

  char error_[kCapacity] = "";
  char warning_[kCapacity] = "";
  bool lines_recoverable_ = false;
  uint32_t damaged_lines_ = 0;
  char last_damaged_line_[64] = "";  // "at line N of strip M", to count each once
  uint32_t most_damaged_lines_ = 0;  // of the passes before the current one
};

}  // namespace ostrel

#endif  // OSTREL_CONVERTER_TIFF_MESSAGES_H_
