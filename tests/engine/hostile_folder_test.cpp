// A source folder full of what turns up in real life: damaged and disguised files, unusual image
// kinds, links and hostile names. Whatever it holds, every source file stays byte-for-byte as it was,
// nothing temporary is left behind, and every file is either written or named on a problem line.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <map>
#include <random>
#include <string_view>
#include <utility>

#include "run_fixture.h"
#include "run_log.h"
#include "test_images.h"

namespace fs = std::filesystem;
using namespace test_images;

namespace {

std::string randomBytes(std::size_t size, unsigned seed) {
  std::mt19937 generator(seed);
  std::string bytes(size, '\0');
  for (char& byte : bytes)
    byte = static_cast<char>(generator());
  return bytes;
}

}  // namespace

class HostileFolder : public RunFixture, public ::testing::WithParamInterface<Mode> {
 protected:
  void makeHostileFolder() {
    writeNoiseJpeg(source / "cut.jpg", 1200, 900);
    truncate(source / "cut.jpg", 0.6);
    writeNoisePng(source / "cut-short.png", 700, 500);
    truncate(source / "cut-short.png", 0.7);
    writeBytes(source / "empty.jpg", "");
    std::string text;
    while (text.size() < 600000)
      text += "This is a text file, not a picture at all.\n";
    writeBytes(source / "text.png", text);
    writeBytes(source / "random.jpg", randomBytes(600000, 1));
    writeBytes(source / "noise.png", randomBytes(600000, 2));
    writePngBombHeader(source / "bomb.png", 100000, 100000, 600000);
    writeCmykRedJpeg(source / "cmyk.jpg", 800, 600);
    write16BitPng(source / "deep.png", 500, 400);
    writeGreyAlphaPng(source / "grey-alpha.png", 800, 600);
    writePalettePngWithTransparency(source / "palette.png", 2000, 1000);
    writeInterlacedPng(source / "interlaced.png", 700, 500);
    writeProgressiveJpeg(source / "progressive.jpg", 1200, 900);
    for (int orientation = 1; orientation <= 8; ++orientation) {
      writeRotatedJpeg(source / ("turned-" + std::to_string(orientation) + ".jpg"), 1200, 800, orientation);
    }
    writeAnimatedGif(source / "animated.gif");
    // Other formats under image names, and JPEG and PNG files that no decoder should be given.
    writeOtherFormat(source / "tiff.jpg", OtherFormat::tiff, 600000);
    writeOtherFormat(source / "pdf.png", OtherFormat::pdf, 600000);
    writeOtherFormat(source / "svg.png", OtherFormat::svg, 600000);
    writeOtherFormat(source / "bmp.jpg", OtherFormat::bmp, 600000);
    writeJpegSkeleton(source / "twelve-bit.jpg", 0xC1, 12, 2000, 1500, 1, 600000);
    writeJpegSkeleton(source / "lossless.jpg", 0xC3, 8, 2000, 1500, 1, 600000);
    writeJpegSkeleton(source / "scan-bomb.jpg", 0xC2, 8, 4000, 3000, 5000, 600000);
    writeJpegSkeleton(source / "huge-progressive.jpg", 0xC2, 8, 16000, 16000, 10, 600000);
    writePngBombHeader(source / "deep-interlaced.png", 16383, 16383, 600000, 16, true);
    writeNoisePng(root / "target.png", 700, 500);
    fs::create_symlink(root / "target.png", source / "link.png");
    fs::create_symlink(root / "missing.png", source / "dangling.png");
    fs::create_symlink(source / "loop.jpg", source / "loop.jpg");
    fs::create_directory(source / "photo.jpg");
    ASSERT_EQ(::mkfifo((source / "big.png").c_str(), 0644), 0);
    for (const char* name :
         {"my holiday photo.png", "it's \"quoted\".jpg", "-rf.png", "--help.jpg", "Ångström über.png",
          "bad\xff\xfe.png", "two\nlines.png", "tab\there.png", "brackets[1].png", "$(touch pwned).jpg"}) {
      std::string name_(name);
      if (name_.ends_with(".png")) {
        writeNoisePng(source / name_, 700, 500);
      } else {
        writeNoiseJpeg(source / name_, 1000, 800);
      }
    }
  }

  // Which names a run may have written for a file handled without a problem.
  static bool writtenFor(const fs::path& folder, const std::string& name) {
    return fs::exists(folder / name) || fs::exists(folder / (fs::path(name).stem().string() + ".jpg"));
  }

  void expectEveryFileAccountedFor(Mode mode, const ImageOptimizer::Result& result) {
    std::int64_t problems = 0;
    std::int64_t counted = 0;
    std::uint64_t before = 0;
    std::uint64_t after = 0;
    for (const FileOutcome& outcome : outcomes()) {
      before += outcome.bytesBefore;
      after += outcome.bytesAfter;
      if (outcome.isProblem()) {
        ++problems;
        EXPECT_FALSE(run_log::linesOf(outcome).empty()) << outcome.name << ": a problem without a line";
      } else if (mode == Mode::fullReplacement || outcome.fate != FileFate::small) {
        EXPECT_TRUE(writtenFor(output, outcome.name)) << outcome.name;
      }
      if (outcome.fate == FileFate::reencoded || outcome.fate == FileFate::grew ||
          outcome.fate == FileFate::small)
        ++counted;
    }
    EXPECT_EQ(result.failed, problems);
    EXPECT_EQ(result.processed + result.skippedSmall + result.grew, counted);
    EXPECT_EQ(result.bytesBefore, before);
    EXPECT_EQ(result.bytesAfter, after);
  }
};

