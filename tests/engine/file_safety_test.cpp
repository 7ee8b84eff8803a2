// How the engine writes files: through descriptors it created, into the one folder it opened, with
// temporary files that a crash cannot leave behind for good, on drives that ignore letter case too.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <fstream>
#include <regex>
#include <set>

#include "deletion_list.h"
#include "encoder_run.h"
#include "file_contents.h"
#include "folder_run.h"
#include "image_work.h"
#include "name_claims.h"
#include "output_folder.h"
#include "run_fixture.h"
#include "run_plan.h"
#include "source_listing.h"
#include "temp_file.h"
#include "test_images.h"

namespace fs = std::filesystem;
using namespace test_images;

class FileSafety : public EncoderRunFixture {};

// --- Temporary files ------------------------------------------------------------------------------------

TEST_F(FileSafety, ATemporaryFileHasNoNameUntilItIsPlaced) {
  OutputFolder folder = openOutput();
  StepError error;
  TempFile file = folder.newFile(error);
  ASSERT_FALSE(error) << error.reason();
  ASSERT_EQ(::write(file.descriptor(), "bytes", 5), 5);
  EXPECT_TRUE(namesIn(output).empty()) << "nothing to leave behind while it is written";
  EXPECT_FALSE(folder.place(file, "final.jpg"));
  EXPECT_EQ(namesIn(output), Names{"final.jpg"});
  EXPECT_EQ(readBytes(output / "final.jpg"), "bytes");
}

TEST_F(FileSafety, ANamedTemporaryFileCarriesItsOwnerAndGoesIfNeverPlaced) {
  OutputFolder folder = openOutput();
  std::string name;
  {
    StepError error;
    const TempFile file = TempFile::createNamed(folder.descriptor(), error);
    ASSERT_FALSE(error);
    name = file.name();
    EXPECT_EQ(namesIn(output), Names{name});
  }
  EXPECT_TRUE(namesIn(output).empty());
  const std::regex owner(R"(\.tarvolin-[A-Za-z0-9_]+-(\d+)-\d+-[0-9a-f]{16}\.tmp)");
  std::smatch parts;
  ASSERT_TRUE(std::regex_match(name, parts, owner)) << name;
  EXPECT_EQ(std::stol(parts[1]), ::getpid());
}

TEST_F(FileSafety, ANamedTemporaryFileNeverOpensWhatStandsInItsPlace) {
  OutputFolder folder = openOutput();
  fs::create_symlink(root / "outside.txt", output / "planted-link.tmp");
  writeBytes(output / "planted-file.tmp", "someone's file");
  for (const char* planted : {"planted-link.tmp", "planted-file.tmp"}) {
    StepError error;
    EXPECT_FALSE(TempFile::createNamed(folder.descriptor(), planted, error).valid()) << planted;
    EXPECT_TRUE(error) << planted;
  }
  EXPECT_FALSE(fs::exists(root / "outside.txt"));
  EXPECT_EQ(readBytes(output / "planted-file.tmp"), "someone's file");
}

TEST_F(FileSafety, OnlyLeftoversOfEndedRunsAreRemoved) {
  OutputFolder folder = openOutput();
  const pid_t child = ::fork();
  if (child == 0)
    ::_exit(0);
  ::waitpid(child, nullptr, 0);  // its id now names no process
  const std::string live = TempFile::freshName();
  const std::string host = live.substr(10, live.find('-', 10) - 10);
  const std::string ended = ".tarvolin-" + host + "-" + std::to_string(child) + "-12345-00000000000000aa.tmp";
  const std::string reused =
      ".tarvolin-" + host + "-" + std::to_string(::getpid()) + "-1-00000000000000bb.tmp";
  const std::string otherHost =
      ".tarvolin-elsewhere-" + std::to_string(child) + "-12345-00000000000000cc.tmp";
  for (const std::string& name : {live, ended, reused, otherHost, std::string(".tarvolin-notes.tmp")})
    writeBytes(output / name, "x");
  fs::create_directory(output /
                       (".tarvolin-" + host + "-" + std::to_string(child) + "-1-00000000000000dd.tmp"));

  TempFile::removeLeftovers(folder.descriptor());
  Names expected{live, otherHost, ".tarvolin-notes.tmp",
                 ".tarvolin-" + host + "-" + std::to_string(child) + "-1-00000000000000dd.tmp/"};
  std::ranges::sort(expected);
  EXPECT_EQ(namesIn(output), expected);
}

