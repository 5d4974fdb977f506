// Hostile requests and files, one test per kind: each gets the sound answer,
// and afterwards no temporary GIF, no converter's temporary file and no
// process of the request is left.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <memory>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include <gif_lib.h>
#include <gtest/gtest.h>
#include <tiffio.h>

#include "bench/tiff_corpus.h"
#include "platform/slot_lock.h"
#include "tests/support/expected_page.h"
#include "tests/support/fake_component.h"
#include "tests/support/process_harness.h"
#include "tests/support/process_table.h"
#include "tests/support/tiff_fixtures.h"

namespace ostrel::testing {
namespace {

using std::chrono::milliseconds;
using Environment = std::vector<std::pair<std::string, std::string>>;
using Lines = std::vector<std::string>;

constexpr char kUrlEncoded[] = "application/x-www-form-urlencoded";

std::string ReadBytes(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), {});
}

void WriteBytes(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

// A small 8-bit gray page, one strip, uncompressed unless told otherwise.
void WriteGray(const std::string& path, uint32_t width, uint32_t height, uint16_t compression = 1) {
  const std::vector<uint16_t> values = PatternSamples(width * height, 256, 7);
  WriteTiff(path, {FixturePage{.width = width,
                               .height = height,
                               .compression = compression,
                               .samples = std::vector<uint8_t>(values.begin(), values.end())}});
}

// Points the first directory's "next directory" offset back at itself.
void MakeDirectoryLoop(const std::string& path) {
  std::string bytes = ReadBytes(path);
  const auto u32 = [&](size_t at) {
    return static_cast<uint32_t>(static_cast<uint8_t>(bytes[at])) |
           static_cast<uint32_t>(static_cast<uint8_t>(bytes[at + 1])) << 8 |
           static_cast<uint32_t>(static_cast<uint8_t>(bytes[at + 2])) << 16 |
           static_cast<uint32_t>(static_cast<uint8_t>(bytes[at + 3])) << 24;
  };
  const uint32_t first = u32(4);
  const size_t count = static_cast<uint8_t>(bytes[first]) |
                       static_cast<size_t>(static_cast<uint8_t>(bytes[first + 1])) << 8;
  const size_t next = first + 2 + 12 * count;
  for (int i = 0; i < 4; ++i) {
    bytes[next + i] = static_cast<char>(first >> (8 * i));
  }
  WriteBytes(path, bytes);
}

// Writes the file of the benchmark's hostile set that `path` names.
void WriteHostile(const std::string& path) {
  const std::filesystem::path file(path);
  ASSERT_EQ(bench::WriteCorpus(bench::CorpusSet::kHostile, file.parent_path().string(),
                               {file.filename().string()})
                .size(),
            1u)
      << path;
}

std::string Garbage(size_t size, uint32_t seed) {
  std::string bytes(size, '\0');
  for (char& byte : bytes) {
    seed = seed * 1103515245 + 12345;
    byte = static_cast<char>(seed >> 16);
  }
  return bytes;
}

// Visits the rows of the GIF at `path`, with its colour table and its
// first image's size, decoded one at a time so that a large image is never
// held; returns the table and the size. Raises std::runtime_error when
// giflib cannot read it.
struct GifRows {
  std::vector<std::array<uint8_t, 3>> colors;
  uint32_t width = 0;
  uint32_t height = 0;
};
GifRows VisitGifRows(
    const std::string& path,
    const std::function<void(const GifRows& gif, uint32_t y, std::span<const uint8_t>)>& visit) {
  int error = 0;
  const std::unique_ptr<GifFileType, void (*)(GifFileType*)> gif(
      DGifOpenFileName(path.c_str(), &error), [](GifFileType* opened) {
        int ignored = 0;
        DGifCloseFile(opened, &ignored);
      });
  GifRecordType record = UNDEFINED_RECORD_TYPE;
  while (gif && DGifGetRecordType(gif.get(), &record) == GIF_OK &&
         record == EXTENSION_RECORD_TYPE) {
    int code = 0;
    GifByteType* extension = nullptr;
    for (int ok = DGifGetExtension(gif.get(), &code, &extension);
         ok == GIF_OK && extension != nullptr; ok = DGifGetExtensionNext(gif.get(), &extension)) {
    }
  }
  if (!gif || record != IMAGE_DESC_RECORD_TYPE || DGifGetImageDesc(gif.get()) != GIF_OK ||
      gif->SColorMap == nullptr || gif->Image.Interlace) {
    throw std::runtime_error("cannot read the GIF " + path);
  }
  GifRows rows{.colors = {},
               .width = static_cast<uint32_t>(gif->Image.Width),
               .height = static_cast<uint32_t>(gif->Image.Height)};
  for (int i = 0; i < gif->SColorMap->ColorCount; ++i) {
    const GifColorType& color = gif->SColorMap->Colors[i];
    rows.colors.push_back({color.Red, color.Green, color.Blue});
  }
  std::vector<GifPixelType> line(rows.width);
  for (uint32_t y = 0; y < rows.height; ++y) {
    if (DGifGetLine(gif.get(), line.data(), static_cast<int>(rows.width)) != GIF_OK) {
      throw std::runtime_error("cannot decode row " + std::to_string(y) + " of " + path);
    }
    visit(rows, y, line);
  }
  return rows;
}

class HostileInputTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directory(sandbox_.PathOf("images"));
    WriteGray(Image("scan01"), 64, 48, COMPRESSION_LZW);
    UseRealConverter();
  }
  void TearDown() override { ExpectNothingLeft(); }

  void UseRealConverter() const { sandbox_.InstallExecutable(OSTREL_CONVERTER, kComponentName); }
  std::string Image(const std::string& fn) const {
    return sandbox_.PathOf("images/" + fn + ".tif");
  }
  std::string Images() const { return sandbox_.PathOf("images") + "/"; }
  void Configure(const std::string& extra = "") const {
    sandbox_.WriteFile("Varnow.ini",
                       "[Converter]\nTempDir=" + sandbox_.TempDirectory() + "\n" + extra);
  }

  RunResult Get(const std::string& query, RunOptions options = {}) const {
    options.environment.insert(options.environment.end(), {{"REQUEST_METHOD", "GET"},
                                                           {"QUERY_STRING", query},
                                                           {"SCRIPT_NAME", "/cgi-bin/ostrel"},
                                                           {"TEMP", sandbox_.TempDirectory()}});
    return sandbox_.Run(options);
  }
  RunResult Post(const std::string& content_length, std::vector<InputChunk> body,
                 const std::string& query = "", RunOptions options = {}) const {
    options.environment = {{"REQUEST_METHOD", "POST"},         {"CONTENT_LENGTH", content_length},
                           {"CONTENT_TYPE", kUrlEncoded},      {"QUERY_STRING", query},
                           {"SCRIPT_NAME", "/cgi-bin/ostrel"}, {"TEMP", sandbox_.TempDirectory()}};
    options.input = std::move(body);
    return sandbox_.Run(options);
  }
  static std::string Page(const std::string& message) {
    return ExpectedErrorResponse("/cgi-bin/ostrel", message);
  }
  // The GIF response the converter gives for images/`fn`.tif.
  std::string GifResponse(const std::string& fn) const {
    const RunResult direct = converter_.Run(
        {.arguments = {"ConvertImage",
                       "source=" + Image(fn) + ", dest=" + sandbox_.PathOf("expected.gif")}});
    EXPECT_EQ(direct.exit_status, 0);
    std::string expected = kGifHeader + sandbox_.ReadFile("expected.gif");
    std::filesystem::remove(sandbox_.PathOf("expected.gif"));
    return expected;
  }
  // No temporary GIF or converter's temporary file, and no process started
  // from the sandbox still running.
  void ExpectNothingLeft() const {
    EXPECT_EQ(sandbox_.TempFiles(), Lines{});
    EXPECT_EQ(LiveProcessesWith(sandbox_.path()), std::vector<pid_t>{});
  }

  ComponentSandbox sandbox_;
  ProgramSandbox converter_{OSTREL_CONVERTER};  // for running the converter alone
};

