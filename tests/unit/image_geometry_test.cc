#include "iiif/image_geometry.h"

#include <string>

#include <gtest/gtest.h>

#include "iiif/iiif_path.h"
#include "iiif/image_request.h"
#include "iiif/refusal.h"
#include "platform/error.h"
#include "tests/support/raised_error.h"

namespace ostrel {
namespace {

constexpr ApiVersion k2 = ApiVersion::k2;
constexpr ApiVersion k3 = ApiVersion::k3;

struct Image {
  int64_t width, height;
};
constexpr Image k300x200{300, 200};  // the API's examples use this size
constexpr Image k301x200{301, 200};
constexpr Image k200x301{200, 301};
constexpr Image k200x200{200, 200};
constexpr Image k1x1{1, 1};
constexpr Image kDrawing{10000, 14000};

constexpr ImageLimits kRoomy{1000, 1000, 1000000};
constexpr ImageLimits kSmall{200, 200, 6000};
constexpr ImageLimits kWidth200{200, 200, 1000000};
constexpr ImageLimits kWidth300{300, 300, 1000000};
constexpr ImageLimits kSide4000{4000, 4000, 16000000};
constexpr ImageLimits kArea1M{20000, 20000, 1000000};
constexpr ImageLimits kSide10000{10000, 10000, 100000000};

// The geometry of `request`, "{region}/{size}/{rotation}/{quality}.{format}",
// read through the path parser as a client's request is.
ImageGeometry Geometry(ApiVersion version, const Image& image, const ImageLimits& limits,
                       const std::string& request) {
  const std::string path = std::string("/iiif/") + (version == k2 ? "2" : "3") + "/x/" + request;
  return ComputeImageGeometry(ParseImageRequest(version, ParseIiifPath(path).parameters),
                              image.width, image.height, limits);
}

// "x,y,w,h WxH canonical": the region, the scaled size, the canonical form.
std::string Summary(const ImageGeometry& g) {
  const ImageRegion& r = g.region;
  return std::to_string(r.x) + "," + std::to_string(r.y) + "," + std::to_string(r.width) + "," +
         std::to_string(r.height) + " " + std::to_string(g.width) + "x" + std::to_string(g.height) +
         " " + g.canonical;
}

TEST(ImageGeometryTest, RegionSizeAndCanonicalForm) {
  const struct {
    ApiVersion version;
    Image image;
    ImageLimits limits;
    std::string request;
    std::string summary;
  } cases[] = {
      // The API's own region and size examples.
      {k3, k300x200, kRoomy, "full/max/0/default.jpg",
       "0,0,300,200 300x200 full/max/0/default.jpg"},
      {k3, k300x200, kRoomy, "square/max/0/default.jpg",
       "50,0,200,200 200x200 50,0,200,200/max/0/default.jpg"},
      {k3, k300x200, kRoomy, "125,15,120,140/max/0/default.jpg",
       "125,15,120,140 120x140 125,15,120,140/max/0/default.jpg"},
      {k3, k300x200, kRoomy, "pct:41.6,7.5,40,70/max/0/default.jpg",
       "125,15,120,140 120x140 125,15,120,140/max/0/default.jpg"},
      {k3, k300x200, kRoomy, "125,15,200,200/max/0/default.jpg",
       "125,15,175,185 175x185 125,15,175,185/max/0/default.jpg"},
      {k3, k300x200, kRoomy, "pct:41.6,7.5,66.6,100/max/0/default.jpg",
       "125,15,175,185 175x185 125,15,175,185/max/0/default.jpg"},
      {k3, k300x200, kWidth200, "full/max/0/default.jpg",
       "0,0,300,200 200x133 full/max/0/default.jpg"},
      {k3, k300x200, kRoomy, "full/150,/0/default.jpg",
       "0,0,300,200 150x100 full/150,100/0/default.jpg"},
      {k3, k300x200, kRoomy, "full/,150/0/default.jpg",
       "0,0,300,200 225x150 full/225,150/0/default.jpg"},
      {k3, k300x200, kRoomy, "full/pct:50/0/default.jpg",
       "0,0,300,200 150x100 full/150,100/0/default.jpg"},
      {k3, k300x200, kRoomy, "full/225,100/0/default.jpg",
       "0,0,300,200 225x100 full/225,100/0/default.jpg"},
      {k3, k300x200, kRoomy, "full/!225,100/0/default.jpg",
       "0,0,300,200 150x100 full/150,100/0/default.jpg"},
      // Equivalent requests share their canonical form.
      {k3, k300x200, kRoomy, "0,0,300,200/300,200/360/default.jpg",
       "0,0,300,200 300x200 full/max/0/default.jpg"},
      {k3, k300x200, kRoomy, "pct:0,0,100,100/^pct:100/!90.0/gray.png",
       "0,0,300,200 300x200 full/max/!90/gray.png"},
      // Crops at the far corner, the smallest size, "!w,h" larger on one side.
      {k3, k300x200, kRoomy, "299,199,5,5/max/270/bitonal.gif",
       "299,199,1,1 1x1 299,199,1,1/max/270/bitonal.gif"},
      {k3, k300x200, kRoomy, "250,150,2147483647,2147483647/max/0/color.jpg",
       "250,150,50,50 50x50 250,150,50,50/max/0/color.jpg"},
      {k3, k300x200, kRoomy, "full/1,/0/default.jpg", "0,0,300,200 1x1 full/1,1/0/default.jpg"},
      {k3, k300x200, kRoomy, "full/!100,2147483647/0/default.jpg",
       "0,0,300,200 100x67 full/100,67/0/default.jpg"},
      {k3, k300x200, kRoomy, "full/!300,1000/0/default.jpg",
       "0,0,300,200 300x200 full/max/0/default.jpg"},
      {k3, k300x200, kWidth300, "full/^!360,360/0/default.jpg",
       "0,0,300,200 300x200 full/max/0/default.jpg"},
      {k3, k300x200, kWidth200, "full/^max/0/default.jpg",
       "0,0,300,200 200x133 full/max/0/default.jpg"},
      {k3, k300x200, kSmall, "full/max/0/default.jpg", "0,0,300,200 94x63 full/max/0/default.jpg"},
      // Percent edges round to the nearest pixel each, so neighbours meet.
      {k3, k300x200, kRoomy, "pct:0,0,33.3,100/max/0/default.jpg",
       "0,0,100,200 100x200 0,0,100,200/max/0/default.jpg"},
      {k3, k300x200, kRoomy, "pct:33.3,0,33.4,100/max/0/default.jpg",
       "100,0,100,200 100x200 100,0,100,200/max/0/default.jpg"},
      {k3, k300x200, kRoomy, "pct:0,0,0.2,1000/max/0/default.jpg",
       "0,0,1,200 1x200 0,0,1,200/max/0/default.jpg"},
      // "square" of either orientation, centred, the odd pixel after it.
      {k3, k301x200, kRoomy, "square/max/0/default.jpg",
       "50,0,200,200 200x200 50,0,200,200/max/0/default.jpg"},
      {k3, k200x301, kRoomy, "square/max/0/default.jpg",
       "0,50,200,200 200x200 0,50,200,200/max/0/default.jpg"},
      {k3, k200x200, kRoomy, "square/max/0/default.jpg",
       "0,0,200,200 200x200 full/max/0/default.jpg"},
      {k3, k1x1, kRoomy, "square/pct:50/0/default.jpg", "0,0,1,1 1x1 full/max/0/default.jpg"},
      {k3, k1x1, kRoomy, "pct:0,0,50,50/!1,1/0/default.jpg", "0,0,1,1 1x1 full/max/0/default.jpg"},
      // The drawing: "max" and "!w,h" within the limits, a tile at the corner.
      {k3, kDrawing, kSide4000, "full/max/0/default.png",
       "0,0,10000,14000 2857x4000 full/max/0/default.png"},
      {k3, kDrawing, kArea1M, "full/max/0/default.png",
       "0,0,10000,14000 845x1183 full/max/0/default.png"},
      {k3, kDrawing, kSide4000, "full/!20000,4000/0/default.png",
       "0,0,10000,14000 2857x4000 full/max/0/default.png"},
      {k3, kDrawing, kSide4000, "full/!512,512/0/default.png",
       "0,0,10000,14000 366x512 full/366,512/0/default.png"},
      {k3, kDrawing, kSide4000, "8192,12288,4096,4096/512,/0/default.png",
       "8192,12288,1808,1712 512x485 8192,12288,1808,1712/512,485/0/default.png"},
      {k3, kDrawing, kSide10000, "square/max/0/default.png",
       "0,2000,10000,10000 10000x10000 0,2000,10000,10000/max/0/default.png"},
      // Version 2: "full" for the unscaled region, "w," wherever the height follows.
      {k2, k300x200, kRoomy, "full/full/0/default.jpg",
       "0,0,300,200 300x200 full/full/0/default.jpg"},
      {k2, k300x200, kRoomy, "full/max/0/default.jpg",
       "0,0,300,200 300x200 full/full/0/default.jpg"},
      {k2, k300x200, kWidth200, "full/max/0/default.jpg",
       "0,0,300,200 200x133 full/200,/0/default.jpg"},
      {k2, k300x200, kRoomy, "full/150,100/0/default.jpg",
       "0,0,300,200 150x100 full/150,/0/default.jpg"},
      {k2, k300x200, kRoomy, "full/,150/!0/default.jpg",
       "0,0,300,200 225x150 full/225,/!0/default.jpg"},
      {k2, k300x200, kRoomy, "full/225,100/0/default.jpg",
       "0,0,300,200 225x100 full/225,100/0/default.jpg"},
      {k2, k200x200, kRoomy, "square/!225,100/180/color.png",
       "0,0,200,200 100x100 full/100,/180/color.png"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Summary(Geometry(c.version, c.image, c.limits, c.request)), c.summary) << c.request;
  }
}

TEST(ImageGeometryTest, CarriesMirrorTurnQualityAndFormat) {
  const ImageGeometry geometry = Geometry(k3, k300x200, kRoomy, "full/max/!270/bitonal.gif");
  EXPECT_TRUE(geometry.mirror);
  EXPECT_EQ(geometry.turn, 270);
  EXPECT_EQ(geometry.quality, ImageQuality::kBitonal);
  EXPECT_EQ(geometry.format, ImageFormat::kGif);
}

TEST(ImageGeometryTest, RefusesImpossibleRequestsWith400AndEnlargingWith501) {
  const std::string huge = std::string(300, '9');
  const struct {
    ApiVersion version;
    ImageLimits limits;
    std::string request;  // on the 300 x 200 image
    int32_t status;
  } cases[] = {
      // The region: outside, empty, or rounded to nothing.
      {k3, kRoomy, "300,0,10,10/max/0/default.jpg", 400},
      {k3, kRoomy, "0,200,10,10/max/0/default.jpg", 400},
      {k3, kRoomy, "0,0,0,10/max/0/default.jpg", 400},
      {k3, kRoomy, "0,0,10,0/max/0/default.jpg", 400},
      {k3, kRoomy, "pct:100,0,10,10/max/0/default.jpg", 400},
      {k3, kRoomy, "pct:0,0,0,10/max/0/default.jpg", 400},
      {k3, kRoomy, "pct:0,0,0.1,100/max/0/default.jpg", 400},
      // Less than a pixel.
      {k3, kRoomy, "full/0,/0/default.jpg", 400},
      {k3, kRoomy, "full/,0/0/default.jpg", 400},
      {k3, kRoomy, "full/pct:0/0/default.jpg", 400},
      {k3, kRoomy, "full/pct:0.1/0/default.jpg", 400},
      {k3, kRoomy, "full/!0,10/0/default.jpg", 400},
      {k3, kRoomy, "0,0,300,1/100,/0/default.jpg", 400},
      // Larger than the region without "^".
      {k3, kRoomy, "full/301,/0/default.jpg", 400},
      {k3, kRoomy, "full/,201/0/default.jpg", 400},
      {k3, kRoomy, "full/pct:100.1/0/default.jpg", 400},
      {k3, kRoomy, "full/301,200/0/default.jpg", 400},
      {k3, kRoomy, "full/300,201/0/default.jpg", 400},
      {k3, kRoomy, "full/!301,201/0/default.jpg", 400},
      {k3, kRoomy, "full/!2147483647,2147483647/0/default.jpg", 400},
      // Beyond the limits.
      {k3, kSmall, "full/201,/0/default.jpg", 400},
      {k3, kSmall, "full/,201/0/default.jpg", 400},
      {k3, kSmall, "full/100,/0/default.jpg", 400},  // 100 x 67 > 6000
      {k3, kRoomy, "full/2147483647,/0/default.jpg", 400},
      {k3, kRoomy, "full/^pct:" + huge + "/0/default.jpg", 400},
      {k2, kSmall, "full/full/0/default.jpg", 400},
      {k2, kRoomy, "full/pct:" + huge + "/0/default.jpg", 400},
      // Enlarging, which the converter does not do.
      {k3, kRoomy, "full/^max/0/default.jpg", 501},
      {k3, kRoomy, "full/^301,/0/default.jpg", 501},
      {k3, kRoomy, "full/^pct:120/0/default.jpg", 501},
      {k3, kRoomy, "full/^pct:100.1/0/default.jpg", 501},
      {k3, kRoomy, "full/^!360,360/0/default.jpg", 501},
      {k3, kRoomy, "full/^!2147483647,2147483647/0/default.jpg", 501},
      {k2, kRoomy, "full/301,/0/default.jpg", 501},
      {k2, kRoomy, "full/pct:101/0/default.jpg", 501},
      {k2, kRoomy, "full/!400,400/0/default.jpg", 501},
  };
  for (const auto& c : cases) {
    const Error error =
        testing::RaisedError([&] { Geometry(c.version, k300x200, c.limits, c.request); });
    EXPECT_EQ(HttpStatusOf(error), c.status) << c.request;
  }
}

}  // namespace
}  // namespace ostrel
