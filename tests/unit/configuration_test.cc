#include "helpers/configuration.h"

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "platform/environment.h"
#include "platform/error.h"
#include "tests/support/process_harness.h"

namespace ostrel {
namespace {

TEST(ConfigurationTest, EachKeyFillsItsSettingCutWhereABufferWould) {
  const std::string long_value(3000, 'v');
  const Configuration configuration =
      ParseConfiguration("[Other]\nTempDir=other\n[converter]\nTEMPDIR=" + long_value +
                         "\nExtraParamters=colors=16\nAllowedImageDirectories=" + long_value +
                         "\nMaxRequestBody=4096\nMaxImageBytes=1000\nconversionslots=3\nSlotWait=7"
                         "\n[iiif]\nRoot=" +
                         long_value +
                         "\nMaxWidth=800\nMaxHeight=600\nMaxArea=480000\nTileSize=256\n"
                         "[Converter]\nRoot=/not/this\nImageCacheControl=no\n[http]\n"
                         "ImageCacheControl=max-age=60\nDocumentCacheControl=no-cache\n");
  EXPECT_EQ(configuration.temp_dir, long_value.substr(0, 2045));
  EXPECT_EQ(configuration.extra_parameters, "colors=16");
  EXPECT_EQ(configuration.allowed_image_directories, long_value);
  EXPECT_EQ(configuration.max_request_body, "4096");
  EXPECT_EQ(configuration.max_image_bytes, "1000");
  EXPECT_EQ(configuration.conversion_slots, "3");
  EXPECT_EQ(configuration.slot_wait, "7");
  EXPECT_EQ(configuration.iiif_root, long_value);
  EXPECT_EQ(configuration.iiif_max_width, "800");
  EXPECT_EQ(configuration.iiif_max_height, "600");
  EXPECT_EQ(configuration.iiif_max_area, "480000");
  EXPECT_EQ(configuration.iiif_tile_size, "256");
  EXPECT_EQ(configuration.image_cache_control, "max-age=60");
  EXPECT_EQ(configuration.document_cache_control, "no-cache");

  const Configuration empty = ParseConfiguration("[Converter]\nTempDir=/srv/tmp\n");
  EXPECT_EQ(empty.temp_dir, "/srv/tmp");
  EXPECT_EQ(empty.extra_parameters, "");
  EXPECT_EQ(empty.allowed_image_directories, "");
  EXPECT_EQ(empty.max_request_body, "");
  EXPECT_EQ(empty.max_image_bytes, "");
  EXPECT_EQ(empty.conversion_slots, "");
  EXPECT_EQ(empty.slot_wait, "");
  EXPECT_EQ(empty.iiif_root, "");
  EXPECT_EQ(empty.iiif_tile_size, "");
}

TEST(ConfigurationTest, ANameWithoutBackslashIsFoundBesideTheExecutable) {
  // A name of its own, so that test processes running side by side do not meet.
  const std::string name = "configuration-" + std::to_string(getpid()) + ".ini";
  const std::string beside = ExecutableDirectory() + "/" + name;
  {
    testing::TemporaryDirectory dir;
    dir.WriteFile(name, "[Converter]\nTempDir=beside\n");
    ASSERT_EQ(rename(dir.PathOf(name).c_str(), beside.c_str()), 0);
  }
  EXPECT_EQ(ReadConfiguration(name).temp_dir, "beside");
  EXPECT_EQ(unlink(beside.c_str()), 0);
  EXPECT_EQ(ReadConfiguration(name).temp_dir, "");
}

TEST(ConfigurationTest, ANameWithABackslashIsUsedAsItStands) {
  testing::TemporaryDirectory dir;
  dir.WriteFile("x.ini", "[Converter]\nTempDir=here\n");
  const std::filesystem::path previous = std::filesystem::current_path();
  std::filesystem::current_path(dir.path());
  const std::string relative = ReadConfiguration(".\\x.ini").temp_dir;
  std::filesystem::current_path(previous);
  EXPECT_EQ(relative, "here");
  EXPECT_EQ(ReadConfiguration(dir.WindowsPathOf("x.ini")).temp_dir, "here");
}

TEST(ConfigurationTest, OnlyAMissingFileMeansNoConfiguration) {
  testing::TemporaryDirectory dir;
  EXPECT_EQ(ReadConfiguration(dir.WindowsPathOf("none.ini")).temp_dir, "");
  // A file that cannot be read would silently drop its settings, and so
  // would a link whose target has gone.
  EXPECT_THROW(ReadConfiguration(dir.WindowsPathOf("")), Error);
  std::filesystem::create_symlink(dir.PathOf("gone.ini"), dir.PathOf("link.ini"));
  EXPECT_THROW(ReadConfiguration(dir.WindowsPathOf("link.ini")), Error);
}

TEST(ConfigurationTest, TheShippedFilesKeepTheirTempDirFromOtherUsersAndThePackageClosed) {
  const struct {
    const char* file;
    const char* temp_dir;
    const char* allowed_image_directories;
  } cases[] = {
      // The package serves its own image directory alone.
      {"packaging/debian/Varnow.ini", "/var/lib/ostrel/tmp/", "/srv/ostrel/"},
      {"deploy/Varnow.ini", "/var/lib/ostrel/tmp/", ""},
  };
  for (const auto& c : cases) {
    std::string path = std::string(OSTREL_SOURCE_DIR) + "/" + c.file;
    std::replace(path.begin(), path.end(), '/', '\\');
    const Configuration shipped = ReadConfiguration(path);
    EXPECT_EQ(shipped.temp_dir, c.temp_dir) << c.file;
    EXPECT_EQ(shipped.allowed_image_directories, c.allowed_image_directories) << c.file;
  }
}

}  // namespace
}  // namespace ostrel