TEST_F(HostileInputTest, MalformedEscapesAreRefusedWithTheErrorPage) {
  for (const char* query : {"FN=%", "FN=%4x", "FN=scan%zz", "FN=%G1", "FN=% 1", "FN=%-1",
                            "FN=scan01&Path=%2/", "F%4G=scan01", "FN=%%41", "FN=%+1"}) {
    const RunResult run = Get(query);
    EXPECT_EQ(run.output, Page("Type mismatch Error Number =  13")) << query;
    EXPECT_EQ(run.log_lines, Lines{}) << query;
    EXPECT_EQ(run.exit_status, 0) << query;
  }
}

TEST_F(HostileInputTest, NulBytesAreRefusedBeforeTheConverterRuns) {
  sandbox_.InstallComponent(component_action::kWriteGif);
  const struct {
    const char* query;
    std::string message;
  } cases[] = {
      {"FN=scan01%00.png&Path=/", "CGI_Main: FN = " + std::string("scan01\0.png", 11) +
                                      ", Invalid argument: FN must not contain a NUL byte"},
      {"FN=%00", "CGI_Main: FN = " + std::string(1, '\0') +
                     ", Invalid argument: FN must not contain a NUL byte"},
      {"FN=scan01&Path=/srv%00/x",
       "CGI_Main: FN = scan01, Invalid argument: Path must not contain a NUL byte"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Get(c.query).output, Page(c.message + " Error Number =  5")) << c.query;
    EXPECT_EQ(sandbox_.Arguments(), "(not called)") << c.query;
  }
}

TEST_F(HostileInputTest, SeparatorsAndWildcardsInFnAreRefusedAndDotsStayInTheirDirectory) {
  sandbox_.InstallComponent(component_action::kWriteGif);
  for (const char* forbidden : {"/", "\\", "*", "?"}) {
    for (const std::string& fn : {std::string("..") + forbidden + "etc",
                                  std::string("scan0") + forbidden, std::string(forbidden)}) {
      std::string encoded;
      for (const char character : fn) {
        encoded.append("%").append(1, "0123456789ABCDEF"[character >> 4]);
        encoded.append(1, "0123456789ABCDEF"[character & 15]);
      }
      const RunResult run = Get("FN=" + encoded + "&Path=/");
      EXPECT_EQ(run.output,
                Page("CGI_Main: FN = " + fn + ", Invalid argument: FN must not contain &quot;" +
                     forbidden + "&quot; Error Number =  5"))
          << fn;
      EXPECT_EQ(sandbox_.Arguments(), "(not called)") << fn;
    }
  }
  // ".." as a whole name is a file named "...tif", and the GIF stays in the
  // temporary directory.
  const RunResult run = Get("FN=..&Path=/srv/");
  EXPECT_EQ(run.output, kGifHeader + sandbox_.image());
  EXPECT_EQ(sandbox_.Arguments(),
            "source=\\srv\\...tif, dest=/proc/self/fd/3/G.._" + std::to_string(run.pid) + ".gif");
  EXPECT_EQ(sandbox_.HandedDirectory(), sandbox_.TempDirectory());
}

TEST_F(HostileInputTest, AllowedImageDirectoriesKeepClientsOutOfEverythingElse) {
  std::filesystem::create_directory(sandbox_.PathOf("images2"));
  std::filesystem::create_directory(sandbox_.PathOf("secret"));
  WriteGray(sandbox_.PathOf("images2/scan01.tif"), 8, 8);
  WriteGray(sandbox_.PathOf("secret/key.tif"), 8, 8);
  std::filesystem::create_symlink(sandbox_.PathOf("secret/key.tif"), Image("link"));
  Configure("AllowedImageDirectories=" + sandbox_.PathOf("images") + "; /nonexistent\n");
  const struct {
    std::string fn;
    std::string path;
  } refused[] = {
      {"scan01", sandbox_.PathOf("images2/")},
      {"key", sandbox_.PathOf("secret/")},
      {"key", Images() + "../secret/"},
      {"link", Images()},
      {"passwd", "/etc/"},
      {"scan01", ""},
  };
  for (const auto& c : refused) {
    std::string source = c.path + c.fn + ".tif";
    std::replace(source.begin(), source.end(), '/', '\\');
    if (c.path.empty()) {
      source = "\\" + source;
    }
    const RunResult run = Get("FN=" + c.fn + "&Path=" + c.path);
    EXPECT_EQ(run.output, Page("CGI_Main: FN = " + c.fn + ", Invalid argument: source " + source +
                               " is not in an allowed image directory Error Number =  5"))
        << c.path << c.fn;
  }
  EXPECT_EQ(Get("FN=scan01&Path=" + Images() + "../images/").output, GifResponse("scan01"));
}

TEST_F(HostileInputTest, ALinkRePointedAfterTheCheckStillCannotReachOutside) {
  std::filesystem::create_directory(sandbox_.PathOf("secret"));
  WriteGray(sandbox_.PathOf("secret/key.tif"), 8, 8);
  std::filesystem::create_symlink(Image("scan01"), Image("link"));
  Configure("AllowedImageDirectories=" + sandbox_.PathOf("images") + "\n");
  // The component passes the program's early check, re-points the link to
  // the secret file, then runs the real converter, as a local user racing
  // the request could.
  sandbox_.InstallExecutable(OSTREL_CONVERTER, "real-converter");
  sandbox_.WriteFile(kComponentName,
                     "#!/bin/sh\nln -sfn " + sandbox_.PathOf("secret/key.tif") + " " +
                         Image("link") + "\nexec \"$(dirname \"$0\")/real-converter\" \"$@\"\n",
                     0755);
  const RunResult run = Get("FN=link&Path=" + Images());
  EXPECT_EQ(run.output, Page("CGI_Main: FN = link, source " + Images() +
                             "link.tif is not in an allowed image directory Error Number =  120"));
  // Pointed back inside, the link is served.
  std::filesystem::remove(Image("link"));
  std::filesystem::create_symlink(Image("scan01"), Image("link"));
  UseRealConverter();
  EXPECT_EQ(Get("FN=link&Path=" + Images()).output, GifResponse("scan01"));
}

