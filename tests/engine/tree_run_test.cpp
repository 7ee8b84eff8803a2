// Recursive runs: the whole tree in one order a person can follow, mirrored into the output, with the
// folders a run must not enter left alone, and every folder reached without following a link.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>

#include "encoder_run.h"
#include "file_descriptor.h"
#include "run_log.h"
#include "test_images.h"

namespace fs = std::filesystem;
using namespace test_images;

namespace {

const RunSettings recursive{.stop = {}, .jobs = 1, .skipUnchanged = false, .recursive = true};

std::vector<std::string> startedNames(const std::vector<RunEvent>& events) {
  std::vector<std::string> names;
  for (const RunEvent& event : events) {
    if (const auto* started = std::get_if<FileStarted>(&event))
      names.push_back(started->name);
  }
  return names;
}

}  // namespace

class TreeRun : public EncoderRunFixture {};

TEST_F(TreeRun, MirrorsTheTreeInItsOrderAndEntersNothingItMustNot) {
  writeSmallGif(source / "z.gif");
  fs::create_directories(source / "blog" / "2024");
  writeNoiseJpeg(source / "blog" / "logo.jpg", 1000, 800);
  writeNoisePng(source / "blog" / "logo.png", 700, 500);  // logo.jpg holds its name in blog/ only
  writeSmallGif(source / "blog" / "2024" / "team.gif");
  fs::create_directories(source / "products");
  writeNoisePng(source / "products" / "logo.png", 700, 500);
  fs::create_directories(source / ".cache");
  writeSmallGif(source / ".cache" / "hidden.gif");
  fs::create_directories(root / "elsewhere");
  writeSmallGif(root / "elsewhere" / "outside.gif");
  fs::create_directory_symlink(root / "elsewhere", source / "linked");
  fs::create_directory_symlink(source, source / "blog" / "loop");
  output = source / "out";  // inside the source: never a part of it
  fs::create_directories(output);
  writeSmallGif(output / "earlier.gif");

  const ImageOptimizer::Result oneJob = runOptimizer(Mode::changedOnly, recursive);
  const Names order{"z.gif", "blog/logo.jpg", "blog/logo.png", "blog/2024/team.gif", "products/logo.png"};
  EXPECT_EQ(startedNames(events), order);
  EXPECT_EQ(oneJob.renamedFiles, Names{"products/logo.png"});
  EXPECT_EQ(outcomeOf("blog/logo.png").fate, FileFate::keptOwnName);
  EXPECT_EQ(readBytes(output / deletionList), "products/logo.png\n");
  for (const char* written :
       {"z.gif", "blog/logo.jpg", "blog/logo.png", "blog/2024/team.gif", "products/logo.jpg"})
    EXPECT_TRUE(fs::is_regular_file(output / written)) << written;
  EXPECT_EQ(namesIn(output), (Names{deletionList, "blog/", "earlier.gif", "products/", "z.gif"}));

  // Any number of jobs gives the same log, and the dry run the same decisions.
  const std::vector<std::string> linesOfOneJob = lines;
  fs::remove_all(output);
  const PlannedRun plan = ImageOptimizer::plan(source, output, Mode::changedOnly, recursive);
  RunSettings fourJobs = recursive;
  fourJobs.jobs = 4;
  const ImageOptimizer::Result result = runOptimizer(Mode::changedOnly, fourJobs);
  EXPECT_EQ(lines, linesOfOneJob);
  expectRunCarriedOut(plan, result);

  // A re-run finds each output in its own folder, whichever folder the name before it was in; all but
  // blog/logo.png, whose kept name is a problem, told again on every run.
  RunSettings rerun = recursive;
  rerun.skipUnchanged = true;
  EXPECT_EQ(runOptimizer(Mode::changedOnly, rerun).skippedUnchanged, 4);
}

// A stop in the middle of the tree leaves the prefix in the run's order, across folders, list included.
TEST_F(TreeRun, AStopLeavesThePrefixAcrossFolders) {
  for (const char* folder : {"a", "b"}) {
    fs::create_directories(source / folder);
    for (const char* name : {"p1.png", "p2.png"})
      writeNoisePng(source / folder / name, 700, 500);
  }
  std::stop_source stop;
  int encoded = 0;
  const Encoder encoder = [&](const SourceFile&, const ImageHeader&, TempFile& output) {
    if (++encoded == 3)
      stop.request_stop();  // while b/p1.png is worked on, one file at a time
    return smallJpeg(output);
  };
  const ImageOptimizer::Result result =
      runWithEncoder(Mode::changedOnly, encoder, {.stop = stop.get_token(), .recursive = true});
  EXPECT_EQ(result.stopped, (ImageOptimizer::StopPoint{3, "b/p1.png"}));
  EXPECT_EQ(readBytes(output / deletionList), "a/p1.png\na/p2.png\nb/p1.png\n");
  EXPECT_FALSE(fs::exists(output / "b" / "p2.jpg"));
}