TEST_F(FileSafety, TheNextRunRemovesACrashedRunsLeftovers) {
  writeNoisePng(source / "a.png", 700, 500);
  writeSmallGif(source / "b.gif");
  fs::create_directories(output);
  const pid_t child = ::fork();
  if (child == 0)
    ::_exit(0);
  ::waitpid(child, nullptr, 0);
  const std::string live = TempFile::freshName();
  const std::string host = live.substr(10, live.find('-', 10) - 10);
  writeBytes(output / (".tarvolin-" + host + "-" + std::to_string(child) + "-7-0123456789abcdef.tmp"),
             "half a JPEG");

  EXPECT_EQ(runOptimizer(Mode::fullReplacement).failed, 0);
  EXPECT_EQ(namesIn(output), (Names{"a.jpg", "b.gif"}));
  expectNoTemporaryFiles();
}

// --- Nothing is written outside the output folder --------------------------------------------------------

TEST_F(FileSafety, LinksInTheOutputFolderAreReplacedNotWrittenThrough) {
  writeNoisePng(source / "a.png", 700, 500);
  writeSmallGif(source / "b.gif");
  fs::create_directories(output);
  fs::create_directories(root / "outside");
  writeBytes(root / "outside" / "victim.jpg", "keep me");
  writeBytes(root / "outside" / "victim.gif", "keep me too");
  fs::create_symlink(root / "outside" / "victim.jpg", output / "a.jpg");
  fs::create_symlink(root / "outside" / "victim.gif", output / "b.gif");

  EXPECT_EQ(runOptimizer(Mode::changedOnly).failed, 0);
  EXPECT_EQ(readBytes(root / "outside" / "victim.jpg"), "keep me");
  EXPECT_EQ(readBytes(root / "outside" / "victim.gif"), "keep me too");
  EXPECT_FALSE(fs::is_symlink(output / "a.jpg"));
  EXPECT_EQ(fingerprint(output / "b.gif"), fingerprint(source / "b.gif"));
}

TEST_F(FileSafety, AnOutputFolderSwappedForALinkMidRunKeepsItsFiles) {
  writeSmallGif(source / "a.gif");
  writeNoisePng(source / "b.png", 700, 500);
  writeSmallGif(source / "c.gif");
  fs::create_directories(root / "elsewhere");
  const fs::path moved = root / "moved";
  const ImageOptimizer::Result result = ImageOptimizer::run(
      source, output, Mode::changedOnly,
      [&](const RunEvent& event) {
        if (std::holds_alternative<FileStarted>(event) && std::get<FileStarted>(event).number == 2) {
          fs::rename(output, moved);  // someone swaps the folder for a link to another place
          fs::create_directory_symlink(root / "elsewhere", output);
        }
      },
      RunSettings{{}, 1});
  EXPECT_EQ(result.failed, 0);
  EXPECT_TRUE(namesIn(root / "elsewhere").empty());
  EXPECT_EQ(namesIn(moved), (Names{deletionList, "a.gif", "b.jpg", "c.gif"}));
}

// --- Drives that ignore letter case ------------------------------------------------------------------------

// A folder that looks names up as a FAT drive does.
class CaseIgnoringFolder final : public CaseProbeFolder {
 public:
  explicit CaseIgnoringFolder(bool ignoresCase) : ignoresCase_(ignoresCase) {}
  std::string createProbeFile() override {
    files_.insert(key(".tarvolin-probe-ab12.tmp"));
    return ".tarvolin-probe-ab12.tmp";
  }
  bool hasEntry(const std::string& name) override { return files_.contains(key(name)); }
  void removeProbeFile(const std::string& name) override { files_.erase(key(name)); }
  bool empty() const { return files_.empty(); }

 private:
  std::string key(const std::string& name) const { return ignoresCase_ ? foldedName(name) : name; }
  bool ignoresCase_;
  std::set<std::string> files_;
};

TEST_F(FileSafety, TheProbeTellsWhetherAFolderIgnoresCase) {
  CaseIgnoringFolder fat(true);
  CaseIgnoringFolder ext4(false);
  EXPECT_TRUE(foldsCase(fat));
  EXPECT_FALSE(foldsCase(ext4));
  EXPECT_TRUE(fat.empty() && ext4.empty()) << "the probe file is removed";
  OutputFolder folder = openOutput();
  EXPECT_FALSE(foldsCase(folder));  // the test folder is on a case-sensitive file system
  EXPECT_TRUE(namesIn(output).empty());
}