TEST_F(HostileInputTest, TheConverterGetsAMinimalEnvironmentAndArgumentsItCanHold) {
  sandbox_.InstallComponent("env | sort > \"$here/environment\"; " +
                            std::string(component_action::kWriteGif));
  const std::string allowed = "AllowedImageDirectories=" + sandbox_.PathOf("images") + "\n";
  const RunOptions client{.environment = {{"HTTP_COOKIE", "session=secret"},
                                          {"HTTP_USER_AGENT", "() { :; }; echo pwned"},
                                          {"LD_PRELOAD", "/tmp/x.so"}}};
  Configure();
  (void)Get("FN=scan01&Path=" + Images(), client);
  const std::string minimal =
      "OSTREL_MAX_IMAGE_BYTES=268435456\nPATH=/usr/local/bin:/usr/bin:/bin\nPWD=" +
      sandbox_.path() + "\n";
  EXPECT_EQ(sandbox_.ReadFile("environment"), minimal);
  Configure(allowed);
  (void)Get("FN=scan01&Path=" + Images(), client);
  EXPECT_EQ(sandbox_.ReadFile("environment"),
            "OSTREL_ALLOWED_IMAGE_DIRECTORIES=" + sandbox_.PathOf("images") + "\n" + minimal);
  // The configured bound on the image's bytes replaces the default.
  Configure("MaxImageBytes=5000\n");
  (void)Get("FN=scan01&Path=" + Images(), client);
  EXPECT_EQ(sandbox_.ReadFile("environment"),
            "OSTREL_MAX_IMAGE_BYTES=5000\nPATH=/usr/local/bin:/usr/bin:/bin\nPWD=" +
                sandbox_.path() + "\n");
  // 140 KB is more than one argument may hold: refused as too long, not
  // taken for a shortage of memory.
  Configure();
  std::filesystem::remove(sandbox_.PathOf("environment"));
  const std::string fn(140000, 'a');
  const std::string body = "FN=" + fn + "&Path=/srv/";
  const RunResult run = Post(std::to_string(body.size()), {{milliseconds(0), body}});
  const std::string page =
      Page("CGI_Main: FN = " + fn + ", Invalid argument: run " + sandbox_.PathOf(kComponentName) +
           ": argument list too long (" + "N bytes) Error Number =  5");
  const size_t count = page.find("N bytes");
  ASSERT_GT(run.output.size(), count);
  EXPECT_EQ(run.output.substr(0, count), page.substr(0, count));
  EXPECT_TRUE(run.output.ends_with(page.substr(count + 1))) << run.output.substr(count);
  EXPECT_FALSE(sandbox_.Exists("environment"));
}

TEST_F(HostileInputTest, PastTheConversionSlotsARequestIsRefusedWithinTheWait) {
  const std::string busy = Page(
      "CGI_Main: FN = scan01, busy: no conversion slot of 2 came free within 1 s; try again "
      "later Error Number =  10503");
  const struct {
    int32_t held;  // slots other requests hold
    bool refused;
  } cases[] = {{0, false}, {1, false}, {2, true}};
  Configure("ConversionSlots=2\nSlotWait=1\n");
  for (const auto& c : cases) {
    std::vector<SlotLock> held;
    for (int32_t i = 0; i < c.held; ++i) {
      std::optional<SlotLock> slot = SlotLock::Take(sandbox_.TempDirectory(), 2, 0);
      ASSERT_TRUE(slot.has_value());
      held.push_back(std::move(*slot));
    }
    for (const std::string& query :
         {"FN=scan01&Path=" + Images(), "FN=scan01&Path=" + Images() + "&Info=1"}) {
      const RunResult run = Get(query);
      if (c.refused) {
        EXPECT_EQ(run.output, busy) << query;
      } else {
        EXPECT_EQ(run.output.substr(0, 17), "HTTP/1.0 200 OK\r\n") << query;
      }
    }
  }
  // A plain request keeps its bytes when a slot is free.
  EXPECT_EQ(Get("FN=scan01&Path=" + Images()).output, GifResponse("scan01"));
}

TEST_F(HostileInputTest, AnImageOfMoreBytesThanMaxImageBytesIsRefusedAsTooLarge) {
  const std::string gif = GifResponse("scan01");
  const size_t size = gif.size() - kGifHeader.size();
  Configure("MaxImageBytes=" + std::to_string(size) + "\n");
  EXPECT_EQ(Get("FN=scan01&Path=" + Images()).output, gif);
  Configure("MaxImageBytes=" + std::to_string(size - 1) + "\n");
  EXPECT_EQ(Get("FN=scan01&Path=" + Images()).output,
            Page("CGI_Main: FN = scan01, image too large: the image of " + Image("scan01") +
                 " takes more than " + std::to_string(size - 1) +
                 " bytes, the limit Error Number =  125"));
  // A description is no image.
  Configure("MaxImageBytes=1\n");
  EXPECT_EQ(Get("FN=scan01&Path=" + Images() + "&Info=1").output.substr(0, 17),
            "HTTP/1.0 200 OK\r\n");
  Configure("MaxImageBytes=1073741825\n");
  EXPECT_EQ(Get("FN=scan01&Path=" + Images()).output,
            Page("CGI_Main: FN = scan01, Invalid argument: MaxImageBytes must be a whole number "
                 "from 1 to 1073741824 Error Number =  5"));
}

TEST_F(HostileInputTest, ItemInjectionIntoTheConverterParametersIsRefused) {
  sandbox_.InstallComponent(component_action::kWriteGif);
  const struct {
    const char* query;
    const char* fn;
    const char* parameter;
  } cases[] = {
      {"FN=scan01,+dest%3D/etc/passwd&Path=/", "scan01, dest=/etc/passwd", "FN"},
      {"FN=x%2C%20maxpixels%3D1", "x, maxpixels=1", "FN"},
      {"FN=scan01&Path=/srv/,+dest=/etc/x", "scan01", "Path"},
      {"FN=scan01&Path=/srv%2C%20page=2/", "scan01", "Path"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Get(c.query).output,
              Page(std::string("CGI_Main: FN = ") + c.fn + ", Invalid argument: " + c.parameter +
                   " must not contain &quot;, &quot; Error Number =  5"))
        << c.query;
    EXPECT_EQ(sandbox_.Arguments(), "(not called)") << c.query;
  }
}

