// What the engine reads from a file's own structure before any decoder sees it: the format, the scans,
// whether it was cut short, and the memory decoding will need.
#include "image_header.h"

#include <gtest/gtest.h>

#include <functional>
#include <vips/vips8>

#include "run_fixture.h"
#include "source_file.h"
#include "test_images.h"

namespace fs = std::filesystem;
using namespace test_images;

class ImageHeaderTest : public RunFixture {
 protected:
  StepError inspect(const fs::path& file, ImageHeader& header, const DecodeLimits& limits = {}) {
    StepError error;
    const SourceFile opened = SourceFile::open(file, error);
    EXPECT_FALSE(error) << error.reason();
    return inspectImage(opened, limits, header);
  }

  // Noise saved as a JPEG with the given chroma subsampling and scan layout.
  static void writeJpeg(const fs::path& file, bool progressive, VipsForeignSubsample subsample) {
    startLibvips();
    const vips::VImage noise =
        vips::VImage::gaussnoise(600, 400, vips::VImage::option()->set("sigma", 40.0)->set("mean", 128.0));
    vips::VImage::bandjoin(std::vector<vips::VImage>{noise, noise, noise})
        .cast(VIPS_FORMAT_UCHAR)
        .copy(vips::VImage::option()->set("interpretation", VIPS_INTERPRETATION_sRGB))
        .jpegsave(file.c_str(),
                  vips::VImage::option()->set("interlace", progressive)->set("subsample_mode", subsample));
  }
};

TEST_F(ImageHeaderTest, ProgressiveJpegsNeedTheirCoefficientsInMemory) {
  writeJpeg(source / "baseline.jpg", false, VIPS_FOREIGN_SUBSAMPLE_ON);
  writeJpeg(source / "full.jpg", true, VIPS_FOREIGN_SUBSAMPLE_OFF);
  writeJpeg(source / "half.jpg", true, VIPS_FOREIGN_SUBSAMPLE_ON);
  ImageHeader header;
  ASSERT_FALSE(inspect(source / "baseline.jpg", header));
  EXPECT_EQ(header.scans, 1u);
  EXPECT_FALSE(header.wholeImageDecode);
  EXPECT_EQ(header.decodeBuffer, 0u);
  EXPECT_EQ(header.width, 600u);
  EXPECT_EQ(header.height, 400u);

  ASSERT_FALSE(inspect(source / "full.jpg", header));
  EXPECT_GT(header.scans, 1u);
  EXPECT_TRUE(header.wholeImageDecode);
  EXPECT_EQ(header.decodeBuffer, 600u * 400u * 3u * 2u);  // 4:4:4, two bytes a coefficient
  ASSERT_FALSE(inspect(source / "half.jpg", header));
  // 4:2:0: 16 x 16 MCUs, 38 x 25 of them (the last column padded), four luma blocks and two chroma.
  EXPECT_EQ(header.decodeBuffer, (38u * 25u * 4u + 38u * 25u * 2u) * 64u * 2u);
  EXPECT_FALSE(header.cutShort);
}

TEST_F(ImageHeaderTest, InterlacedAndDeepPngsNeedTheWholeImage) {
  writePngBombHeader(source / "plain.png", 4000, 3000, 600000);
  writePngBombHeader(source / "interlaced.png", 4000, 3000, 600000, 8, true);
  writePngBombHeader(source / "deep.png", 4000, 3000, 600000, 16, true);
  ImageHeader header;
  ASSERT_FALSE(inspect(source / "plain.png", header));
  EXPECT_EQ(header.decodeBuffer, 0u);
  EXPECT_TRUE(header.cutShort) << "no IEND chunk";
  ASSERT_FALSE(inspect(source / "interlaced.png", header));
  EXPECT_EQ(header.decodeBuffer, 4000u * 3000u * 3u);
  ASSERT_FALSE(inspect(source / "deep.png", header));
  EXPECT_EQ(header.decodeBuffer, 4000u * 3000u * 6u);
  // 72 MB of pixels, and 49 MiB for the rows around them: refused under a limit of 100 MB.
  EXPECT_EQ(inspect(source / "deep.png", header, DecodeLimits{.maxDecodeMemory = 100'000'000}).reason(),
            "the image needs about 123.2 MB of memory to decode, more than the 100.0 MB allowed");
}

// What a whole-image decode holds comes on top of the rest, but the rest is that of the image shrunk
// while it is decoded: 864 MB of coefficients leave room enough under the limit for a 144-megapixel
// progressive JPEG, which is decoded at a quarter of its pixels.
TEST_F(ImageHeaderTest, AProgressiveJpegWhoseCoefficientsFitTheLimitIsAllowed) {
  writeJpegSkeleton(source / "huge.jpg", 0xC2, 8, 12000, 12000, 10, 600000);
  ImageHeader header;
  EXPECT_FALSE(inspect(source / "huge.jpg", header)) << "refused at " << memoryToDecode(header) << " bytes";
  EXPECT_EQ(header.decodeBuffer, 12000u * 12000u * 3u * 2u);
}

