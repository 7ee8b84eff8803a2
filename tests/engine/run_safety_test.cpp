// Runs that must never lose or damage a file: same folders, failing files and writes, name clashes,
// things in the source folder that are not files.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <algorithm>
#include <csignal>
#include <stdexcept>

#include "file_descriptor.h"
#include "run_fixture.h"
#include "run_log.h"
#include "test_images.h"

namespace fs = std::filesystem;
using namespace test_images;

namespace {

std::string describe(const std::function<void()>& action) {
  try {
    action();
  } catch (const ImageOptimizer::RunError& error) {
    return error.what();
  }
  return "no error";
}

}  // namespace

class RunSafety : public RunFixture {};

// --- The output folder must not be the source folder -------------------------------------------------

TEST_F(RunSafety, RefusesTheSourceFolderUnderAnySpelling) {
  writeNoisePng(source / "logo.png", 700, 500);
  writeSmallGif(source / "anim.gif");
  fs::create_directory_symlink(source, root / "link-to-source");
  const auto before = contentsOf(source);

  for (const fs::path& same :
       {source, source / ".." / "source", root / "link-to-source", fs::path(source.string() + "/")}) {
    output = same;
    EXPECT_EQ(describe([&] { runOptimizer(Mode::fullReplacement); }),
              "The output folder must be different from the source folder.")
        << same;
    EXPECT_TRUE(lines.empty());
  }
  EXPECT_EQ(namesIn(source), (Names{"anim.gif", "logo.png"}));
  EXPECT_EQ(contentsOf(source), before);
}

TEST_F(RunSafety, OutputHoldingHardLinksToSourcesKeepsTheSources) {
  writeSmallGif(source / "anim.gif");
  writeSmallPng(source / "icon.png");
  fs::create_directories(output);
  fs::create_hard_link(source / "anim.gif", output / "anim.gif");
  fs::create_hard_link(source / "icon.png", output / "icon.png");
  const auto before = contentsOf(source);

  const ImageOptimizer::Result result = runOptimizer(Mode::fullReplacement);
  EXPECT_EQ(result.failed, 0);
  EXPECT_EQ(contentsOf(source), before);
  EXPECT_EQ(contentsOf(output), before);
}

TEST_F(RunSafety, SourceLinksIntoTheOutputFolderAreNeverWrittenOver) {
  fs::create_directories(output);
  writeNoiseJpeg(output / "x.jpg", 1000, 800);
  writeSmallGif(output / "anim.gif");
  fs::create_symlink(output / "x.jpg", source / "x.png");
  fs::create_symlink(output / "anim.gif", source / "anim.gif");
  const std::string photo = fingerprint(output / "x.jpg");
  const std::string animation = fingerprint(output / "anim.gif");

  const ImageOptimizer::Result result = runOptimizer(Mode::changedOnly);
  EXPECT_EQ(lines,
            (Names{"[1/2] anim.gif", "[2/2] x.png",
                   "  could not write x.jpg (kept the original): it would replace the source file x.png, "
                   "which links to x.jpg"}));
  EXPECT_EQ(totalsOf(result), (Totals{0, 0, 0, {}, 1}));
  EXPECT_EQ(fingerprint(output / "x.jpg"), photo);
  EXPECT_EQ(fingerprint(output / "x.png"), photo);
  EXPECT_EQ(fingerprint(output / "anim.gif"), animation);
  expectNoTemporaryFiles();
}

// --- Folders that cannot be used -------------------------------------------------------------------

// A typo in the source folder must not leave an empty output folder behind.
TEST_F(RunSafety, MissingSourceOrASourceThatIsAFileFailsBeforeCreatingAnything) {
  writeBytes(root / "a-file.png", "not a folder");
  output = root / "new" / "output";
  for (const auto& [given, reason] : {std::pair{root / "missing", "No such file or directory: "},
                                      std::pair{root / "a-file.png", "Not a directory: "}}) {
    source = given;
    EXPECT_EQ(describe([&] { runOptimizer(Mode::changedOnly); }), reason + source.string());
    EXPECT_FALSE(fs::exists(root / "new"));
    EXPECT_TRUE(lines.empty());
  }
}