TEST_F(HostileInputTest, MarkupFromTheRequestShowsAsText) {
  Configure();
  const RunResult run = Get("FN=%3Cimg+src=x+onerror=%22alert(1)%22%3E%26amp;&Path=" + Images());
  // The converter names the missing file; the page shows both as text.
  const std::string escaped_fn = "&lt;img src=x onerror=&quot;alert(1)&quot;&gt;&amp;amp;";
  EXPECT_EQ(run.output.find("<img"), std::string::npos);
  EXPECT_NE(
      run.output.find("<PRE>CGI_Main: FN = " + escaped_fn + ", open " + Images() + escaped_fn +
                      ".tif: No such file or directory Error Number =  120</PRE>"),
      std::string::npos)
      << run.output;
}

TEST_F(HostileInputTest, BodiesAreReadOnlyUpToTheLimitAndHeldOnce) {
#ifdef OSTREL_SANITIZE
  // AddressSanitizer keeps freed blocks in quarantine and pads every block.
  constexpr long kMaxRssKib = 256 * 1024;
#else
  constexpr long kMaxRssKib = 64 * 1024;
#endif
  const std::string gif = GifResponse("scan01");
  const auto over = [](const std::string& length, const std::string& limit) {
    return Page("Invalid argument: a request body of " + length + " bytes is over the limit of " +
                limit + " bytes Error Number =  5");
  };
  const std::string equals(16 << 20, '=');
  const struct {
    std::string content_length;
    std::string_view body;
    const char* configuration;
    std::string output;
    bool whole;  // else the output starts with it
  } cases[] = {
      {"-1", "x=1", "", Page("Invalid argument: CONTENT_LENGTH is negative Error Number =  5"),
       true},
      {"2147483648", "x=1", "", Page("Overflow Error Number =  6"), true},
      {"99999999999", "x=1", "", Page("Overflow Error Number =  6"), true},
      {"-2147483649", "x=1", "", Page("Overflow Error Number =  6"), true},
      {"abc", "x=1", "", gif, true},  // no body is read; the query string names the image
      {"12abc", "x=1", "", gif, true},
      {"1048576", "x=1", "", gif, true},  // at the limit: what arrives is taken
      // Over it: refused before a byte is read, however little arrives.
      {"1048577", "x=1", "", over("1048577", "1048576"), true},
      {"2147483647", "x=1", "", over("2147483647", "1048576"), true},
      {"2097152", "x=1", "MaxRequestBody=2097151\n", over("2097152", "2097151"), true},
      {"12", "x=1", "MaxRequestBody=abc\n", Page("Type mismatch Error Number =  13"), true},
      {"2097152", "x=1", "MaxRequestBody=2097152\n", gif, true},
      // 16 Mi slots announced by "=", one value of 16 MiB: the table holds
      // what the lookup can reach, which then reports the overflow.
      {std::to_string(equals.size()), equals, "MaxRequestBody=67108864\n",
       Page("GetCgiValue: cgiName = FN, Overflow Error Number =  6"), false},
  };
  for (const auto& c : cases) {
    Configure(c.configuration);
    const RunResult run = Post(c.content_length, {{milliseconds(0), std::string(c.body)}},
                               "FN=scan01&Path=" + Images());
    EXPECT_EQ(c.whole ? run.output : run.output.substr(0, c.output.size()), c.output)
        << c.content_length << " " << c.configuration;
    // 16 MiB of "=" once cost 2 GB.
    EXPECT_LT(run.max_rss_kib, kMaxRssKib) << c.content_length;
  }
}

TEST_F(HostileInputTest, ABodyThatStopsArrivingIsAnsweredAtItsTimeLimit) {
  const RunResult run = Post("100", {{milliseconds(0), "FN=scan01"}, {milliseconds(60000), "&"}},
                             "", {.timeout = milliseconds(45000)});
  EXPECT_EQ(run.output,
            Page("read standard input: 100 bytes did not arrive within 30 s Error Number =  1110"));
  EXPECT_FALSE(run.timed_out);
  EXPECT_GE(run.elapsed, milliseconds(30000));
}

TEST_F(HostileInputTest, AHundredThousandParametersAreAnswered) {
  Configure("MaxRequestBody=4194304\n");
  std::string body;
  for (int i = 0; i < 100000; ++i) {
    const std::string number = std::to_string(i);
    body.append("p").append(number).append("=").append(number).append("&");
  }
  body += "FN=scan01&Path=" + Images();
  const RunResult run = Post(std::to_string(body.size()), {{milliseconds(0), body}});
  // The lookup's table holds at most 32,767 pairs: FN and Path are reported
  // as overflows, and the empty name they leave is refused by the converter.
  const std::string overflow = "GetCgiValue: cgiName = FN, Overflow Error Number =  6";
  EXPECT_EQ(run.output.substr(0, Page(overflow).size()), Page(overflow));
  EXPECT_FALSE(run.timed_out);  // how fast is for bench/, not for a test on a busy machine
  EXPECT_EQ(run.exit_status, 0);
}

TEST_F(HostileInputTest, LineBreaksInParametersNeverSplitALogLine) {
  Configure();
  WriteGray(Image("a\r\nb"), 8, 8);
  const RunResult converted = Get("FN=a%0D%0Ab&Path=" + Images());
  EXPECT_EQ(converted.output.substr(0, kGifHeader.size()), kGifHeader);
  EXPECT_EQ(converted.log_lines, Lines{"ostrel: message: 0"});
  const RunResult failed = Get("FN=x%0D%0Aostrel:+error:+forged%0A&Path=" + Images());
  EXPECT_NE(failed.output.find("open " + Images() +
                               "x\\r\\nostrel: error: forged\\n.tif: No such file or directory"),
            std::string::npos)
      << failed.output;
  EXPECT_EQ(failed.log_lines, Lines{});
}

TEST_F(HostileInputTest, AClosedStandardOutputEndsTheRequestCleanly) {
  Configure();
  const RunResult run = Get("FN=scan01&Path=" + Images(), {.output = OutputKind::kClosedPipe});
  EXPECT_EQ(run.signal, 0);
  EXPECT_EQ(run.exit_status, 0);
  EXPECT_EQ(run.log_lines, Lines{"ostrel: message: 0"});
}

TEST_F(HostileInputTest, AShortPostBodyIsTakenAsItIs) {
  Configure();
  const std::string body = "FN=scan01&Path=" + Images();
  const RunResult run =
      Post("100000", {{milliseconds(0), body.substr(0, 10)}, {milliseconds(100), body.substr(10)}});
  EXPECT_EQ(run.output, GifResponse("scan01"));
}