TEST_P(HostileFolder, LosesNothingAndNamesEveryProblem) {
  makeHostileFolder();
  const auto before = contentsOf(source);
  const Mode mode = GetParam();

  const PlannedRun plan = ImageOptimizer::plan(source, output, mode);
  const ImageOptimizer::Result result = runOptimizer(mode);

  expectRunCarriedOut(plan, result);
  EXPECT_EQ(result.leftOut, (std::map<EntryKind, std::int64_t>{
                                {EntryKind::folder, 1}, {EntryKind::fifo, 1}, {EntryKind::brokenLink, 2}}));
  EXPECT_EQ(contentsOf(source), before);
  expectNoTemporaryFiles();
  expectEveryFileAccountedFor(mode, result);
  // Links that lead nowhere and folders are not part of the run.
  for (const char* absent : {"dangling.png", "loop.jpg", "photo.jpg", "big.png"}) {
    EXPECT_EQ(std::ranges::count_if(lines, [&](const std::string& line) { return line.ends_with(absent); }),
              0)
        << absent;
  }
  EXPECT_EQ(fingerprint(output / "animated.gif"), fingerprint(source / "animated.gif"));
  for (int orientation = 1; orientation <= 8; ++orientation) {
    const Pixels turned = dimensionsOf(output / ("turned-" + std::to_string(orientation) + ".jpg"));
    EXPECT_EQ(turned.width > turned.height, orientation <= 4) << "orientation " << orientation;
  }
  // Damaged, disguised and hostile files: kept byte-identical under their own names, each with its reason.
  const std::map<std::string, std::string> refused{
      {"cut.jpg", "the file is cut short"},
      {"cut-short.png", "the file is cut short"},
      {"text.png", "not a JPEG or PNG image"},
      {"random.jpg", "not a JPEG or PNG image"},
      {"noise.png", "not a JPEG or PNG image"},
      {"bomb.png", "the image is too large to decode safely (100000 x 100000 pixels)"},
      {"tiff.jpg", "not a JPEG or PNG image"},
      {"pdf.png", "not a JPEG or PNG image"},
      {"svg.png", "not a JPEG or PNG image"},
      {"bmp.jpg", "not a JPEG or PNG image"},
      {"twelve-bit.jpg", "a 12-bit JPEG, which cannot be read"},
      {"lossless.jpg", "a lossless JPEG, which cannot be read"},
      {"scan-bomb.jpg", "the JPEG is built from more than 100 scans, far more than any real photo needs"},
      {"huge-progressive.jpg",
       "the image needs about 1.6 GB of memory to decode, more than the 1.0 GB allowed"},
      {"deep-interlaced.png",
       "the image needs about 1.8 GB of memory to decode, more than the 1.0 GB allowed"},
  };
  for (const auto& [name, reason] : refused) {
    EXPECT_EQ(outcomeOf(name).fate, FileFate::failed) << name;
    EXPECT_EQ(outcomeOf(name).reencodeFailure, reason) << name;
    EXPECT_EQ(fingerprint(output / name), fingerprint(source / name)) << name;
  }
  // In changedOnly the three PNG names that the deletion list cannot hold keep their own names too.
  const std::int64_t unlistable = mode == Mode::changedOnly ? 3 : 0;
  EXPECT_EQ(result.failed, static_cast<std::int64_t>(refused.size()) + unlistable);
  // Unusual but sound images are converted.
  for (const char* large : {"cmyk.jpg", "deep.png", "grey-alpha.png", "palette.png", "interlaced.png"}) {
    EXPECT_GE(fs::file_size(source / large), ImageOptimizer::skipUnderBytes) << large;
  }
  for (const char* sound :
       {"cmyk.jpg", "deep.jpg", "grey-alpha.jpg", "palette.jpg", "interlaced.jpg", "progressive.jpg",
        "link.jpg", "my holiday photo.jpg", "it's \"quoted\".jpg", "-rf.jpg", "--help.jpg",
        "Ångström über.jpg", "brackets[1].jpg", "$(touch pwned).jpg"}) {
    const fs::path file = output / sound;
    ASSERT_TRUE(fs::exists(file)) << sound;
    EXPECT_TRUE(readBytes(file).starts_with("\xFF\xD8\xFF")) << sound;
  }
  EXPECT_FALSE(fs::exists(fs::current_path() / "pwned"));
  const Pixels palette = dimensionsOf(output / "palette.jpg");
  for (const double band : meanColour(output / "palette.jpg", 0, 0, palette.width / 3, palette.height)) {
    EXPECT_GT(band, 250.0) << "transparent palette entries become white";
  }
}

INSTANTIATE_TEST_SUITE_P(BothModes, HostileFolder,
                         ::testing::Values(Mode::changedOnly, Mode::fullReplacement),
                         [](const ::testing::TestParamInfo<Mode>& info) {
                           return info.param == Mode::changedOnly ? "changedOnly" : "fullReplacement";
                         });
