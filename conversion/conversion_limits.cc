#include "conversion/conversion_limits.h"

#include <algorithm>
#include <string>
#include <string_view>
#include <thread>

#include "conversion/temporary_output.h"
#include "platform/error.h"
#include "platform/file.h"
#include "platform/private_directory.h"

namespace ostrel {
namespace {

constexpr int32_t kMostSlots = 256;
constexpr int32_t kMostWaitSeconds = 300;
constexpr int32_t kDefaultWaitSeconds = 10;

// `text` as a whole number from `low` to `high`, or `default_value` when it
// is empty. Raises an invalid-argument error naming `key` for anything but
// ASCII digits alone within that range.
int64_t WholeNumberSetting(std::string_view key, std::string_view text, int64_t default_value,
                           int64_t low, int64_t high) {
  if (text.empty()) {
    return default_value;
  }
  int64_t value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9' || value > high) {
      value = -1;
      break;
    }
    value = value * 10 + (c - '0');
  }
  if (value < low || value > high) {
    throw Error(ErrorKind::kInvalidArgument, std::string(key) + " must be a whole number from " +
                                                 std::to_string(low) + " to " +
                                                 std::to_string(high));
  }
  return value;
}

}  // namespace

int64_t MaxImageBytes(const Configuration& configuration) {
  return WholeNumberSetting("MaxImageBytes", configuration.max_image_bytes, kDefaultMaxImageBytes,
                            1, kMostMaxImageBytes);
}

SlotSettings ReadSlotSettings(const Configuration& configuration) {
  const auto processors =
      std::clamp(static_cast<int32_t>(std::thread::hardware_concurrency()), 1, kMostSlots);
  return {static_cast<int32_t>(WholeNumberSetting("ConversionSlots", configuration.conversion_slots,
                                                  processors, 1, kMostSlots)),
          static_cast<int32_t>(WholeNumberSetting("SlotWait", configuration.slot_wait,
                                                  kDefaultWaitSeconds, 0, kMostWaitSeconds))};
}

std::optional<SlotLock> TakeConversionSlot(const Configuration& configuration) {
  const std::string directory = TemporaryDirectory(configuration.temp_dir);
  if (!IsDirectory(directory)) {
    return std::nullopt;
  }
  return TakeConversionSlot(configuration, PrivateDirectory(directory));
}

std::optional<SlotLock> TakeConversionSlot(const Configuration& configuration,
                                           const PrivateDirectory& directory) {
  const SlotSettings settings = ReadSlotSettings(configuration);
  // A directory made for this request alone (another user planted its
  // name) shares no slots, and lock files there would keep it from being
  // removed.
  if (directory.fresh()) {
    return std::nullopt;
  }
  std::optional<SlotLock> slot =
      SlotLock::Take(directory.path(), settings.slots, settings.wait_seconds);
  if (!slot) {
    throw Error(ErrorSource::kRequestRefused, kServiceUnavailable,
                "busy: no conversion slot of " + std::to_string(settings.slots) +
                    " came free within " + std::to_string(settings.wait_seconds) +
                    " s; try again later");
  }
  return slot;
}

}  // namespace ostrel
