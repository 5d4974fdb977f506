#include "conversion/conversion_limits.h"

#include <optional>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "helpers/configuration.h"
#include "platform/error.h"
#include "platform/slot_lock.h"
#include "tests/support/process_harness.h"
#include "tests/support/raised_error.h"

namespace ostrel {
namespace {

using testing::RaisedError;

TEST(ConversionLimitsTest, EachSettingIsADefaultOrAWholeNumberWithinItsRange) {
  const int32_t processors = static_cast<int32_t>(std::thread::hardware_concurrency());
  const struct {
    const char* lines;
    int64_t max_image_bytes;
    int32_t slots;
    int32_t wait_seconds;
  } cases[] = {
      {"", 268435456, processors, 10},
      {"MaxImageBytes=1\nConversionSlots=1\nSlotWait=0\n", 1, 1, 0},
      {"MaxImageBytes=1073741824\nConversionSlots=256\nSlotWait=300\n", 1073741824, 256, 300},
      {"maximagebytes=\"4096\"\nconversionslots=3\n", 4096, 3, 10},
  };
  for (const auto& c : cases) {
    const Configuration configuration = ParseConfiguration(std::string("[Converter]\n") + c.lines);
    EXPECT_EQ(MaxImageBytes(configuration), c.max_image_bytes) << c.lines;
    const SlotSettings settings = ReadSlotSettings(configuration);
    EXPECT_EQ(settings.slots, c.slots) << c.lines;
    EXPECT_EQ(settings.wait_seconds, c.wait_seconds) << c.lines;
  }
  for (const char* line :
       {"MaxImageBytes=0", "MaxImageBytes=1073741825", "MaxImageBytes=99999999999999999999999",
        "MaxImageBytes=-5", "MaxImageBytes=1e6", "MaxImageBytes= 5x", "ConversionSlots=0",
        "ConversionSlots=257", "ConversionSlots=+2", "SlotWait=301", "SlotWait=1.5"}) {
    const Configuration configuration =
        ParseConfiguration(std::string("[Converter]\n") + line + "\n");
    const Error error = RaisedError([&] {
      (void)MaxImageBytes(configuration);
      (void)ReadSlotSettings(configuration);
    });
    EXPECT_TRUE(error.Is(ErrorKind::kInvalidArgument)) << line;
    const std::string key(line, std::string_view(line).find('='));
    EXPECT_NE(error.description().find(key + " must be a whole number from "), std::string::npos)
        << error.description();
  }
}

TEST(ConversionLimitsTest, ASlotIsHeldInTheTemporaryDirectoryOrTheRequestIsRefusedAsBusy) {
  testing::TemporaryDirectory directory;
  const Configuration configuration = ParseConfiguration(
      "[Converter]\nTempDir=" + directory.path() + "\nConversionSlots=2\nSlotWait=0\n");
  std::optional<SlotLock> first = TakeConversionSlot(configuration);
  std::optional<SlotLock> second = TakeConversionSlot(configuration);
  ASSERT_TRUE(first && second);
  EXPECT_NE(first->number(), second->number());
  const Error busy = RaisedError([&] { (void)TakeConversionSlot(configuration); });
  EXPECT_EQ(busy.source(), ErrorSource::kRequestRefused);
  EXPECT_EQ(busy.code(), kServiceUnavailable);
  EXPECT_EQ(busy.description(),
            "busy: no conversion slot of 2 came free within 0 s; try again later");
  second.reset();
  EXPECT_TRUE(TakeConversionSlot(configuration).has_value());
  // A temporary directory that does not exist holds no slots: the converter
  // reports it.
  EXPECT_FALSE(
      TakeConversionSlot(ParseConfiguration("[Converter]\nTempDir=" + directory.PathOf("none") +
                                            "\nConversionSlots=1\n"))
          .has_value());
}

}  // namespace
}  // namespace ostrel
