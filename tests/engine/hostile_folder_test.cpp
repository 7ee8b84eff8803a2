// A source folder full of what turns up in real life: damaged and disguised files, unusual image
// kinds, links and hostile names. Whatever it holds, every source file stays byte-for-byte as it was,
// nothing temporary is left behind, and every file is either written or named on a problem line.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <random>
#include <string_view>
#include <utility>

#include "run_fixture.h"
#include "test_images.h"

namespace fs = std::filesystem;
using namespace test_images;
using Mode = ImageOptimizer::OutputMode;

namespace {

struct FileReport {
  std::string name;
  std::vector<std::string> notes;  // the indented lines after the file's progress line

  bool hasNote(const std::string& start) const {
    return std::ranges::any_of(notes, [&](const std::string& note) { return note.starts_with(start); });
  }
  bool hasProblem() const { return hasNote("  could not "); }
};

// The log shows a line feed or tab in a name as its Unicode picture; the fixture uses no other control
// characters.
std::string realName(std::string shown) {
  for (const auto& [picture, control] : {std::pair{"\u240A", "\n"}, std::pair{"\u2409", "\t"}}) {
    for (auto at = shown.find(picture); at != std::string::npos; at = shown.find(picture)) {
      shown.replace(at, std::string_view(picture).size(), control);
    }
  }
  return shown;
}

std::vector<FileReport> reportsFrom(const std::vector<std::string>& lines) {
  std::vector<FileReport> reports;
  for (const std::string& line : lines) {
    if (line.starts_with("  ")) {
      if (!reports.empty())
        reports.back().notes.push_back(line);
    } else {
      reports.push_back({realName(line.substr(line.find("] ") + 2)), {}});
    }
  }
  return reports;
}

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
    writeNoisePng(root / "target.png", 700, 500);
    fs::create_symlink(root / "target.png", source / "link.png");
    fs::create_symlink(root / "missing.png", source / "dangling.png");
    fs::create_symlink(source / "loop.jpg", source / "loop.jpg");
    fs::create_directory(source / "photo.jpg");
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
    const std::vector<FileReport> reports = reportsFrom(lines);
    std::int64_t withProblems = 0;
    for (const FileReport& report : reports) {
      if (report.hasProblem()) {
        ++withProblems;
        continue;
      }
      const bool small = fs::file_size(source / report.name) < ImageOptimizer::skipUnderBytes;
      const bool expectWritten = mode == Mode::fullReplacement || !small || report.name.ends_with(".gif");
      if (expectWritten) {
        EXPECT_TRUE(writtenFor(output, report.name)) << report.name;
      }
    }
    EXPECT_EQ(result.failed, withProblems);
    // Every JPEG and PNG counts once as converted, small or grown, unless its re-encode failed or it is a
    // PNG that kept its own name; GIFs count nowhere.
    const auto counted = std::ranges::count_if(reports, [](const FileReport& report) {
      const bool png = fs::path(report.name).extension() == ".png";
      return !report.name.ends_with(".gif") && !report.hasNote("  could not re-encode") &&
             !(png && report.hasNote("  kept its own name:"));
    });
    EXPECT_EQ(result.processed + result.skippedSmall + result.grew, counted);
  }
};

TEST_P(HostileFolder, LosesNothingAndNamesEveryProblem) {
  makeHostileFolder();
  const auto before = contentsOf(source);
  const Mode mode = GetParam();

  const ImageOptimizer::Result result = runOptimizer(mode);

  EXPECT_EQ(contentsOf(source), before);
  expectNoTemporaryFiles();
  expectEveryFileAccountedFor(mode, result);
  // Links that lead nowhere and folders are not part of the run.
  for (const char* absent : {"dangling.png", "loop.jpg", "photo.jpg"}) {
    EXPECT_EQ(std::ranges::count_if(lines, [&](const std::string& line) { return line.ends_with(absent); }),
              0)
        << absent;
  }
  EXPECT_EQ(fingerprint(output / "animated.gif"), fingerprint(source / "animated.gif"));
  for (int orientation = 1; orientation <= 8; ++orientation) {
    const Pixels turned = dimensionsOf(output / ("turned-" + std::to_string(orientation) + ".jpg"));
    EXPECT_EQ(turned.width > turned.height, orientation <= 4) << "orientation " << orientation;
  }
  // Damaged and disguised files: kept byte-identical under their own names, each on a problem line.
  for (const char* damaged :
       {"cut.jpg", "cut-short.png", "text.png", "random.jpg", "noise.png", "bomb.png"}) {
    EXPECT_EQ(fingerprint(output / damaged), fingerprint(source / damaged)) << damaged;
  }
  EXPECT_EQ(result.failed, 6);
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