TEST_F(HostileInputTest, HostileTiffsEndInTheConvertersClearError) {
  using Make = void (*)(const std::string& path);
  const struct {
    const char* fn;
    Make make;
    int32_t number;
    const char* extra;
  } cases[] = {
      {"deflate-bomb",
       [](const std::string& path) {
         // 20000 x 20000 white pixels squeezed into a few kilobytes.
         WriteTiff(path, {FixturePage{.width = 20000,
                                      .height = 20000,
                                      .bits_per_sample = 1,
                                      .compression = COMPRESSION_ADOBE_DEFLATE,
                                      .rows_per_strip = 2000,
                                      .samples = std::vector<uint8_t>(2500 * 20000, 0)}});
       },
       25, ""},
      {"huge",
       [](const std::string& path) {
         WriteGray(path, 16, 16);
         SetTagValue(path, TIFFTAG_IMAGEWIDTH, 100000);
         SetTagValue(path, TIFFTAG_IMAGELENGTH, 100000);
       },
       25, ""},
      {"wide",
       [](const std::string& path) {
         WriteGray(path, 16, 16);
         SetTagValue(path, TIFFTAG_IMAGEWIDTH, 70000);
         SetTagValue(path, TIFFTAG_IMAGELENGTH, 1);
       },
       25, ""},
      {"directory-loop",
       [](const std::string& path) {
         WriteGray(path, 16, 16);
         MakeDirectoryLoop(path);
       },
       24, "ExtraParamters=page=2\n"},
      {"truncated-strip",
       [](const std::string& path) {
         // Compressed, so that libtiff cannot guess the strip's true size.
         WriteGray(path, 64, 64, COMPRESSION_LZW);
         SetTagValue(path, TIFFTAG_STRIPBYTECOUNTS, 100);
       },
       22, ""},
      {"palette-without-colormap",
       [](const std::string& path) {
         // At 8 bits libtiff takes such a page for a gray one; at 4 it cannot.
         WriteTiff(path, {FixturePage{.width = 16,
                                      .height = 16,
                                      .bits_per_sample = 4,
                                      .samples = std::vector<uint8_t>(8 * 16, 0x5a)}});
         SetTagValue(path, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_PALETTE);
       },
       22, ""},
      {"zero-width",
       [](const std::string& path) {
         WriteGray(path, 16, 16);
         SetTagValue(path, TIFFTAG_IMAGEWIDTH, 0);
       },
       22, ""},
      {"offset-past-the-end",
       [](const std::string& path) {
         WriteGray(path, 16, 16);
         SetTagValue(path, TIFFTAG_STRIPOFFSETS, 0x7ffffff0);
       },
       22, ""},
      {"unknown-compression",
       [](const std::string& path) {
         WriteGray(path, 16, 16);
         SetTagValue(path, TIFFTAG_COMPRESSION, 60000);
       },
       23, ""},
      {"garbage-after-header",
       [](const std::string& path) {
         WriteBytes(path, std::string("II*\0", 4) + Garbage(4000, 1));
       },
       22, ""},
      {"garbage", [](const std::string& path) { WriteBytes(path, Garbage(4000, 2)); }, 21, ""},
      // 16,384 strips of 16384 x 16384 RGB that all start at offset 0: a
      // 164 KB file that decoded its first 49,152 bytes 16,384 times (8 CPU-s,
      // a 369 MB GIF).
      {"strips-at-zero-rgb", WriteHostile, 22, ""},
      // Honest strips that decode 1000 times what they store: 805 MB of RGB
      // from 191 KB (8 CPU-s), 268 MB of palette noise from 309 KB (3 CPU-s,
      // a 369 MB GIF).
      {"ramp-rgb-zstd", WriteHostile, 25, ""},
      {"noise-palette-lzma", WriteHostile, 25, ""},
  };
  for (const auto& c : cases) {
    c.make(Image(c.fn));
    Configure(c.extra);
    const RunResult run = Get(std::string("FN=") + c.fn + "&Path=" + Images());
    // The converter's exit status N is reported as error number 100 + N.
    const std::string tail = "Error Number =  " + std::to_string(100 + c.number) + "</PRE>";
    EXPECT_EQ(run.output.rfind(kExpectedHtmlHeader + "<H1>Internal Error</H1>", 0), 0u) << c.fn;
    EXPECT_NE(run.output.find("<PRE>CGI_Main: FN = " + std::string(c.fn) + ", "), std::string::npos)
        << c.fn;
    // The converter's own error, so it ended long before its 30 s limit.
    EXPECT_NE(run.output.find(tail), std::string::npos) << c.fn << ": " << run.output;
    EXPECT_EQ(sandbox_.TempFiles(), Lines{}) << c.fn;
  }
}