TEST_F(FileSafety, NamesFoldAsCaseIgnoringDrivesCompareThem) {
  EXPECT_EQ(foldedName("Photo.JPG"), "photo.jpg");
  EXPECT_EQ(foldedName("\u00C9t\u00C9.PNG"), "\u00E9t\u00E9.png");
  EXPECT_EQ(foldedName("\u03A9\u0414\u0178"), "\u03C9\u0434\u00FF");
  EXPECT_EQ(foldedName("bad\xff\xfe.png"), "bad\xff\xfe.png");
  NameClaims claims(true);
  EXPECT_FALSE(claims.claim("Photo.jpg", "Photo.JPG"));
  EXPECT_EQ(claims.claim("photo.jpg", "photo.png"), "Photo.JPG");
}

TEST_F(FileSafety, OnACaseIgnoringFolderNoOutputReplacesAnother) {
  writeNoiseJpeg(source / "Photo.JPG", 1000, 800);  // becomes Photo.jpg
  writeNoisePng(source / "photo.png", 700, 500);    // would become photo.jpg: the same name there
  writeSmallGif(source / "A.gif");
  writeSmallGif(source / "a.gif");
  SourceListing listing;
  ASSERT_FALSE(listSourceFolder(source, listing));
  const OutputFolder folder = OutputFolder::openToLookAt(output);
  const SourceLinkGuard links(listing.images);
  const std::vector<FilePlan> plans = planRun(listing.images, {.mode = Mode::changedOnly,
                                                               .foldsCase = true,
                                                               .folder = &folder,
                                                               .sourceLinks = &links,
                                                               .skipUnchanged = false,
                                                               .recordSettings = {}})
                                          .files;
  ASSERT_EQ(plans.size(), 4u);
  // In name order: A.gif, Photo.JPG, a.gif, photo.png.
  EXPECT_EQ(plans[1].outputName, "Photo.jpg");
  EXPECT_EQ(plans[3].handling, FilePlan::Handling::keepOwnName);
  EXPECT_EQ(plans[3].nameTakenBy, "Photo.JPG");
  EXPECT_EQ(plans[0].outputName, "A.gif");
  EXPECT_EQ(plans[2].handling, FilePlan::Handling::notWritten);
  EXPECT_EQ(plans[2].notWrittenReason, run_log::sameNameText("a.gif", "A.gif"));
}

// A real exFAT drive, mounted through FUSE where this machine lets the tests do it.
class CaseIgnoringDrive : public FileSafety {
 protected:
  void SetUp() override {
    FileSafety::SetUp();
    if (::geteuid() != 0)
      GTEST_SKIP() << "mounting a drive needs root";
    if (std::system("command -v mkfs.exfat >/dev/null && command -v mount.exfat-fuse >/dev/null") != 0)
      GTEST_SKIP() << "exfatprogs and exfat-fuse are not installed";
    const fs::path image = root / "drive.img";
    fs::create_directories(root / "drive");
    const std::string mount = "truncate -s 64M '" + image.string() + "' && mkfs.exfat '" + image.string() +
                              "' >/dev/null && loop=$(losetup -f --show '" + image.string() +
                              "') && echo $loop > '" + (root / "loop").string() +
                              "' && mount.exfat-fuse -o quiet $loop '" + (root / "drive").string() +
                              "' 2>/dev/null";
    if (std::system(mount.c_str()) != 0)
      GTEST_SKIP() << "this machine does not allow mounting an exFAT image (no loop device or FUSE)";
    mounted_ = true;
    output = root / "drive" / "output";
  }
  void TearDown() override {
    if (mounted_) {
      std::system(("umount '" + (root / "drive").string() + "'; losetup -d $(cat '" +
                   (root / "loop").string() + "') 2>/dev/null")
                      .c_str());
    }
    FileSafety::TearDown();
  }
  bool mounted_ = false;
};

TEST_F(CaseIgnoringDrive, NoOutputReplacesAnother) {
  writeNoiseJpeg(source / "Photo.JPG", 1000, 800);
  writeNoisePng(source / "photo.png", 700, 500);
  writeSmallGif(source / "A.gif");
  writeNoisePng(source / "banner.png", 700, 500);
  std::string other = readBytes(source / "A.gif");
  other[other.size() / 2] ^= 1;
  writeBytes(source / "a.gif", other);

  const ImageOptimizer::Result result = runOptimizer(Mode::changedOnly);
  EXPECT_EQ(totalsOf(result), (Totals{2, 0, 0, {"banner.png"}, 2}));
  EXPECT_EQ(namesIn(output), (Names{"A.gif", "Photo.jpg", deletionList, "banner.jpg", "photo.png"}));
  EXPECT_EQ(fingerprint(output / "A.gif"), fingerprint(source / "A.gif"));
  EXPECT_EQ(fingerprint(output / "photo.png"), fingerprint(source / "photo.png"));
  EXPECT_TRUE(readBytes(output / "Photo.jpg").starts_with("\xFF\xD8\xFF"));
  expectNoTemporaryFiles();
}

