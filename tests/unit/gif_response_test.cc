#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "cgi/ostrel_class.h"
#include "platform/error.h"
#include "tests/support/ostrel_class_peer.h"
#include "tests/support/process_harness.h"
#include "tests/support/raised_error.h"

namespace ostrel {
namespace {

// Standard output is a socket that keeps each write a record of its own, so
// the test sees how the response was cut into writes.
class GifResponseTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_SEQPACKET, 0, sockets_), 0);
    peer_.context().StdOutHandle = FileHandle{sockets_[0]};
  }
  void TearDown() override {
    close(sockets_[0]);
    close(sockets_[1]);
  }
  // Every write made so far, one element each.
  std::vector<std::string> Writes() {
    std::vector<std::string> writes;
    char buffer[65536];
    for (ssize_t got; (got = recv(sockets_[1], buffer, sizeof buffer, MSG_DONTWAIT)) >= 0;) {
      writes.emplace_back(buffer, static_cast<size_t>(got));
    }
    return writes;
  }

  OstrelClass instance_;
  OstrelClassPeer peer_{instance_};
  testing::TemporaryDirectory dir_;
  int sockets_[2] = {-1, -1};
};

TEST_F(GifResponseTest, StreamsTheFileUnchangedInChunksOfAtMost1024Bytes) {
  const struct {
    size_t length;
    std::vector<size_t> chunks;
  } cases[] = {
      {0, {}},
      {1, {1}},
      {1024, {1024}},
      {1025, {1024, 1}},
      {2048, {1024, 1024}},
      {3000, {1024, 1024, 952}},
  };
  for (const auto& c : cases) {
    std::string contents;
    for (size_t i = 0; i < c.length; ++i) {
      contents.push_back(static_cast<char>(i * 11 % 256));
    }
    dir_.WriteFile("G.gif", contents);
    peer_.SendGifFile(dir_.WindowsPathOf("G.gif"), c.length % 2 == 0 ? "" : "any fn");
    const std::vector<std::string> writes = Writes();
    ASSERT_EQ(writes.size(), 3 + c.chunks.size()) << c.length;
    EXPECT_EQ(writes[0], "HTTP/1.0 200 OK\r\n");
    EXPECT_EQ(writes[1], "Content-Type:image/gif\r\n");
    EXPECT_EQ(writes[2], "\r\n");
    std::string body;
    for (size_t i = 0; i < c.chunks.size(); ++i) {
      EXPECT_EQ(writes[3 + i].size(), c.chunks[i]) << c.length << " chunk " << i;
      body += writes[3 + i];
    }
    EXPECT_EQ(body, contents) << c.length;
  }
  EXPECT_FALSE(peer_.context().HtmlHeaderSent);
}

TEST_F(GifResponseTest, APictureFileGoesOutWithItsContentTypeWrittenAsTheGifsIs) {
  for (const std::string type : {"image/png", "image/jpeg", "image/gif"}) {
    dir_.WriteFile("G.pic", "bytes of " + type);
    peer_.SendPictureFile(dir_.WindowsPathOf("G.pic"), type);
    EXPECT_EQ(Writes(),
              (std::vector<std::string>{"HTTP/1.0 200 OK\r\n", "Content-Type:" + type + "\r\n",
                                        "\r\n", "bytes of " + type}));
    EXPECT_FALSE(dir_.Exists("G.pic"));
  }
}

TEST_F(GifResponseTest, AMissingFileRaisesAfterTheHeaderAndIsNotCreated) {
  EXPECT_EQ(testing::RaisedError([&] {
              peer_.SendGifFile(dir_.WindowsPathOf("vanished.gif"), "");
            }).code(),
            ENOENT);
  EXPECT_EQ(Writes().size(), 3u);
  EXPECT_FALSE(dir_.Exists("vanished.gif"));
}

}  // namespace
}  // namespace ostrel