TEST_F(HostileInputTest, LargeTurnsAndSizesStayWithinTheMemoryBound) {
#ifdef OSTREL_SANITIZE
  // AddressSanitizer keeps freed blocks in quarantine and pads every block.
  constexpr long kMaxRssKib = 512 * 1024;
#else
  constexpr long kMaxRssKib = 64 * 1024;
#endif
  // 65535 x 2048 in some 25 KB; a turn held it whole, a byte a pixel.
  constexpr uint32_t kFaxHeight = 2048;
  WriteTiff(Image("fax-lines"), {FaxLinesPage(kFaxHeight)});
  // Stored as it is, so that the size asked for alone decides the cost: a
  // frame of 4000 x 4000 was held for its colour survey, 64 MB of RGBA.
  FixturePage smooth = SmoothColorPage(4096, 4096);
  smooth.compression = COMPRESSION_NONE;
  smooth.predictor = PREDICTOR_NONE;
  WriteTiff(Image("smooth"), {smooth});
  // Which stored pixel, row and column, shows at display (x, y).
  using Placement = std::pair<uint32_t, uint32_t> (*)(uint32_t x, uint32_t y);
  const struct {
    const char* fn;
    const char* items;
    uint32_t width;
    uint32_t height;
    Placement stored;
  } cases[] = {
      {"fax-lines", "rotate=90", kFaxHeight, 65535,
       [](uint32_t x, uint32_t y) {
         return std::pair{kFaxHeight - 1 - x, y};
       }},
      {"fax-lines", "rotate=270", kFaxHeight, 65535,
       [](uint32_t x, uint32_t y) {
         return std::pair{x, 65534 - y};
       }},
      {"fax-lines", "rotate=180", 65535, kFaxHeight,
       [](uint32_t x, uint32_t y) {
         return std::pair{kFaxHeight - 1 - y, 65534 - x};
       }},
      {"smooth", "width=4000", 4000, 4000,
       [](uint32_t x, uint32_t y) {
         return std::pair{y, x};
       }},
      // The image service's size, the same averaging of a region.
      {"smooth", "region=0,0,4096,4096, size=4000,4000", 4000, 4000,
       [](uint32_t x, uint32_t y) {
         return std::pair{y, x};
       }},
      {"smooth", "width=4000, rotate=90", 4000, 4000,
       [](uint32_t x, uint32_t y) {
         return std::pair{3999 - x, y};
       }},
  };
  const std::string dest = sandbox_.PathOf("turned.gif");
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.fn) + ", " + c.items);
    const RunResult run = converter_.Run(
        {.arguments = {"ConvertImage", "source=" + Image(c.fn) + ", dest=" + dest + ", " + c.items},
         .timeout = milliseconds(120000)});
    ASSERT_EQ(run.exit_status, 0);
    EXPECT_LT(run.max_rss_kib, kMaxRssKib);
    // The fax's pixels where they belong; the gradients, averaged to 4000
    // pixels and reduced to a palette, close to their means. Every 7th row
    // is enough to show either.
    const bool fax = std::string(c.fn) == "fax-lines";
    uint64_t misplaced = 0;
    double squares = 0;
    uint64_t checked = 0;
    const auto check = [&](const GifRows& shown, uint32_t y, std::span<const uint8_t> indices) {
      if (y % 7 != 0) {
        return;
      }
      checked += indices.size();
      for (uint32_t x = 0; x < indices.size(); ++x) {
        const auto [row, column] = c.stored(x, y);
        const std::array<uint8_t, 3>& color = shown.colors.at(indices[x]);
        if (fax) {
          const bool black = (color[0] | color[1] | color[2]) == 0;
          misplaced += black != FaxLinesBlack(column, row) ? 1 : 0;
          continue;
        }
        // Source pixel s shows s / 16 in red, s / 32 in blue; the mean
        // of an output pixel's is about its centre's less one half.
        const double across = (column + 0.5) * 4096 / 4000;
        const double down = (row + 0.5) * 4096 / 4000;
        const double want[3] = {across / 16 - 0.5, down / 16 - 0.5, across / 32 + down / 32 - 1};
        for (int channel = 0; channel < 3; ++channel) {
          squares += (color[channel] - want[channel]) * (color[channel] - want[channel]);
        }
      }
    };
    const GifRows gif = VisitGifRows(dest, check);
    EXPECT_EQ(gif.width, c.width);
    EXPECT_EQ(gif.height, c.height);
    if (fax) {
      EXPECT_EQ(misplaced, 0u);
    } else {
      const double psnr = 10 * std::log10(255.0 * 255 * 3 * static_cast<double>(checked) / squares);
      EXPECT_GT(psnr, 30);
    }
    std::filesystem::remove(dest);
  }
}

TEST_F(HostileInputTest, SmallFilesWithinTheCostBoundStillConvert) {
  Configure();
  // A blank fax page of 3000:1, and 64 MiB of RGB from 1 MB, the most a
  // file of that size may decode to.
  for (const std::string fn : {"blank-fax-g4", "bound-rgb-lzma"}) {
    WriteHostile(Image(fn));
    EXPECT_EQ(Get("FN=" + fn + "&Path=" + Images()).output, GifResponse(fn)) << fn;
  }
}

TEST_F(HostileInputTest, AConverterThatHangsIsStoppedAtItsTimeLimit) {
  sandbox_.InstallComponent("sleep 600 & sleep 600");
  const RunResult run = Get("FN=scan01&Path=/srv/", {.timeout = milliseconds(45000)});
  EXPECT_EQ(run.output,
            Page("CGI_Main: FN = scan01, converter " + sandbox_.PathOf(kComponentName) +
                 " ran past its time limit of 30 s and was stopped Error Number =  1110"));
  // At the limit, not before it; the converter alone would sleep for 600 s.
  EXPECT_GE(run.elapsed, milliseconds(30000));
  EXPECT_FALSE(run.timed_out);
}

TEST_F(HostileInputTest, SigtermWhileTheConverterRunsLeavesNothingBehind) {
  // The component has written the GIF and a temporary file of its own when
  // the client goes away.
  sandbox_.InstallComponent(
      "cp \"$here/image.gif\" \"$dest\"; touch \"$(dirname \"$dest\")/.$(basename "
      "\"$dest\").abcd1234\"; sleep 600 & sleep 600");
  const RunResult run = Get("FN=scan01&Path=/srv/", {.terminate_after = milliseconds(500)});
  EXPECT_EQ(run.signal, SIGTERM);
  EXPECT_EQ(run.output, "");
  // The handler removed the GIF; the component's own temporary file is the
  // component's business, which this fake does not mind: the real one does.
  std::filesystem::remove(sandbox_.TempDirectory() + "/.Gscan01_" + std::to_string(run.pid) +
                          ".gif.abcd1234");
}

TEST_F(HostileInputTest, AFailedConvertersTemporaryFilesAreRemoved) {
  // As a converter killed at its limits leaves them; ExpectNothingLeft checks.
  sandbox_.InstallComponent(
      "touch \"$(dirname \"$dest\")/.$(basename \"$dest\").abcd1234\" "
      "\"$(dirname \"$dest\")/.$(basename \"$dest\").wxyz6789\"; exit 3");
  const RunResult run = Get("FN=scan01&Path=/srv/");
  EXPECT_EQ(run.output, Page("CGI_Main: FN = scan01, converter failed with exit status 3 Error "
                             "Number =  103"));
}

TEST_F(HostileInputTest, SigtermRemovesTheConvertersTemporaryFile) {
  std::filesystem::create_directory(sandbox_.PathOf("out"));
  WriteTiff(Image("photo"), {FixturePage{.width = 3000,
                                         .height = 3000,
                                         .samples_per_pixel = 3,
                                         .photometric = PHOTOMETRIC_RGB,
                                         .compression = COMPRESSION_ADOBE_DEFLATE,
                                         .rows_per_strip = 64,
                                         .samples = PhotoSamples(3000, 3000)}});
  WriteGray(Image("gray"), 3000, 3000, COMPRESSION_LZW);
  const struct {
    const char* fn;
    uintmax_t least_written;
  } cases[] = {
      // As soon as its temporary file exists: it is decoding then.
      {"photo", 0},
      // Once GIF bytes have been written: the worker thread is encoding
      // then, while the main thread decodes.
      {"gray", 1},
  };
  const std::string converter = sandbox_.PathOf(kComponentName);
  for (const auto& c : cases) {
    const std::string parameters =
        "source=" + Image(c.fn) + ", dest=" + sandbox_.PathOf("out/" + std::string(c.fn) + ".gif");
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      execl(converter.c_str(), converter.c_str(), "ConvertImage", parameters.c_str(), nullptr);
      _exit(127);
    }
    const std::string temporary_prefix = "." + std::string(c.fn) + ".gif.";
    bool started = false;
    for (int attempt = 0; attempt < 20000 && !started; ++attempt) {
      for (const auto& entry : std::filesystem::directory_iterator(sandbox_.PathOf("out"))) {
        std::error_code error;
        const uintmax_t size = std::filesystem::file_size(entry.path(), error);
        started = started || (entry.path().filename().string().starts_with(temporary_prefix) &&
                              !error && size >= c.least_written);
      }
      if (started) {
        kill(child, SIGSTOP);
      } else {
        std::this_thread::sleep_for(std::chrono::microseconds(100));
      }
    }
    ASSERT_TRUE(started) << c.fn;
    kill(child, SIGTERM);
    kill(child, SIGCONT);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << c.fn << ": " << status;
    EXPECT_TRUE(std::filesystem::is_empty(sandbox_.PathOf("out"))) << c.fn;
  }
}

