// Hostile requests and files, one test per kind: each gets the sound answer,
// and afterwards no temporary GIF, no converter's temporary file and no
// process of the request is left.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include <gtest/gtest.h>
#include <tiffio.h>

#include "bench/tiff_corpus.h"
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
  EXPECT_EQ(sandbox_.Arguments(), "source=\\srv\\...tif, dest=" + sandbox_.TempDirectory() +
                                      "\\G.._" + std::to_string(run.pid) + ".gif");
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
  const std::string minimal = "PATH=/usr/local/bin:/usr/bin:/bin\nPWD=" + sandbox_.path() + "\n";
  EXPECT_EQ(sandbox_.ReadFile("environment"), minimal);
  Configure(allowed);
  (void)Get("FN=scan01&Path=" + Images(), client);
  EXPECT_EQ(sandbox_.ReadFile("environment"),
            "OSTREL_ALLOWED_IMAGE_DIRECTORIES=" + sandbox_.PathOf("images") + "\n" + minimal);
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

TEST_F(HostileInputTest, ASharedTempDirIsUsedOnlyThroughThisUsersPrivateSubdirectory) {
  sandbox_.InstallComponent(component_action::kWriteGif);
  Configure();
  const std::string temp = sandbox_.TempDirectory();
  const std::string own = temp + "/ostrel-" + std::to_string(geteuid());
  const auto refused = [](const std::string& what) {
    return Page("CGI_Main: FN = scan01, Invalid argument: temporary directory " + what +
                " Error Number =  5");
  };
  const struct {
    mode_t mode;
    const char* plant;  // what stands at the private subdirectory's name
    std::string dest_directory;
    std::string refusal;
  } cases[] = {
      // Only this user can write there: today's names.
      {0755, "", temp + "\\", ""},
      {01777, "", temp + "\\ostrel-" + std::to_string(geteuid()) + "\\", ""},
      {01770, "", temp + "\\ostrel-" + std::to_string(geteuid()) + "\\", ""},
      {01777, "0755", "", refused(own + " is not a private directory (owner 0, mode 0755)")},
      {01777, "nobody", "", refused(own + " is not a private directory (owner 65534, mode 0700)")},
      {01777, "link", "",
       refused(own + " is not a private directory (not a directory, owner 0, mode 0777)")},
      // Without the sticky bit anyone may rename what lies there.
      {0777, "", "",
       refused(temp + "/ can be changed by other users (owner 0, mode 0777) and has no private "
                      "subdirectory")},
  };
  for (const auto& c : cases) {
    const std::string plant = c.plant;
    if (plant == "0755" || plant == "nobody") {
      ASSERT_EQ(mkdir(own.c_str(), 0700), 0);
      ASSERT_EQ(chmod(own.c_str(), plant == "0755" ? 0755 : 0700), 0);
      if (plant == "nobody") {
        ASSERT_EQ(chown(own.c_str(), 65534, 65534), 0);
      }
    } else if (plant == "link") {
      std::filesystem::create_directory(sandbox_.PathOf("elsewhere"));
      std::filesystem::permissions(sandbox_.PathOf("elsewhere"), std::filesystem::perms(0700));
      std::filesystem::create_directory_symlink(sandbox_.PathOf("elsewhere"), own);
    }
    ASSERT_EQ(chmod(temp.c_str(), c.mode), 0);
    const RunResult run = Get("FN=scan01&Path=/srv/");
    ASSERT_EQ(chmod(temp.c_str(), 0755), 0);
    if (c.refusal.empty()) {
      EXPECT_EQ(run.output, kGifHeader + sandbox_.image()) << c.mode;
      EXPECT_EQ(sandbox_.Arguments(), "source=\\srv\\scan01.tif, dest=" + c.dest_directory +
                                          "Gscan01_" + std::to_string(run.pid) + ".gif")
          << c.mode;
    } else {
      EXPECT_EQ(run.output, c.refusal) << c.mode << " " << plant;
      EXPECT_EQ(sandbox_.Arguments(), "(not called)");
    }
    struct stat status {};
    if (lstat(own.c_str(), &status) == 0 && plant.empty()) {
      EXPECT_TRUE(S_ISDIR(status.st_mode));
      EXPECT_EQ(status.st_mode & 07777, 0700u);
      EXPECT_TRUE(std::filesystem::is_empty(own));
    }
    std::filesystem::remove(own);
    std::filesystem::remove(sandbox_.PathOf("arguments"));
  }
}

}  // namespace
}  // namespace ostrel::testing