// An output subfolder swapped for a link while the run goes on: the run never writes through it.
TEST_F(TreeRun, AFolderSwappedForALinkMidRunLeadsNoWriteOutside) {
  fs::create_directories(source / "blog");
  writeNoisePng(source / "blog" / "p1.png", 700, 500);
  fs::create_directories(output / "blog");  // from an earlier run
  fs::create_directories(root / "elsewhere");
  const Encoder encoder = [&](const SourceFile&, const ImageHeader&, TempFile& output) {
    fs::rename(this->output / "blog", root / "moved");
    fs::create_directory_symlink(root / "elsewhere", this->output / "blog");
    return smallJpeg(output);
  };
  runWithEncoder(Mode::changedOnly, encoder, {.recursive = true});
  EXPECT_TRUE(fs::is_empty(root / "elsewhere"));
  EXPECT_EQ(outcomes().at(0).writeFailure, "a link or a file stands where the folder blog should be");
  expectNoTemporaryFiles();
}

// Deeper than PATH_MAX: no path is ever handed to the system whole.
TEST_F(TreeRun, ATreeDeeperThanAPathCanBeWorks) {
  const std::string longName(200, 'd');
  FileDescriptor folder(::open(source.c_str(), O_RDONLY | O_DIRECTORY));
  std::string relative;
  for (int depth = 0; depth < 25; ++depth) {  // 25 x 201 characters, beyond the 4096 of PATH_MAX
    ASSERT_EQ(::mkdirat(folder.get(), longName.c_str(), 0755), 0);
    folder = FileDescriptor(::openat(folder.get(), longName.c_str(), O_RDONLY | O_DIRECTORY));
    relative += longName + "/";
  }
  writeSmallGif(root / "small.gif");
  const std::string gif = readBytes(root / "small.gif");
  const FileDescriptor deep(::openat(folder.get(), "deep.gif", O_WRONLY | O_CREAT, 0644));
  ASSERT_EQ(::write(deep.get(), gif.data(), gif.size()), static_cast<ssize_t>(gif.size()));

  const ImageOptimizer::Result result = runOptimizer(Mode::changedOnly, recursive);
  EXPECT_EQ(result.failed, 0);
  EXPECT_EQ(startedNames(events), Names{relative + "deep.gif"});
  StepError error;
  const SourceFile copy = SourceFile::openIn(
      FileDescriptor(::open(output.c_str(), O_RDONLY | O_DIRECTORY)).get(), relative + "deep.gif", error);
  EXPECT_FALSE(error) << error.reason();
  EXPECT_EQ(copy.size(), gif.size());
  // Its record is read back however long its name: a re-run leaves it alone, and says nothing else.
  RunSettings again = recursive;
  again.skipUnchanged = true;
  const ImageOptimizer::Result rerun = runOptimizer(Mode::changedOnly, again);
  EXPECT_EQ(rerun.skippedUnchanged, 1);
  EXPECT_EQ(rerun.recordsNotKept, 0);
  // std::filesystem cannot remove what it cannot name; rm walks the tree by descriptors.
  ASSERT_EQ(std::system(("rm -rf '" + source.string() + "' '" + output.string() + "'").c_str()), 0);
}

// Names are decided once, folders included: a folder x.jpg holds its name before x.png may convert into
// it, and a JPEG renamed in a subfolder is named by its path.
TEST_F(TreeRun, APlanNeverPromisesANameTwice) {
  writeNoisePng(source / "x.png", 700, 500);
  fs::create_directories(source / "x.jpg");
  writeNoiseJpeg(source / "x.jpg" / "in.jpg", 1000, 800);
  fs::create_directories(source / "blog");
  writeNoiseJpeg(source / "blog" / "Big.JPEG", 1000, 800);
  const PlannedRun plan = ImageOptimizer::plan(source, output, Mode::changedOnly, recursive);
  const ImageOptimizer::Result result = runOptimizer(Mode::changedOnly, recursive);
  EXPECT_EQ(result.failed, 1) << "x.png keeps its own name";
  EXPECT_EQ(outcomeOf("x.png").nameTakenBy, "x.jpg/");
  EXPECT_EQ(outcomeOf("x.jpg/in.jpg").fate, FileFate::reencoded);
  expectRunCarriedOut(plan, result);
  EXPECT_EQ(run_log::closingLines(result).back(),
            "1 JPEG file now ends in .jpg: blog/Big.JPEG \u2192 blog/Big.jpg -- links to its old name need "
            "mending.");
}

// An output subfolder that is another drive's mount point: its files are made there, since a rename
// cannot cross drives.
TEST_F(TreeRun, AnOutputSubfolderOnAnotherDriveWorks) {
  fs::create_directories(output / "blog");
  if (std::system(
          ("mount -t tmpfs -o size=16m tmpfs '" + (output / "blog").string() + "' 2>/dev/null").c_str()) != 0)
    GTEST_SKIP() << "this machine does not let the test mount a drive";
  fs::create_directories(source / "blog");
  writeNoisePng(source / "blog" / "logo.png", 700, 500);
  writeSmallGif(source / "blog" / "anim.gif");
  const ImageOptimizer::Result result = runOptimizer(Mode::changedOnly, recursive);
  const Names inside = namesIn(output / "blog");
  std::system(("umount '" + (output / "blog").string() + "'").c_str());
  EXPECT_EQ(result.failed, 0) << (lines.size() > 1 ? lines[1] : "");
  EXPECT_EQ(inside, (Names{"anim.gif", "logo.jpg"}));
}