// --- Modes ----------------------------------------------------------------------------------------------

class NewFileModes : public RunFixture, public ::testing::WithParamInterface<mode_t> {};

// Re-encodes, copies of every kind and the list all get what a new file gets under the user's umask,
// whatever mode their source has: a source only its owner may read must not reach the server so. A
// subfolder made for them gets a new folder's mode likewise.
TEST_P(NewFileModes, EveryWrittenFileGetsTheUmasksModeNotItsSources) {
  writeNoisePng(source / "converted.png", 700, 500);
  writeJpegThatGrows(source / "grew.jpg");
  writeSmallGif(source / "anim.gif");
  fs::create_directories(source / "blog");
  writeSmallGif(source / "blog" / "deep.gif");
  for (const std::string name : {"converted.png", "grew.jpg", "anim.gif", "blog/deep.gif"})
    fs::permissions(source / name, fs::perms::owner_read);
  fs::permissions(source / "blog", fs::perms::owner_all);
  const mode_t before = ::umask(GetParam());
  runOptimizer(Mode::changedOnly,
               RunSettings{.stop = {}, .jobs = 1, .skipUnchanged = false, .recursive = true});
  ::umask(before);

  ASSERT_EQ(namesIn(output), (Names{deletionList, "anim.gif", "blog/", "converted.jpg", "grew.jpg"}));
  for (const std::string& name : {deletionList, std::string("anim.gif"), std::string("converted.jpg"),
                                  std::string("grew.jpg"), std::string("blog/deep.gif")}) {
    struct stat status {};
    ASSERT_EQ(::stat((output / name).c_str(), &status), 0) << name;
    EXPECT_EQ(status.st_mode & 07777, 0666 & ~GetParam()) << name;
  }
  struct stat folder {};
  ASSERT_EQ(::stat((output / "blog").c_str(), &folder), 0);
  EXPECT_EQ(folder.st_mode & 07777, 0777 & ~GetParam());
}

INSTANTIATE_TEST_SUITE_P(Umasks, NewFileModes, ::testing::Values(mode_t{002}, mode_t{022}, mode_t{077}),
                         [](const auto& info) {
                           return "umask0" + std::to_string(info.param >> 3 & 7) +
                                  std::to_string(info.param & 7);
                         });

// --- The image work's own limits ------------------------------------------------------------------------

TEST_F(FileSafety, AReencodedFileExactlyAsLargeAsItsSourceStays) {
  writeNoisePng(source / "equal.png", 700, 500);
  writeNoisePng(source / "larger.png", 700, 500);
  // The encoder writes exactly as many bytes as the source has, or one more for larger.png.
  const Encoder sized = [](const SourceFile& input, const ImageHeader&, TempFile& output) {
    const bool larger = nameOf(input) == "larger.png";
    return writeContents(output, std::string(input.size() + (larger ? 1 : 0), 'j'));
  };
  const ImageOptimizer::Result result = runWithEncoder(Mode::changedOnly, sized);
  EXPECT_EQ(totalsOf(result), (Totals{1, 0, 1, {"equal.png"}, 0}));
  EXPECT_EQ(namesIn(output), (Names{deletionList, "equal.jpg", "larger.png"}));
}

// The second wall on its own: whatever got past the header inspection, only the JPEG and PNG decoders run.
TEST_F(FileSafety, TheImageWorkDecodesNothingButJpegAndPng) {
  writeOtherFormat(source / "tiff.jpg", OtherFormat::tiff, 20000);
  StepError error;
  const SourceFile input = SourceFile::open(source / "tiff.jpg", error);
  ASSERT_FALSE(startImageLibrary());
  OutputFolder folder = openOutput();
  TempFile output = folder.newFile(error);
  EXPECT_EQ(
      reencodeImage(input, ImageHeader{.width = 64, .height = 48}, output, 1920, 80, WorkLimits{}).reason(),
      "the JPEG data is damaged");
}

