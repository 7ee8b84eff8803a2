// What a re-encoded file looks like: a JPEG within 1920 x 1920, upright, sRGB, white where it was
// transparent, and with no metadata left.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>

#include "run_fixture.h"
#include "test_images.h"

namespace fs = std::filesystem;
using namespace test_images;
using Mode = ImageOptimizer::OutputMode;

namespace {

bool isJpeg(const fs::path& file) {
  return readBytes(file).starts_with("\xFF\xD8\xFF");
}

// Markers between the start of the image and the start of scan: only JFIF (APP0) and the coding
// tables may stay; EXIF/XMP (APP1), ICC (APP2), IPTC (APP13) and comments must be gone.
std::vector<int> headerMarkers(const std::string& jpeg) {
  std::vector<int> markers;
  std::size_t at = 2;
  while (at + 4 <= jpeg.size() && static_cast<unsigned char>(jpeg[at]) == 0xFF) {
    const int marker = static_cast<unsigned char>(jpeg[at + 1]);
    markers.push_back(marker);
    if (marker == 0xDA)
      break;
    at += 2 + (static_cast<unsigned char>(jpeg[at + 2]) << 8 | static_cast<unsigned char>(jpeg[at + 3]));
  }
  return markers;
}

}  // namespace

class ImageOutput : public RunFixture {
 protected:
  fs::path optimized(const std::string& sourceName, const std::string& outputName) {
    EXPECT_EQ(runOptimizer(Mode::fullReplacement).processed, 1) << sourceName;
    const fs::path file = output / outputName;
    EXPECT_TRUE(isJpeg(file)) << outputName;
    return file;
  }
};

TEST_F(ImageOutput, FitsTheBoundAndKeepsTheAspect) {
  writeNoiseJpeg(source / "wide.jpg", 3000, 2000);
  const fs::path file = optimized("wide.jpg", "wide.jpg");
  const Pixels wide = dimensionsOf(file);
  EXPECT_EQ(wide.width, 1920);
  EXPECT_EQ(wide.height, 1280);
  // Measured smaller than baseline on real photographs; colour at half resolution, as web JPEGs are.
  EXPECT_TRUE(isProgressive(file));
  EXPECT_EQ(chromaSubsampling(file), "4:2:0");
}

TEST_F(ImageOutput, TallImagesAreBoundedByTheirHeight) {
  writeNoisePng(source / "tall.png", 1000, 4000);
  const Pixels tall = dimensionsOf(optimized("tall.png", "tall.jpg"));
  EXPECT_EQ(tall.height, 1920);
  EXPECT_EQ(tall.width, 480);
}

TEST_F(ImageOutput, SmallerImagesAreNeverEnlarged) {
  writeNoisePng(source / "modest.png", 700, 500);
  const Pixels modest = dimensionsOf(optimized("modest.png", "modest.jpg"));
  EXPECT_EQ(modest.width, 700);
  EXPECT_EQ(modest.height, 500);
}

TEST_F(ImageOutput, PortraitPhonePhotoComesOutPortrait) {
  writeRotatedJpeg(source / "phone.jpg", 2400, 1800, 6);
  const fs::path file = optimized("phone.jpg", "phone.jpg");
  const Pixels upright = dimensionsOf(file);
  EXPECT_EQ(upright.width, 1440);
  EXPECT_EQ(upright.height, 1920);
  EXPECT_FALSE(hasMetadata(file, "orientation"));
}

TEST_F(ImageOutput, TransparentAreasBecomeWhite) {
  writeHalfTransparentPng(source / "cutout.png", 800, 600);
  const fs::path file = optimized("cutout.png", "cutout.jpg");
  const Pixels size = dimensionsOf(file);
  EXPECT_EQ(size.bands, 3);
  for (const double band : meanColour(file, 0, 0, 350, 600))
    EXPECT_GT(band, 250.0);
  for (const double band : meanColour(file, 450, 0, 350, 600))
    EXPECT_LT(band, 100.0);
}

TEST_F(ImageOutput, TransparentEdgesShowNoDarkFringe) {
  writeTransparentEdgePng(source / "edge.png", 4001, 1000);  // shrunk by more than 2, across the edge
  const fs::path file = optimized("edge.png", "edge.jpg");
  const Pixels size = dimensionsOf(file);
  ASSERT_EQ(size.width, 1920);
  // Everything is white once flattened; a fringe would darken the columns around the middle.
  for (int column = size.width / 2 - 8; column <= size.width / 2 + 8; column += 2) {
    for (const double band : meanColour(file, column, 0, 2, size.height))
      EXPECT_GT(band, 250.0) << "column " << column;
  }
}

TEST_F(ImageOutput, NoMetadataSurvives) {
  writeJpegWithMetadata(source / "trip.jpg", 1200, 900);
  ASSERT_TRUE(hasMetadata(source / "trip.jpg", "exif-ifd3-GPSLatitudeRef"));
  ASSERT_TRUE(hasMetadata(source / "trip.jpg", "xmp-data"));
  const fs::path file = optimized("trip.jpg", "trip.jpg");
  for (const char* field : {"exif-data", "xmp-data", "iptc-data", "icc-profile-data"}) {
    EXPECT_FALSE(hasMetadata(file, field)) << field;
  }
  for (const int marker : headerMarkers(readBytes(file))) {
    EXPECT_TRUE(marker == 0xE0 || marker == 0xDB || marker == 0xC4 || (marker >= 0xC0 && marker <= 0xC2) ||
                marker == 0xDA || marker == 0xDD)
        << std::hex << marker;
  }
}