TEST_F(RunSafety, OutputFolderThatCannotBeCreatedFailsBeforeAnythingHappens) {
  writeBytes(root / "a-file", "in the way");
  writeSmallGif(source / "anim.gif");
  output = root / "a-file" / "output";
  const std::string description = describe([&] { runOptimizer(Mode::changedOnly); });
  EXPECT_EQ(description, "Not a directory: " + output.string());
  EXPECT_EQ(description.find("filesystem error"), std::string::npos);
  EXPECT_TRUE(lines.empty());
}

TEST_F(RunSafety, ASecondRunIntoTheSameOutputFolderEndsAtOnce) {
  writeSmallGif(source / "a.gif");
  fs::create_directories(output);
  const FileDescriptor otherRun(::open(output.c_str(), O_RDONLY | O_DIRECTORY));
  ASSERT_EQ(::flock(otherRun.get(), LOCK_EX), 0);
  EXPECT_EQ(describe([&] { runOptimizer(Mode::changedOnly); }),
            "Another run is writing into the output folder " + output.string() +
                "; start this one once it has finished.");
  EXPECT_TRUE(namesIn(output).empty());
}

// --- Files that cannot be re-encoded or copied -------------------------------------------------------

TEST_F(RunSafety, UnreadableImagesAreKeptAsTheyAreAndReported) {
  writeNoiseJpeg(source / "cut.jpg", 1200, 900);
  std::string cut = readBytes(source / "cut.jpg");
  cut.resize(cut.size() * 2 / 3);
  writeBytes(source / "cut.jpg", cut);
  std::string junk(600000, '\0');
  for (std::size_t i = 0; i < junk.size(); ++i)
    junk[i] = static_cast<char>((i * 2654435761u) >> 13);
  writeBytes(source / "junk.png", junk);
  writePngBombHeader(source / "bomb.png", 100000, 100000, 600000);

  const ImageOptimizer::Result result = runOptimizer(Mode::changedOnly);
  EXPECT_EQ(totalsOf(result), (Totals{0, 0, 0, {}, 3}));
  ASSERT_EQ(lines.size(), 6u);
  EXPECT_EQ(lines[0], "[1/3] bomb.png");
  EXPECT_EQ(lines[1],
            "  could not re-encode (kept the original): the image is too large to decode safely "
            "(100000 x 100000 pixels)");
  EXPECT_EQ(lines[2], "[2/3] cut.jpg");
  EXPECT_EQ(lines[3], "  could not re-encode (kept the original): the file is cut short");
  EXPECT_EQ(lines[4], "[3/3] junk.png");
  EXPECT_EQ(lines[5], "  could not re-encode (kept the original): not a JPEG or PNG image");
  // The originals, unchanged, under their own names; nothing listed for deletion.
  EXPECT_EQ(contentsOf(output), contentsOf(source));
  expectNoTemporaryFiles();
}

TEST_F(RunSafety, FailedWritesAreReportedAndCountedOncePerFile) {
  writeSmallGif(source / "anim.gif");
  writeNoisePng(source / "logo.png", 700, 500);
  writeNoisePng(source / "team.png", 700, 500);
  // Folders standing where the run wants to put files make the final rename fail, even for root.
  for (const char* blocked :
       {"anim.gif/x", "logo.jpg/x", "logo.png/x", "_DELETE_THESE_OLD_FILES_FROM_SERVER.txt/x"})
    fs::create_directories(output / blocked);

  const ImageOptimizer::Result result = runOptimizer(Mode::changedOnly);
  const auto inTheWay = [](const std::string& name) { return "a folder named " + name + " is in the way"; };
  EXPECT_EQ(lines,
            (Names{"[1/3] anim.gif", "  not written: " + inTheWay("anim.gif"), "[2/3] logo.png",
                   "  not written: " + inTheWay("logo.jpg") + ", and " + inTheWay("logo.png"),
                   "[3/3] team.png", "  could not write " + deletionList + ": " + inTheWay(deletionList)}));
  EXPECT_EQ(totalsOf(result), (Totals{1, 0, 0, {"team.png"}, 2}));
  EXPECT_TRUE(result.deletionListFailed);
  EXPECT_TRUE(fs::is_regular_file(output / "team.jpg"));
  expectNoTemporaryFiles();

  // A small image that cannot be copied is a problem, not also one "already small".
  fs::remove_all(source);
  fs::create_directories(source);
  writeSmallPng(source / "icon.png");
  fs::create_directories(output / "icon.png/x");
  EXPECT_EQ(totalsOf(runOptimizer(Mode::fullReplacement)), (Totals{0, 0, 0, {}, 1}));
}