TEST_F(HostileInputTest, ASymlinkPlantedAtTheGifsNameIsReplacedNeverFollowed) {
  sandbox_.WriteFile("victim", "precious");
  const std::string dest = sandbox_.TempDirectory() + "/planted.gif";
  for (const std::string& source : {Image("scan01"), Image("missing")}) {
    std::filesystem::create_symlink(sandbox_.PathOf("victim"), dest);
    const RunResult run =
        converter_.Run({.arguments = {"ConvertImage", "source=" + source + ", dest=" + dest}});
    EXPECT_EQ(sandbox_.ReadFile("victim"), "precious") << source;
    if (run.exit_status == 0) {
      EXPECT_TRUE(std::filesystem::is_regular_file(std::filesystem::symlink_status(dest)));
      EXPECT_EQ(ReadBytes(dest).substr(0, 6), "GIF89a");
      std::filesystem::remove(dest);
    } else {
      EXPECT_EQ(run.exit_status, 20) << source;
    }
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(dest))) << source;
  }
}

TEST_F(HostileInputTest, AVarnowIniThatCannotBeReadEndsTheRequest) {
  sandbox_.InstallComponent(component_action::kWriteGif);
  const std::string ini = sandbox_.PathOf("Varnow.ini");
  const struct {
    const char* what;
    void (*make)(const std::string& path);
    std::string failure;
  } cases[] = {
      {"directory", [](const std::string& path) { std::filesystem::create_directory(path); },
       "open " + ini + ": Is a directory Error Number =  1021"},
      {"fifo", [](const std::string& path) { ASSERT_EQ(mkfifo(path.c_str(), 0644), 0); },
       "open " + ini + ": not a regular file Error Number =  1022"},
      // As the package's link to its conffile is once the conffile is gone.
      {"dangling link",
       [](const std::string& path) { std::filesystem::create_symlink(path + ".gone", path); },
       "open " + ini + ": a symbolic link whose target is missing Error Number =  1002"},
  };
  for (const auto& c : cases) {
    c.make(ini);
    EXPECT_EQ(Get("FN=scan01&Path=/srv/").output, Page("CGI_Main: FN = scan01, " + c.failure))
        << c.what;
    // A POST reads it for the body's limit before anything else.
    EXPECT_EQ(Post("3", {{milliseconds(0), "x=1"}}, "FN=scan01&Path=/srv/").output, Page(c.failure))
        << c.what;
    EXPECT_EQ(sandbox_.Arguments(), "(not called)") << c.what;
    std::filesystem::remove(ini);
  }
}

TEST_F(HostileInputTest, ALongAllowListIsReadWhole) {
  std::filesystem::create_directory(sandbox_.PathOf("images/inner"));
  WriteGray(Image("inner/scan02"), 8, 8);
  // Cut after 2045 characters, the list would end in the images directory
  // itself instead of its subdirectory.
  const std::string images = sandbox_.PathOf("images");
  const std::string padding = "/" + std::string(2045 - images.size() - 2, 'x') + ";";
  Configure("AllowedImageDirectories=" + padding + images + "/inner\n");
  std::string source = Images() + "scan01.tif";
  std::replace(source.begin(), source.end(), '/', '\\');
  EXPECT_EQ(Get("FN=scan01&Path=" + Images()).output,
            Page("CGI_Main: FN = scan01, Invalid argument: source " + source +
                 " is not in an allowed image directory Error Number =  5"));
  EXPECT_EQ(Get("FN=scan02&Path=" + Images() + "inner/").output.substr(0, kGifHeader.size() + 6),
            kGifHeader + "GIF89a");
}

TEST_F(HostileInputTest, TheGifIsGoneOnceStreamingBeganWhateverEndsTheProgram) {
  // More than a pipe holds, so that the program waits in a write.
  sandbox_.WriteFile("image.gif", Garbage(1 << 20, 3));
  sandbox_.InstallComponent(component_action::kWriteGif);
  for (const int signal : {SIGKILL, SIGQUIT, SIGUSR1, SIGALRM}) {
    const RunResult run = Get(
        "FN=scan01&Path=/srv/",
        {.terminate_after = milliseconds(2000), .terminate_signal = signal, .stall_output = true});
    EXPECT_EQ(run.signal, signal);
    EXPECT_EQ(run.output.substr(0, kGifHeader.size()), kGifHeader) << signal;
    EXPECT_EQ(sandbox_.TempFiles(), Lines{}) << signal;
  }
}