TEST_F(ImageOutput, WideGamutPhotosAreConvertedToSrgb) {
  writeP3RedJpeg(source / "p3.jpg", 800, 600);
  ASSERT_TRUE(hasMetadata(source / "p3.jpg", "icc-profile-data"));
  const fs::path file = optimized("p3.jpg", "p3.jpg");
  EXPECT_FALSE(hasMetadata(file, "icc-profile-data"));
  const std::vector<double> red = meanColour(file, 100, 100, 400, 400);
  ASSERT_EQ(red.size(), 3u);
  EXPECT_GT(red[0], 245.0);
  EXPECT_LT(red[1], 20.0);
  EXPECT_LT(red[2], 20.0);
}

// As a browser shows them: 16-bit half-transparent images with a profile on white, a profile made for
// another kind of image ignored, a PNG's gamma applied.
TEST_F(ImageOutput, ColoursComeOutAsBrowsersShowThem) {
  const std::vector<double> greenOnWhite{157.5, 217, 157};
  const struct {
    std::string name;
    std::vector<double> values;
    int bits;
    std::string profile;
    std::vector<double> shown;
  } cases[] = {
      {"deep-srgb.png", {60, 179, 59, 127.5}, 16, "srgb", greenOnWhite},
      {"deep-p3.png", {60, 179, 59, 127.5}, 16, "p3", greenOnWhite},
      {"deep-grey.png", {100, 127.5}, 16, "grey", {177.5, 177.5, 177.5}},
      {"grey-rgb-profile.jpg", {90}, 8, "srgb", {90}},
      {"rgb-grey-profile.jpg", {200, 40, 90}, 8, "grey", {200, 40, 90}},
      {"gamma-1.8.png", {20, 120, 240}, 8, "", {26, 139, 243}},
      // sRGB's primaries are not enough to leave the colours as they are.
      {"srgb-primaries.jpg", {20, 120, 240}, 8, "srgb-gamma-1.8", {26, 139, 243}},
  };
  for (const auto& image : cases)
    writeFlatImage(source / image.name, image.values, image.bits, image.profile);
  insertPngChunk(source / "gamma-1.8.png", "gAMA", std::string("\0\0\xD9\x04", 4));  // 1/1.8, nothing else
  EXPECT_EQ(runOptimizer(Mode::changedOnly).processed, 7);
  for (const auto& image : cases) {
    const std::vector<double> shown =
        meanColour(output / fs::path(image.name).replace_extension(".jpg"), 8, 8, 48, 48);
    ASSERT_EQ(shown.size(), image.shown.size()) << image.name;
    for (std::size_t band = 0; band < shown.size(); ++band)
      EXPECT_NEAR(shown[band], image.shown[band], 3) << image.name << ", band " << band;
  }
}

TEST_F(ImageOutput, CmykPhotosAreConvertedToSrgb) {
  writeCmykRedJpeg(source / "print.jpg", 800, 600);
  const fs::path file = optimized("print.jpg", "print.jpg");
  const std::vector<double> red = meanColour(file, 100, 100, 400, 400);
  ASSERT_EQ(red.size(), 3u);
  EXPECT_GT(red[0], 200.0);
  EXPECT_LT(red[1], 60.0);
  EXPECT_LT(red[2], 60.0);
}

namespace {

// What libvips' own command tells of an image: its fields, as `vipsheader -a` prints them. A separate
// process, since the engine lets no decoder but JPEG's and PNG's run in this one.
std::string headerOf(const fs::path& image) {
  std::string text;
  if (FILE* pipe = ::popen(("vipsheader -a '" + image.string() + "' 2>&1").c_str(), "r")) {
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, pipe) != nullptr)
      text += buffer;
    ::pclose(pipe);
  }
  return text;
}

}  // namespace

// The AVIF beside a JPEG is the same picture, as small as the JPEG's pixels, in sRGB, without the
// source's metadata, and smaller; once a later JPEG stands there without one, an older AVIF goes, since
// a server would hand it out in the new JPEG's place.
TEST_F(ImageOutput, AnAvifBesideTheJpegIsTheSamePictureSmaller) {
  writeP3RedJpeg(source / "p3.jpg", 2400, 1600);
  RunSettings avif{.stop = {}, .jobs = 1};
  avif.also = {ExtraFormat::avif};
  EXPECT_EQ(runOptimizer(Mode::changedOnly, avif).processed, 1);
  const std::string header = headerOf(output / "p3.jpg.avif");
  EXPECT_NE(header.find("width: 1920\n"), std::string::npos) << header;
  EXPECT_NE(header.find("height: 1280\n"), std::string::npos) << header;
  EXPECT_NE(header.find("interpretation: srgb"), std::string::npos) << header;
  for (const char* field : {"exif-data", "xmp-data", "icc-profile-data"})
    EXPECT_EQ(header.find(field), std::string::npos) << field << "\n" << header;
  EXPECT_LT(fs::file_size(output / "p3.jpg.avif"), fs::file_size(output / "p3.jpg"));
  EXPECT_EQ(outcomeOf("p3.jpg").avifName, "p3.jpg.avif");

  fs::last_write_time(source / "p3.jpg", fs::last_write_time(source / "p3.jpg") + std::chrono::seconds(1));
  runOptimizer(Mode::changedOnly);
  EXPECT_FALSE(fs::exists(output / "p3.jpg.avif"));
}