// A full disk, as the kernel reports it: writes beyond the limit fail with "File too large".
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    previousHandler_ = std::signal(SIGXFSZ, SIG_IGN);
    ::getrlimit(RLIMIT_FSIZE, &previous_);
    const rlimit limited{bytes, previous_.rlim_max};
    ::setrlimit(RLIMIT_FSIZE, &limited);
  }
  ~FileSizeLimit() {
    ::setrlimit(RLIMIT_FSIZE, &previous_);
    std::signal(SIGXFSZ, previousHandler_);
  }
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;

 private:
  rlimit previous_{};
  void (*previousHandler_)(int) = nullptr;
};

// Few descriptors, as a desktop session may allow: a run holds only those of the files in hand.
class DescriptorLimit {
 public:
  explicit DescriptorLimit(rlim_t count) {
    ::getrlimit(RLIMIT_NOFILE, &previous_);
    const rlimit limited{count, previous_.rlim_max};
    ::setrlimit(RLIMIT_NOFILE, &limited);
  }
  ~DescriptorLimit() { ::setrlimit(RLIMIT_NOFILE, &previous_); }
  DescriptorLimit(const DescriptorLimit&) = delete;
  DescriptorLimit& operator=(const DescriptorLimit&) = delete;

 private:
  rlimit previous_{};
};

TEST_F(RunSafety, ARunOverManyFilesHoldsFewDescriptors) {
  writeSmallGif(source / "model.gif");
  for (int index = 0; index < 400; ++index)
    fs::copy_file(source / "model.gif", source / ("image-" + std::to_string(index) + ".gif"));
  ImageOptimizer::Result result;
  {
    const DescriptorLimit limit(160);
    result = runOptimizer(Mode::changedOnly, 4);
  }
  EXPECT_EQ(result.failed, 0);
  EXPECT_EQ(namesIn(output).size(), 401u);
}

TEST_F(RunSafety, FullDiskLeavesNoHalfWrittenFile) {
  writeNoisePng(source / "big.png", 1500, 1000);
  std::string bigGif = "GIF89a";
  bigGif.resize(400000, '\x01');
  writeBytes(source / "big.gif", bigGif);
  writeSmallGif(source / "small.gif");
  fs::create_directories(output);
  writeBytes(output / "big.jpg", "from an earlier run");
  writeBytes(output / "big.gif", "from an earlier run");

  ImageOptimizer::Result result;
  {
    const FileSizeLimit limit(300000);
    result = runOptimizer(Mode::changedOnly);
  }
  const std::string tooLarge = std::make_error_code(std::errc::file_too_large).message();
  ASSERT_EQ(lines.size(), 6u);
  EXPECT_EQ(lines[0], "[1/3] big.gif");
  EXPECT_EQ(lines[1], "  could not copy: " + tooLarge);
  EXPECT_EQ(lines[2], "[2/3] big.png");
  EXPECT_EQ(lines[3], "  could not re-encode: write error (" + tooLarge + ")");
  EXPECT_EQ(lines[4], "  could not copy: " + tooLarge);
  EXPECT_EQ(lines[5], "[3/3] small.gif");
  EXPECT_EQ(totalsOf(result), (Totals{0, 0, 0, {}, 2}));
  // Earlier files stay whole; nothing half-written appears under a real name.
  EXPECT_EQ(namesIn(output), (Names{"big.gif", "big.jpg", "small.gif"}));
  EXPECT_EQ(readBytes(output / "big.jpg"), "from an earlier run");
  EXPECT_EQ(readBytes(output / "big.gif"), "from an earlier run");
  expectNoTemporaryFiles();
}

// --- Names that clash in the output folder ------------------------------------------------------------

struct ClashCase {
  Names sourceNames;
  Names expectedLines;
  Names expectedOutput;
  Names renamed;
  // A PNG that keeps its own name could not be optimized.
  std::int64_t failed = 0;
};

void PrintTo(const ClashCase& clash, std::ostream* out) {
  for (const std::string& name : clash.sourceNames)
    *out << name << ' ';
}

class RunNameClash : public RunFixture, public ::testing::WithParamInterface<ClashCase> {};

