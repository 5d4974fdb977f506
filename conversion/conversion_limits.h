// What a request's conversions may cost: how large an image the converter
// may write, and how many conversions run at once across the program's
// processes.
#ifndef OSTREL_CONVERSION_CONVERSION_LIMITS_H_
#define OSTREL_CONVERSION_CONVERSION_LIMITS_H_

#include <cstdint>
#include <optional>

#include "helpers/configuration.h"
#include "platform/private_directory.h"
#include "platform/slot_lock.h"

namespace ostrel {

// The largest image file written unless MaxImageBytes says otherwise: 256
// MiB. Some thirty times the largest image of the bench corpus (a 4096 x
// 4096 colour page, 8.6 MB as a GIF), a quarter of the converter's file size
// limit, and room for the image service's default maxArea in every format
// it writes.
inline constexpr int64_t kDefaultMaxImageBytes = int64_t{1} << 28;
// Beyond this the converter's file size limit refuses first.
inline constexpr int64_t kMostMaxImageBytes = int64_t{1} << 30;

// The status of a request refused because every conversion slot stayed
// taken: the service is unavailable for now.
inline constexpr int32_t kServiceUnavailable = 503;

// MaxImageBytes of `configuration`, or the default when it is empty. Raises
// an invalid-argument error naming the key for a value that is not ASCII
// digits alone from 1 to kMostMaxImageBytes.
int64_t MaxImageBytes(const Configuration& configuration);

struct SlotSettings {
  int32_t slots = 1;         // ConversionSlots: 1 to 256
  int32_t wait_seconds = 0;  // SlotWait: 0 to 300
};

// ConversionSlots and SlotWait of `configuration`; where a key is empty, the
// number of processors online (at least 1) and 10 seconds. Raises an
// invalid-argument error naming the key for a value that is not ASCII
// digits alone within its range.
SlotSettings ReadSlotSettings(const Configuration& configuration);

// One of the conversion slots of `configuration`, in the directory of this
// user's own that its temporary directory gives (see PrivateDirectory), held
// until it goes (or the process ends): the caller runs the converter while
// it holds it. Nothing when the temporary directory does not exist, which
// is reported where the output is made, and nothing when the directory is
// a fresh one for this request alone. Raises an error of source
// kRequestRefused, code kServiceUnavailable, when every slot stayed taken
// for the wait; raises what PrivateDirectory and SlotLock::Take raise.
std::optional<SlotLock> TakeConversionSlot(const Configuration& configuration);
// The same in `directory`, the temporary directory already opened.
std::optional<SlotLock> TakeConversionSlot(const Configuration& configuration,
                                           const PrivateDirectory& directory);

}  // namespace ostrel

#endif  // OSTREL_CONVERSION_CONVERSION_LIMITS_H_