TEST_F(HostileInputTest, ASharedTempDirIsUsedOnlyThroughADirectoryOfThisUsersOwn) {
  sandbox_.InstallComponent(component_action::kWriteGif);
  Configure();
  const std::string temp = sandbox_.TempDirectory();
  const std::string own_name = "ostrel-" + std::to_string(geteuid());
  const std::string own = temp + "/" + own_name;
  const std::string elsewhere = sandbox_.PathOf("elsewhere");
  std::filesystem::create_directory(elsewhere);
  std::filesystem::permissions(elsewhere, std::filesystem::perms(0700));
  const std::string fresh = "(a fresh directory)";
  const struct {
    mode_t mode;
    const char* plant;   // what another user left at the private subdirectory's name
    std::string handed;  // the directory the converter writes in
  } cases[] = {
      // Only this user can write there: TempDir itself.
      {0755, "", temp},
      {01777, "", own},
      {01770, "", own},
      // Someone else's name: a directory of this request's own instead.
      {01777, "0755", fresh},
      {01777, "nobody", fresh},
      {01777, "link", fresh},
      {01777, "file", fresh},
      // Without the sticky bit anyone may rename what lies there.
      {0777, "", ""},
  };
  for (const auto& c : cases) {
    const std::string plant = c.plant;
    if (plant == "0755" || plant == "nobody") {
      ASSERT_EQ(mkdir(own.c_str(), 0700), 0);
      ASSERT_EQ(chmod(own.c_str(), plant == "0755" ? 0755 : 0700), 0);
    } else if (plant == "link") {
      std::filesystem::create_directory_symlink(elsewhere, own);
    } else if (plant == "file") {
      WriteBytes(own, "planted");
    }
    if (plant == "nobody" || plant == "file") {
      ASSERT_EQ(lchown(own.c_str(), 65534, 65534), 0);
    }
    ASSERT_EQ(chmod(temp.c_str(), c.mode), 0);
    const RunResult run = Get("FN=scan01&Path=/srv/");
    ASSERT_EQ(chmod(temp.c_str(), 0755), 0);
    const std::string context = std::to_string(c.mode) + " " + plant;
    if (c.handed.empty()) {
      EXPECT_EQ(run.output,
                Page("CGI_Main: FN = scan01, Invalid argument: temporary directory " + temp +
                     " can be changed by other users (owner 0, mode 0777) and has no private "
                     "subdirectory Error Number =  5"));
      EXPECT_EQ(sandbox_.Arguments(), "(not called)");
    } else {
      // Not EXPECT_EQ: a failure would print the whole image.
      EXPECT_TRUE(run.output == kGifHeader + sandbox_.image())
          << context << ": " << run.output.substr(0, 400);
      EXPECT_EQ(sandbox_.Arguments(), "source=\\srv\\scan01.tif, dest=/proc/self/fd/3/Gscan01_" +
                                          std::to_string(run.pid) + ".gif")
          << context;
      const std::string handed = sandbox_.HandedDirectory();
      if (c.handed == fresh) {
        EXPECT_EQ(handed.rfind(own + ".", 0), 0u) << context << ": " << handed;
        EXPECT_EQ(handed.size(), own.size() + 9) << context << ": " << handed;
        EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(handed))) << context;
        ASSERT_EQ(run.log_lines.size(), 2u) << context;
        EXPECT_EQ(
            run.log_lines[0].rfind(
                "ostrel: message: temporary directory " + own + " is not a private directory (", 0),
            0u)
            << run.log_lines[0];
      } else {
        EXPECT_EQ(handed, c.handed) << context;
        EXPECT_EQ(run.log_lines, Lines{"ostrel: message: 0"}) << context;
      }
    }
    // What was planted stays as it was; the private subdirectory made for
    // the request is left empty and private.
    // A private TempDir keeps the conversion slots' lock files itself.
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(temp)) {
      const std::string name = entry.path().filename().string();
      if (c.handed == temp && name.starts_with(kSlotFilePrefix)) {
        std::filesystem::remove(entry.path());
      } else {
        names.push_back(name);
      }
    }
    EXPECT_EQ(names, plant.empty() && c.handed != own ? Lines{} : Lines{own_name}) << context;
    struct stat status {};
    if (lstat(own.c_str(), &status) == 0) {
      if (plant.empty()) {
        EXPECT_TRUE(S_ISDIR(status.st_mode));
        EXPECT_EQ(status.st_mode & 07777, 0700u);
        // Nothing but the conversion slots' lock files, which stay for good.
        for (const auto& entry : std::filesystem::directory_iterator(own)) {
          EXPECT_TRUE(entry.path().filename().string().starts_with(kSlotFilePrefix))
              << entry.path();
        }
      } else if (plant == "0755") {
        EXPECT_EQ(status.st_mode & 07777, 0755u);
      } else if (plant == "file") {
        EXPECT_EQ(ReadBytes(own), "planted");
      }
    }
    EXPECT_TRUE(std::filesystem::is_empty(elsewhere));
    std::filesystem::remove_all(own);
    std::filesystem::remove(sandbox_.PathOf("arguments"));
    std::filesystem::remove(sandbox_.PathOf("directory"));
  }
}

TEST_F(HostileInputTest, ATempDirSwappedForALinkNeverServesAnotherUsersFile) {
  // Another user who may write TempDir's parent has a directory of their own
  // with a GIF at the request's name, which they know: this fake puts it
  // there first, then writes the request's GIF.
  const std::string temp = sandbox_.TempDirectory();
  const std::string decoy = sandbox_.PathOf("decoy");
  std::filesystem::create_directory(decoy);
  ASSERT_EQ(chown(decoy.c_str(), 65534, 65534), 0);
  sandbox_.WriteFile("other.gif", "GIF89a another user's picture");
  sandbox_.InstallComponent("cp \"$here/other.gif\" \"$here/decoy/$(basename \"$dest\")\"\n" +
                            std::string(component_action::kWriteGif));
  Configure();
  const std::string gif = kGifHeader + sandbox_.image();

  // TempDir itself a link, even to a directory of this user's, is refused.
  const std::string aside = temp + ".aside";
  ASSERT_EQ(rename(temp.c_str(), aside.c_str()), 0);
  ASSERT_EQ(symlink(aside.c_str(), temp.c_str()), 0);
  const std::string through_link = Get("FN=scan01&Path=/srv/").output;
  EXPECT_TRUE(through_link == Page("CGI_Main: FN = scan01, open temporary directory " + temp +
                                   ": a symbolic link, refused Error Number =  1040"))
      << through_link.substr(0, 400);
  ASSERT_EQ(unlink(temp.c_str()), 0);
  ASSERT_EQ(rename(aside.c_str(), temp.c_str()), 0);

  // The other user swaps TempDir for a link to their directory and back, as
  // fast as they can, while requests run.
  std::atomic<bool> stop{false};
  std::thread swapper([&] {
    for (int swap = 0; swap < 1000000 && !stop; ++swap) {
      if (rename(temp.c_str(), aside.c_str()) != 0 || symlink(decoy.c_str(), temp.c_str()) != 0) {
        break;
      }
      std::this_thread::sleep_for(std::chrono::microseconds(500));
      if (unlink(temp.c_str()) != 0 || rename(aside.c_str(), temp.c_str()) != 0) {
        break;
      }
      std::this_thread::sleep_for(std::chrono::microseconds(500));
    }
  });
  int served = 0;
  int refused = 0;
  int foreign = 0;
  std::vector<std::string> other;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  for (int request = 0; request < 60 && std::chrono::steady_clock::now() < deadline; ++request) {
    const RunResult run = Get("FN=scan01&Path=/srv/");
    if (run.output == gif) {
      ++served;
    } else if (run.output.find("another user") != std::string::npos) {
      ++foreign;
    } else if (run.output.rfind(kExpectedHtmlHeader, 0) == 0) {
      ++refused;
    } else {
      other.push_back(run.output.substr(0, 200));
    }
  }
  stop = true;
  swapper.join();
  ASSERT_TRUE(std::filesystem::is_directory(std::filesystem::symlink_status(temp)));
  std::cout << "swapped TempDir: " << served << " served, " << refused << " refused, " << foreign
            << " another user's file, " << other.size() << " other\n";
  EXPECT_EQ(foreign, 0);
  // Each answer is the request's own GIF or the error page, never a part of
  // one; most get the GIF.
  EXPECT_EQ(other, std::vector<std::string>{});
  EXPECT_GT(served, 0);
}

}  // namespace
}  // namespace ostrel::testing