TEST_F(ImageHeaderTest, ACutShortFileIsToldFromADamagedOne) {
  writeJpegWithMetadata(source / "whole.jpg", 1200, 900);
  std::string bytes = readBytes(source / "whole.jpg");
  // Cut in the scan data, after the EXIF block and its own markers.
  writeBytes(source / "cut.jpg", bytes.substr(0, bytes.size() * 3 / 4));
  ImageHeader header;
  ASSERT_FALSE(inspect(source / "whole.jpg", header));
  EXPECT_FALSE(header.cutShort);
  ASSERT_FALSE(inspect(source / "cut.jpg", header));
  EXPECT_TRUE(header.cutShort);

  const char scanWithoutFrame[] = "\xFF\xD8\xFF\xDA\x00\x08\x01\x01\x00\x00\x3F\x00\xFF\xD9";
  writeBytes(source / "no-frame.jpg", std::string(scanWithoutFrame, sizeof scanWithoutFrame - 1));
  EXPECT_EQ(inspect(source / "no-frame.jpg", header).reason(), "the JPEG data is damaged");
  writeBytes(source / "header-only.png", "\x89PNG\r\n\x1a\n");
  EXPECT_EQ(inspect(source / "header-only.png", header).reason(), "the file is cut short");
}

TEST_F(ImageHeaderTest, ScansAreCountedUpToTheLimit) {
  writeJpegSkeleton(source / "many.jpg", 0xC2, 8, 800, 600, 101, 0);
  writeJpegSkeleton(source / "enough.jpg", 0xC2, 8, 800, 600, 100, 0);
  ImageHeader header;
  EXPECT_FALSE(inspect(source / "enough.jpg", header));
  EXPECT_EQ(header.scans, 100u);
  EXPECT_EQ(inspect(source / "many.jpg", header).reason(),
            "the JPEG is built from more than 100 scans, far more than any real photo needs");
}

// Decoders hold metadata whole in memory: what a real photo carries passes, a file made of little else is
// refused, however small it is stored.
TEST_F(ImageHeaderTest, MetadataBombsAreRefused) {
  const std::string text = std::string("Comment\0\0", 9) + compressed(std::string(1 << 20, ' '));
  const std::string xmp =
      std::string("XML:com.adobe.xmp\0\1\0\0\0", 22) + compressed(std::string(40 << 20, ' '));
  const std::string profile = std::string("icc\0\0", 5) + compressed(std::string(40 << 20, '\0'));
  writeNoiseJpeg(source / "segments.jpg", 40, 30);
  insertJpegSegments(source / "segments.jpg", 0xE1, 520, 65533);  // 34 MB of APP1 segments
  const struct {
    const char* name;
    const char* chunk;  // of a PNG: `count` of them, holding `data`
    const std::string& data;
    int count;
    bool passes;
  } cases[] = {{"some-text.png", "zTXt", text, 20, true},
               {"text-bomb.png", "zTXt", text, 40, false},
               {"xmp-bomb.png", "iTXt", xmp, 1, false},
               {"profile-bomb.png", "iCCP", profile, 1, false},
               {"segments.jpg", nullptr, text, 0, false}};
  for (const auto& bomb : cases) {
    if (bomb.chunk != nullptr)
      writeNoisePng(source / bomb.name, 40, 30);
    for (int index = 0; index < bomb.count; ++index)
      insertPngChunk(source / bomb.name, bomb.chunk, bomb.data);
    ImageHeader header;
    const StepError error = inspect(source / bomb.name, header);
    EXPECT_EQ(error ? error.reason() : "passes",
              bomb.passes ? "passes"
                          : "the file carries more than 32.0 MB of text, profiles and camera data, far "
                            "more than any real image needs")
        << bomb.name;
  }
}

// Reading stops where a decoder would, and when the image's time is up.
TEST_F(ImageHeaderTest, ReadsNoFurtherThanDecodingNeedsNorLongerThanItsTime) {
  writeNoiseJpeg(source / "endless.jpg", 300, 200);
  const std::string jpeg = readBytes(source / "endless.jpg");
  writeBytes(source / "endless.jpg", jpeg.substr(0, jpeg.size() - 2));  // no end marker: 64 GiB of zeros
  fs::resize_file(source / "endless.jpg", 64ULL << 30);
  writeBytes(source / "slow.jpg", "\xFF\xD8\xFF");  // nothing to tell where the image ends
  fs::resize_file(source / "slow.jpg", 1ULL << 30);
  const auto seconds = [](int count) {
    return DecodeLimits{.time = {.budget = std::chrono::seconds(count), .stopGrace = {}, .stop = {}}};
  };
  ImageHeader header;
  EXPECT_FALSE(inspect(source / "endless.jpg", header, seconds(5)));
  EXPECT_TRUE(header.cutShort);
  EXPECT_EQ(inspect(source / "slow.jpg", header, seconds(0)).reason(),
            "the image took too long to decode (more than 0 seconds)");
}
