// A shared cache in front of lighttpd running the installed Ostrel, each
// cache configured by its file in deploy/: what it answers by itself, what
// it revalidates, and what it must never keep. The program and the converter
// are wrapped by scripts that count their runs.
#include "tests/support/shared_cache.h"

#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>
#include <tiffio.h>

#include "tests/support/json_value.h"
#include "tests/support/process_harness.h"
#include "tests/support/tiff_fixtures.h"
#include "tests/support/web_server.h"

namespace ostrel::testing {
namespace {

namespace fs = std::filesystem;

// The lifetime the site's Varnow.ini gives images and descriptions.
constexpr int kLifetimeSeconds = 3;

int Status(const HttpResponse& response) {
  return response.status_line.size() >= 12 ? std::stoi(response.status_line.substr(9, 3)) : 0;
}

struct Runs {
  int program = 0;
  int converter = 0;
};

class SharedCacheTest : public ::testing::TestWithParam<CacheKind> {
 protected:
  void SetUp() override {
    const std::string install = root_.PathOf("ostrel");
    InstallBuiltTree(install);
    fs::create_directories(images() + "/docs");
    fs::create_directories(root_.PathOf("tmp"));
    fs::create_directories(root_.PathOf("runs"));
    root_.WriteFile(
        "ostrel/Varnow.ini",
        "[Converter]\nTempDir=" + root_.PathOf("tmp") + "/\n[IIIF]\nRoot=" + images() +
            "\n[HTTP]\nImageCacheControl=public, max-age=" + std::to_string(kLifetimeSeconds) +
            "\nDocumentCacheControl=public, max-age=" + std::to_string(kLifetimeSeconds) + "\n");
    fs::permissions(root_.path(), fs::perms(0755));
    fs::permissions(root_.PathOf("tmp"), fs::perms(01777));
    fs::permissions(root_.PathOf("runs"), fs::perms(0777));
    CountRuns("ostrel", "program");
    CountRuns("Caskle.ClsCaskle", "converter");
    WritePage("page.tif", 2);
    WritePage("docs/three.tif", 3, 3);
    server_ = std::make_unique<WebServer>(ServerKind::kLighttpd, install, root_.PathOf("server"));
    cache_ = std::make_unique<SharedCache>(GetParam(), server_->port(), root_.PathOf("cache"));
  }

  std::string images() const { return root_.PathOf("images"); }
  std::string script() const { return server_->script_path(); }

  // Replaces the installed `name` by a script that adds a line to
  // runs/`counter` and runs it, renamed, from the same directory (where the
  // program finds its Varnow.ini and the converter).
  void CountRuns(const std::string& name, const std::string& counter) {
    const std::string path = root_.PathOf("ostrel/" + name);
    fs::rename(path, path + ".counted");
    root_.WriteFile("runs/" + counter, "", 0666);
    fs::permissions(root_.PathOf("runs/" + counter), fs::perms(0666));
    root_.WriteFile("ostrel/" + name,
                    "#!/bin/sh\necho run >>'" + root_.PathOf("runs/" + counter) + "'\nexec '" +
                        path + ".counted' \"$@\"\n",
                    0755);
  }

  Runs CountedRuns() const {
    const auto lines = [this](const std::string& counter) {
      std::ifstream file(root_.PathOf("runs/" + counter));
      int count = 0;
      for (std::string line; std::getline(file, line);) {
        ++count;
      }
      return count;
    };
    return {lines("program"), lines("converter")};
  }

  // A bilevel page (or `pages` of them) of a pattern chosen by `seed`,
  // written beside and renamed over `name`, as a file is replaced on a
  // server.
  void WritePage(const std::string& name, uint32_t seed, size_t pages = 1) {
    const FixturePage page{.width = 333,
                           .height = 250,
                           .bits_per_sample = 1,
                           .photometric = PHOTOMETRIC_MINISWHITE,
                           .compression = COMPRESSION_CCITTFAX4,
                           .samples = PackSamples(PatternSamples(333 * 250, 2, seed), 1, 333)};
    const std::string path = images() + "/" + name;
    WriteTiff(path + ".new", std::vector<FixturePage>(pages, page));
    fs::permissions(path + ".new", fs::perms(0644));
    fs::rename(path + ".new", path);
  }