TEST_P(RunNameClash, NeverReplacesAFileItWritesItself) {
  const ClashCase& clash = GetParam();
  for (const std::string& name : clash.sourceNames) {
    if (name.ends_with("png") || name.ends_with("PNG")) {
      writeNoisePng(source / name, 700, 500);
    } else {
      writeNoiseJpeg(source / name, 1000, 800);
    }
  }
  const ImageOptimizer::Result result = runOptimizer(Mode::changedOnly);
  EXPECT_EQ(lines, clash.expectedLines);
  EXPECT_EQ(namesIn(output), clash.expectedOutput);
  EXPECT_EQ(result.renamedFiles, clash.renamed);
  EXPECT_EQ(result.failed, clash.failed);
  for (const std::string& name : clash.expectedOutput) {
    if (name.ends_with(".png")) {
      EXPECT_EQ(fingerprint(output / name), fingerprint(source / name)) << name;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Names, RunNameClash,
    ::testing::Values(
        ClashCase{{"a.png", "a.jpg"},
                  {"[1/2] a.jpg", "[2/2] a.png", "  kept its own name: a.jpg is taken by a.jpg"},
                  {"a.jpg", "a.png"},
                  {},
                  1},
        ClashCase{{"a.PNG", "a.png"},
                  {"[1/2] a.PNG", "[2/2] a.png", "  kept its own name: a.jpg is taken by a.PNG"},
                  {deletionList, "a.jpg", "a.png"},
                  {"a.PNG"},
                  1},
        ClashCase{
            {"photo.jpeg", "photo.jpg"},
            {"[1/2] photo.jpeg", "  kept its own name: photo.jpg is taken by photo.jpg", "[2/2] photo.jpg"},
            {"photo.jpeg", "photo.jpg"},
            {}},
        ClashCase{
            {"photo.JPG", "photo.jpg"},
            {"[1/2] photo.JPG", "  kept its own name: photo.jpg is taken by photo.jpg", "[2/2] photo.jpg"},
            {"photo.JPG", "photo.jpg"},
            {}},
        ClashCase{{"b.jpeg", "b.JPEG"},
                  {"[1/2] b.JPEG", "[2/2] b.jpeg", "  kept its own name: b.jpg is taken by b.JPEG"},
                  {"b.jpeg", "b.jpg"},
                  {}}),
    [](const ::testing::TestParamInfo<ClashCase>& info) {
      std::string name;
      for (const std::string& file : info.param.sourceNames)
        name += (name.empty() ? "" : "_with_") + file;
      std::ranges::replace(name, '.', '_');
      return name;
    });

TEST_F(RunSafety, NamesThatCannotBeListedKeepTheirOwnName) {
  writeNoisePng(source / "two\nlines.png", 700, 500);
  writeNoisePng(source / "bad\xff.png", 700, 500);
  const ImageOptimizer::Result result = runOptimizer(Mode::changedOnly);
  EXPECT_TRUE(result.renamedFiles.empty());
  EXPECT_EQ(result.failed, 2);
  EXPECT_FALSE(fs::exists(output / deletionList));
  EXPECT_EQ(contentsOf(output), contentsOf(source));
  EXPECT_EQ(lines[1], "  kept its own name: the name cannot be written to " + deletionList);
  EXPECT_EQ(lines[2], "[2/2] two\u240Alines.png") << "the log shows the line feed, on one line";

  // Nothing is listed in full replacement, so the same files are simply converted there.
  EXPECT_EQ(runOptimizer(Mode::fullReplacement).processed, 2);
  EXPECT_TRUE(fs::exists(output / "two\nlines.jpg"));
}

// --- Entries that are not regular files ---------------------------------------------------------------

TEST_F(RunSafety, OnlyRegularFilesAndLinksToThemTakePart) {
  fs::create_directory(source / "folder.jpg");
  writeNoisePng(root / "outside.png", 700, 500);
  fs::create_symlink(root / "outside.png", source / "linked.png");
  fs::create_symlink(root / "nowhere.png", source / "dangling.png");
  fs::create_symlink(source / "loop.jpg", source / "loop.jpg");
  ASSERT_EQ(::mkfifo((source / "pipe.jpg").c_str(), 0600), 0);

  const ImageOptimizer::Result result = runOptimizer(Mode::changedOnly);
  EXPECT_EQ(lines, Names{"[1/1] linked.png"});
  EXPECT_EQ(result.processed, 1);
  EXPECT_EQ(result.renamedFiles, Names{"linked.png"});
  EXPECT_EQ(namesIn(output), (Names{deletionList, "linked.jpg"}));
  EXPECT_TRUE(fs::is_symlink(source / "linked.png"));
}
