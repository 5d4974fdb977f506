#include "conversion/view_request.h"

#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "cgi/ostrel_class.h"
#include "platform/error.h"
#include "tests/support/ostrel_class_peer.h"
#include "tests/support/raised_error.h"

namespace ostrel {
namespace {

using Query = std::vector<std::pair<std::string, std::string>>;

// Reads the view request of `query` through the program's own lookup, and
// notes which names were looked up.
class ViewRequestTest : public ::testing::Test {
 protected:
  ViewRequest Read(const Query& query) {
    peer_.context().Pairs.Reset();
    for (const auto& [name, value] : query) {
      peer_.context().Pairs.Append({name, value});
    }
    looked_up_.clear();
    return ReadViewRequest(peer_.context().Pairs, [this](const std::string& name) {
      looked_up_.push_back(name);
      return peer_.GetCgiValue(name);
    });
  }

  OstrelClass instance_;
  OstrelClassPeer peer_{instance_};
  std::vector<std::string> looked_up_;
};

TEST_F(ViewRequestTest, GivenParametersBecomeItemsInAFixedOrder) {
  const struct {
    Query query;
    std::string items;
    bool describe;
  } cases[] = {
      {{}, "", false},
      {{{"FN", "a"}, {"Path", "p"}}, "", false},
      {{{"page", "2"}}, "page=2", false},
      {{{"Rotate", "90"}, {"HEIGHT", "600"}, {"Width", "800"}, {"Page", "1"}},
       "page=1, width=800, height=600, rotate=90",
       false},
      {{{"Page", "1000000"}, {"Width", "65535"}, {"Height", "1"}, {"Rotate", "0"}},
       "page=1000000, width=65535, height=1, rotate=0",
       false},
      {{{"Rotate", "180"}, {"Page", "0003"}}, "page=3, rotate=180", false},
      {{{"Rotate", "270"}}, "rotate=270", false},
      // An empty field of a form counts as absent.
      {{{"Width", ""}, {"Height", ""}, {"Info", ""}}, "", false},
      {{{"Info", "1"}}, "", true},
      {{{"info", "0"}, {"Width", "240"}}, "width=240", true},
      // Format, last; a description ignores it.
      {{{"Format", "png"}, {"Page", "2"}}, "page=2, format=png", false},
      {{{"format", "JPEG"}}, "format=jpg", false},
      {{{"FORMAT", "Jpg"}, {"Width", "9"}}, "width=9, format=jpg", false},
      {{{"Format", "GIF"}}, "format=gif", false},
      {{{"Format", ""}}, "", false},
      {{{"Format", "png"}, {"Info", "1"}}, "", true},
  };
  for (const auto& c : cases) {
    const ViewRequest view = Read(c.query);
    EXPECT_EQ(view.items, c.items) << c.items;
    EXPECT_EQ(view.describe, c.describe) << c.items;
  }
}

TEST_F(ViewRequestTest, FormatChoosesTheFileAndContentType) {
  const struct {
    Query query;
    std::string extension;
    std::string content_type;
  } cases[] = {
      {{}, ".gif", "image/gif"},
      {{{"Format", "gif"}}, ".gif", "image/gif"},
      {{{"Format", "png"}}, ".png", "image/png"},
      {{{"Format", "jpg"}}, ".jpg", "image/jpeg"},
      {{{"Format", "jpeg"}}, ".jpg", "image/jpeg"},
      {{{"Format", "png"}, {"Info", "1"}}, ".gif", "image/gif"},  // not a picture at all
  };
  for (const auto& c : cases) {
    const ViewRequest view = Read(c.query);
    EXPECT_EQ(view.format.extension, c.extension) << c.content_type;
    EXPECT_EQ(view.format.content_type, c.content_type);
  }
}

TEST_F(ViewRequestTest, OnlyTheNamesARequestHoldsAreLookedUp) {
  Read({{"FN", "a"}, {"Path", "p"}, {"Pages", "2"}, {"x", "Width"}});
  EXPECT_EQ(looked_up_, std::vector<std::string>{});
  Read({{"WIDTH", "1"}, {"info", ""}});
  EXPECT_EQ(looked_up_, (std::vector<std::string>{"Width", "Info"}));
  Read({{"format", "png"}});
  EXPECT_EQ(looked_up_, (std::vector<std::string>{"Format"}));
}

TEST_F(ViewRequestTest, AnythingButDigitsInRangeIsRefusedNamingTheParameter) {
  const std::string page = "Page must be a page number from 1 to 1000000";
  const std::string width = "Width must be a number of pixels from 1 to 65535";
  const std::string height = "Height must be a number of pixels from 1 to 65535";
  const std::string rotate = "Rotate must be 0, 90, 180 or 270";
  const std::string format = "Format must be gif, png, jpg or jpeg";
  const struct {
    Query query;
    std::string message;
  } cases[] = {
      {{{"Page", "0"}}, page},
      {{{"Page", "1000001"}}, page},
      {{{"Page", "99999999999999999999999"}}, page},
      {{{"Page", "-1"}}, page},
      {{{"Page", "+1"}}, page},
      {{{"Page", " 1"}}, page},
      {{{"Page", "1 "}}, page},
      {{{"Page", "1.0"}}, page},
      {{{"Page", "2"}, {"page", "3"}}, page},  // joined as "2;3"
      {{{"Width", "abc"}}, width},
      {{{"Width", "0"}}, width},
      {{{"Width", "65536"}}, width},
      {{{"Width", "\xd9\xa3"}}, width},
      {{{"Width", "800"}, {"Height", "0x10"}}, height},
      {{{"Rotate", "45"}}, rotate},
      {{{"Rotate", "360"}}, rotate},
      {{{"Rotate", "-90"}}, rotate},
      {{{"Format", "webp"}}, format},
      {{{"Format", "png "}}, format},
      {{{"Format", ".png"}}, format},
      {{{"Format", "image/png"}}, format},
      {{{"Format", "png"}, {"format", "gif"}}, format},  // joined as "png;gif"
      {{{"Format", "bmp"}, {"Info", "1"}}, format},      // described or not
  };
  for (const auto& c : cases) {
    const Error error = testing::RaisedError([&] { Read(c.query); });
    EXPECT_EQ(error.number(), Error(ErrorKind::kInvalidArgument).number()) << c.message;
    EXPECT_EQ(error.description(), "Invalid argument: " + c.message) << c.query[0].second;
  }
}

}  // namespace
}  // namespace ostrel