  static void SleepPastLifetime() {
    std::this_thread::sleep_for(std::chrono::seconds(kLifetimeSeconds + 1));
  }

  TemporaryDirectory root_;
  std::unique_ptr<WebServer> server_;
  std::unique_ptr<SharedCache> cache_;
};

TEST_P(SharedCacheTest, ARepeatIsAnsweredByTheCacheAndRevalidatedOnceItExpires) {
  const std::vector<std::string> targets = {script() + "/iiif/3/page/0,0,200,200/max/0/default.png",
                                            script() + "?FN=page&Path=" + images() + "/&Width=100"};
  std::vector<HttpResponse> first;
  for (const std::string& target : targets) {
    SCOPED_TRACE(target);
    const Runs before = CountedRuns();
    const HttpResponse miss = cache_->Get(target);
    ASSERT_EQ(Status(miss), 200) << miss.status_line << miss.body;
    ASSERT_NE(miss.Header("ETag"), "");
    const Runs converted = CountedRuns();
    EXPECT_EQ(converted.program, before.program + 1);
    EXPECT_GT(converted.converter, before.converter);

    const HttpResponse hit = cache_->Get(target);
    EXPECT_EQ(Status(hit), 200) << hit.status_line;
    EXPECT_EQ(hit.body, miss.body);
    EXPECT_EQ(hit.Header("ETag"), miss.Header("ETag"));
    // A browser that holds the picture asks whether it is still good.
    const HttpResponse not_modified =
        cache_->Get(target, "If-None-Match: " + miss.Header("ETag") + "\r\n");
    EXPECT_EQ(Status(not_modified), 304) << not_modified.status_line;
    EXPECT_EQ(not_modified.body, "");
    EXPECT_EQ(not_modified.Header("ETag"), miss.Header("ETag"));
    const Runs after = CountedRuns();
    EXPECT_EQ(after.program, converted.program) << "the backend was asked";
    EXPECT_EQ(after.converter, converted.converter);
    first.push_back(miss);
  }

  // Expired, the file unchanged: the backend confirms the copy from the
  // file's state, without converting.
  SleepPastLifetime();
  for (size_t index = 0; index < targets.size(); ++index) {
    SCOPED_TRACE(targets[index]);
    const Runs before = CountedRuns();
    const HttpResponse revalidated = cache_->Get(targets[index]);
    EXPECT_EQ(Status(revalidated), 200) << revalidated.status_line;
    EXPECT_EQ(revalidated.body, first[index].body);
    const Runs after = CountedRuns();
    EXPECT_EQ(after.program, before.program + 1) << "not revalidated with the backend";
    EXPECT_EQ(after.converter, before.converter);
  }

  // Replaced: once the copy's lifetime is over, the new picture.
  WritePage("page.tif", 11);
  SleepPastLifetime();
  for (size_t index = 0; index < targets.size(); ++index) {
    SCOPED_TRACE(targets[index]);
    const Runs before = CountedRuns();
    const HttpResponse renewed = cache_->Get(targets[index]);
    EXPECT_EQ(Status(renewed), 200) << renewed.status_line;
    EXPECT_NE(renewed.Header("ETag"), first[index].Header("ETag"));
    EXPECT_NE(renewed.body, first[index].body);
    EXPECT_GT(CountedRuns().converter, before.converter);
    EXPECT_EQ(renewed.body, server_->Get(targets[index]).body);
  }
}

// A request with only FN and Path and the legacy error page (status 200)
// carry no lifetime, and errors say no-store: each reaches the program
// every time. The errors' files appear after the first request.
TEST_P(SharedCacheTest, WhatHasNoLifetimeAndErrorsAreNeverStored) {
  const std::string plain = script() + "?FN=page&Path=" + images() + "/";
  const Runs before = CountedRuns();
  const HttpResponse once = cache_->Get(plain);
  const HttpResponse twice = cache_->Get(plain);
  EXPECT_EQ(once.Header("Content-Type"), "image/gif");
  EXPECT_EQ(twice.body, once.body);
  const Runs after = CountedRuns();
  EXPECT_EQ(after.program, before.program + 2);
  EXPECT_EQ(after.converter, before.converter + 2);

  const std::string legacy_error = script() + "?FN=later&Path=" + images() + "/&Width=100";
  const std::string unknown_image = script() + "/iiif/3/docs%2Flater/full/max/0/default.png";
  const HttpResponse error_page = cache_->Get(legacy_error);
  EXPECT_EQ(Status(error_page), 200) << error_page.status_line;
  EXPECT_EQ(error_page.body.substr(0, 23), "<H1>Internal Error</H1>");
  const HttpResponse not_found = cache_->Get(unknown_image);
  EXPECT_EQ(Status(not_found), 404) << not_found.status_line;

  WritePage("later.tif", 5);
  WritePage("docs/later.tif", 6);
  const HttpResponse page = cache_->Get(legacy_error);
  EXPECT_EQ(Status(page), 200) << page.status_line;
  EXPECT_EQ(page.Header("Content-Type"), "image/gif") << page.body;
  const HttpResponse found = cache_->Get(unknown_image);
  EXPECT_EQ(Status(found), 200) << found.status_line << found.body;
  EXPECT_EQ(found.Header("Content-Type"), "image/png");
}

// Descriptions name themselves after the Host header and come as JSON-LD
// when Accept asks for it: each Host and Accept is a copy of its own. An
// identifier's "%2F" is not a "/" to the cache.
TEST_P(SharedCacheTest, TheKeyHoldsTheHostTheRawPathAndAccept) {
  const std::string service = script() + "/iiif/3/docs%2Fthree;2";
  const auto id_of = [](const HttpResponse& response) {
    const std::optional<JsonValue> json = ParseJson(response.body);
    return json ? (*json)["id"].string : "not JSON: " + response.body;
  };
  const HttpResponse stored = cache_->Get(service + "/info.json", "Host: a.example\r\n");
  EXPECT_EQ(id_of(stored), "http://a.example" + service);
  const Runs before = CountedRuns();
  EXPECT_EQ(id_of(cache_->Get(service + "/info.json", "Host: a.example\r\n")),
            "http://a.example" + service);
  EXPECT_EQ(CountedRuns().program, before.program) << "not answered by the cache";

  const HttpResponse other_host = cache_->Get(service + "/info.json", "Host: b.example\r\n");
  EXPECT_EQ(id_of(other_host), "http://b.example" + service);
  const HttpResponse linked_data =
      cache_->Get(service + "/info.json", "Host: a.example\r\nAccept: application/ld+json\r\n");
  EXPECT_EQ(linked_data.Header("Content-Type").substr(0, 19), "application/ld+json");
  const HttpResponse plain_json = cache_->Get(service + "/info.json", "Host: a.example\r\n");
  EXPECT_EQ(plain_json.Header("Content-Type"), "application/json");

  const HttpResponse slashed = cache_->Get(script() + "/iiif/3/docs/three;2/info.json");
  EXPECT_NE(Status(slashed), 200) << slashed.body;
}

INSTANTIATE_TEST_SUITE_P(Caches, SharedCacheTest,
                         ::testing::Values(CacheKind::kVarnish, CacheKind::kNginx),
                         [](const ::testing::TestParamInfo<CacheKind>& cache) {
                           return std::string(CacheName(cache.param));
                         });

}  // namespace
}  // namespace ostrel::testing