TEST_F(FileSafety, NoImageHoldsARunBeyondItsTime) {
  writeNoisePng(source / "big.png", 3000, 3000);
  StepError error;
  const SourceFile input = SourceFile::open(source / "big.png", error);
  ImageHeader header;
  ASSERT_FALSE(inspectImage(input, DecodeLimits{}, header));
  ASSERT_FALSE(startImageLibrary());
  OutputFolder folder = openOutput();

  TempFile overTime = folder.newFile(error);
  const StepError late =
      reencodeImage(input, header, overTime, 1920, 80,
                    WorkLimits{.budget = std::chrono::milliseconds(1), .stopGrace = {}, .stop = {}});
  EXPECT_TRUE(late.reason().starts_with("the image took too long to decode")) << late.reason();

  std::stop_source stop;
  stop.request_stop();
  TempFile stopped = folder.newFile(error);
  const StepError given =
      reencodeImage(input, header, stopped, 1920, 80,
                    WorkLimits{.stopGrace = std::chrono::seconds(0), .stop = stop.get_token()});
  EXPECT_EQ(given.reason(), "the run was stopped before the image was finished");

  // Cut short before its end marker, then 64 GiB of zeros: the decoder is not let past where it ends.
  writeProgressiveJpeg(source / "endless.jpg", 300, 200);
  const std::string jpeg = readBytes(source / "endless.jpg");
  writeBytes(source / "endless.jpg", jpeg.substr(0, jpeg.size() - 2));
  fs::resize_file(source / "endless.jpg", 64ULL << 30);
  const SourceFile endless = SourceFile::open(source / "endless.jpg", error);
  ASSERT_FALSE(inspectImage(endless, DecodeLimits{}, header));
  TempFile cut = folder.newFile(error);
  EXPECT_EQ(reencodeImage(endless, header, cut, 1920, 80,
                          WorkLimits{.budget = std::chrono::seconds(10), .stopGrace = {}, .stop = {}})
                .reason(),
            "the file is cut short");
}

// exFAT keeps no extended attributes, so a re-run redoes every file and says why once; and it refuses
// names that Linux allows, which the log must blame, not the source.
TEST_F(CaseIgnoringDrive, KeepsNoRecordsAndRefusesCharactersLinuxAllows) {
  writeSmallGif(source / "c.gif");
  writeNoisePng(source / "a:b.png", 700, 500);
  const RunSettings skipUnchanged{.stop = {}, .jobs = 1, .skipUnchanged = true};
  runOptimizer(Mode::changedOnly, skipUnchanged);
  EXPECT_EQ(run_log::linesOf(outcomeOf("a:b.png")),
            Names{"  could not write a:b.jpg: the output drive does not allow ':' in names"});

  const ImageOptimizer::Result again = runOptimizer(Mode::changedOnly, skipUnchanged);
  EXPECT_EQ(outcomeOf("c.gif").fate, FileFate::copied);
  EXPECT_TRUE(again.recordsUnavailable);
  EXPECT_EQ(std::ranges::count_if(run_log::closingLines(again),
                                  [](const std::string& line) {
                                    return line.find("no extended attributes") != std::string::npos;
                                  }),
            1);
}

// The dry run and the run take one decision, also where names meet only when case is ignored: a.JPEG
// can take neither a.jpg (a.jpg holds it) nor its own name (A.jpeg holds it), so nothing is written.
TEST_F(CaseIgnoringDrive, ThePlanAndTheRunAgree) {
  writeNoiseJpeg(source / "Photo.JPG", 1000, 800);
  writeNoisePng(source / "photo.png", 700, 500);
  writeSmallGif(source / "A.gif");
  writeSmallJpeg(source / "A.jpeg");
  writeNoiseJpeg(source / "a.JPEG", 1000, 800);
  writeSmallJpeg(source / "a.jpg");
  fs::create_directories(output);
  writeSmallGif(output / "Earlier.gif");  // a name there tells a dry run that the drive ignores case
  for (const Mode mode : {Mode::changedOnly, Mode::fullReplacement}) {
    const PlannedRun plan = ImageOptimizer::plan(source, output, mode);
    EXPECT_TRUE(plan.caseIgnoringOutput);
    const ImageOptimizer::Result result = runOptimizer(mode);
    expectRunCarriedOut(plan, result);
    EXPECT_EQ(outcomeOf("a.JPEG").fate, FileFate::notWritten);
  }
  // Over a tree, folders whose names differ only in case are one folder there too.
  for (const char* folder : {"Blog", "blog"}) {
    fs::create_directories(source / folder);
    writeBytes(source / folder / "x.gif", readBytes(source / "A.gif") + folder);
  }
  const RunSettings recursive{.stop = {}, .jobs = 1, .skipUnchanged = false, .recursive = true};
  const PlannedRun plan = ImageOptimizer::plan(source, output, Mode::changedOnly, recursive);
  expectRunCarriedOut(plan, runOptimizer(Mode::changedOnly, recursive));
  EXPECT_EQ(outcomeOf("blog/x.gif").fate, FileFate::notWritten);
}
