// Ctrl-C, SIGTERM, SIGHUP and a standard output that fails during a run of large files: the files in
// hand are finished and listed, no temporary file stays, and the exit status says what stopped the
// run. The signal is sent once the first progress line has come through the pipe, which also shows
// that lines are not held back to the end.
#include <signal.h>

#include <cstring>
#include <fstream>
#include <set>
#include <string>

#include "cli_fixture.h"
#include "cli_process.h"
#include "test_images.h"

namespace fs = std::filesystem;

namespace {

constexpr int imageCount = 10;

std::size_t progressLinesIn(const std::string& out) {
  std::size_t count = 0;
  for (const std::string& line : linesOf(out))
    count += line.starts_with("[") ? 1 : 0;
  return count;
}

// Complete JPEG files only, each listed for deletion; nothing half-made. Returns how many there are.
std::size_t expectCompleteOutput(const fs::path& output) {
  std::set<std::string> converted;
  for (const std::string& name : namesIn(output)) {
    if (name == "_DELETE_THESE_OLD_FILES_FROM_SERVER.txt")
      continue;
    EXPECT_TRUE(name.ends_with(".jpg")) << "not a finished output: " << name;
    EXPECT_EQ(test_images::dimensionsOf(output / name).width, 1920) << name;
    converted.insert(fs::path(name).replace_extension(".png").string());
  }
  std::set<std::string> listed;
  std::ifstream list(output / "_DELETE_THESE_OLD_FILES_FROM_SERVER.txt");
  for (std::string line; std::getline(list, line);)
    listed.insert(line);
  EXPECT_EQ(listed, converted);
  return converted.size();
}

}  // namespace

class StopTest : public CliTest {
 protected:
  // Large enough that a file takes a good part of a second, so that the run stops long before its
  // last file. Copies of one image, since noise is slow to make; made once, as the run only reads them.
  static void SetUpTestSuite() {
    source_ = fs::temp_directory_path() / ("tarvolin-cli-stop-" + std::to_string(getpid()));
    fs::create_directories(source_);
    test_images::writeNoisePng(source_ / "photo-0.png", 2400, 2000);
    for (int index = 1; index < imageCount; ++index)
      fs::copy_file(source_ / "photo-0.png", source_ / ("photo-" + std::to_string(index) + ".png"));
  }
  static void TearDownTestSuite() { fs::remove_all(source_); }

  // The first line must come while the run is still going.
  static void awaitFirstLine(CliProcess& cli) {
    EXPECT_EQ(cli.readLine(), "[1/" + std::to_string(imageCount) + "] photo-0.png");
    ASSERT_TRUE(cli.isRunning()) << "the first line came only when the run had ended";
  }

  static inline fs::path source_;
};

struct StopSignal {
  int signal;
  int exitStatus;
};

void PrintTo(const StopSignal& stop, std::ostream* out) {
  *out << sigabbrev_np(stop.signal) << " -> " << stop.exitStatus;
}

class StopBySignalTest : public StopTest, public ::testing::WithParamInterface<StopSignal> {};

TEST_P(StopBySignalTest, FinishesTheFilesInHandAndExitsWithTheSignalsStatus) {
  CliProcess cli({"--jobs", "2", source_, root_ / "out"});
  ASSERT_NO_FATAL_FAILURE(awaitFirstLine(cli));
  cli.sendSignal(GetParam().signal);
  const CliProcess::Ending ending = cli.finish();
  EXPECT_EQ(ending.exitStatus, GetParam().exitStatus) << ending.out << ending.err;
  EXPECT_EQ(ending.err.find("Error:"), std::string::npos) << ending.err;
  EXPECT_TRUE(ending.err.starts_with("tarvolin-cli: SIG" + std::string(sigabbrev_np(GetParam().signal))))
      << ending.err;
  const std::size_t started = progressLinesIn(ending.out);
  EXPECT_LT(started, static_cast<std::size_t>(imageCount)) << ending.out;
  // The summary of what was done, as after any run.
  EXPECT_NE(ending.out.find("\nDone. " + std::to_string(started) + " resized/converted, 0 already small.\n"),
            std::string::npos)
      << ending.out;
  EXPECT_EQ(expectCompleteOutput(root_ / "out"), started);
}

INSTANTIATE_TEST_SUITE_P(Signals, StopBySignalTest,
                         ::testing::Values(StopSignal{SIGINT, 130}, StopSignal{SIGTERM, 143},
                                           StopSignal{SIGHUP, 129}),
                         [](const auto& info) { return std::string(sigabbrev_np(info.param.signal)); });

// --quiet shows a problem while the run goes on, not at its end.
TEST_F(StopTest, QuietPrintsAProblemAsItHappens) {
  const fs::path source = root_ / "source";
  fs::create_directories(source);
  test_images::writeBrokenImage(source / "a.jpg", 600000);
  for (const char* name : {"b.png", "c.png", "d.png"})
    fs::copy_file(source_ / "photo-0.png", source / name);
  CliProcess cli({"--quiet", "--jobs", "1", source, root_ / "out"});
  EXPECT_TRUE(cli.readLine().value_or("").starts_with("a.jpg: could not re-encode"));
  EXPECT_TRUE(cli.isRunning()) << "the problem line came only when the run had ended";
}

// Whoever asks twice does not want to wait: the program ends by the second signal itself. Two
// different signals, since a second SIGINT sent before the first is taken would merge with it.
TEST_F(StopTest, ASecondSignalEndsTheProgramAtOnceAndTheNextRunCleansUp) {
  CliProcess cli({"--jobs", "2", source_, root_ / "out"});
  ASSERT_NO_FATAL_FAILURE(awaitFirstLine(cli));
  cli.sendSignal(SIGINT);
  cli.sendSignal(SIGTERM);
  const CliProcess::Ending ending = cli.finish();
  EXPECT_EQ(ending.endedBySignal, SIGTERM) << "exit status " << ending.exitStatus << "\n" << ending.out;

  // A temporary file the forced end may have left is removed by the next run into the folder.
  EXPECT_EQ(CliProcess::run({"--quiet", source_, root_ / "out"}).exitStatus, 0);
  for (const std::string& name : namesIn(root_ / "out"))
    EXPECT_FALSE(name.starts_with(".tarvolin-")) << name;
}

// Nobody reads what the run does any longer: it stops as on SIGTERM, and says why and where it stopped
// on standard error.
void expectStoppedByOutput(const CliProcess::Ending& ending, int error, const fs::path& output) {
  EXPECT_EQ(ending.exitStatus, 1) << ending.err;
  EXPECT_NE(ending.err.find(std::string("cannot write to standard output: ") + std::strerror(error)),
            std::string::npos)
      << ending.err;
  const std::vector<std::string> lines = linesOf(ending.err);
  ASSERT_FALSE(lines.empty());
  EXPECT_TRUE(lines.back().starts_with("Stopped ")) << ending.err;
  EXPECT_LT(expectCompleteOutput(output), static_cast<std::size_t>(imageCount));
}

TEST_F(StopTest, AClosedPipeStopsTheRunInOrder) {
  CliProcess cli({"--jobs", "2", source_, root_ / "out"});
  ASSERT_NO_FATAL_FAILURE(awaitFirstLine(cli));
  cli.closeOutput();
  expectStoppedByOutput(cli.finish(), EPIPE, root_ / "out");
}

TEST_F(StopTest, AFullDiskUnderStandardOutputStopsTheRunInOrder) {
  expectStoppedByOutput(CliProcess({"--jobs", "2", source_, root_ / "out"}, {}, "/dev/full").finish(), ENOSPC,
                        root_ / "out");
}

// `>&-`: standard output closed from the start is reopened on nothing that takes a write, so the run
// stops in order as for any other failed write, and says the stream is closed.
TEST_F(StopTest, StandardOutputClosedFromTheStartStopsTheRunInOrder) {
  expectStoppedByOutput(
      CliProcess({"--jobs", "2", source_, root_ / "out"}, {}, CliProcess::closedOutput).finish(), EBADF,
      root_ / "out");
}

// `| head -1`: the pipe closes while the last file is still in hand, so nothing is left to stop, and the
// summary's last line goes to standard error after the reason.
TEST_F(StopTest, APipeClosedDuringTheLastFileLeavesTheSummarysLastLineOnStandardError) {
  const fs::path source = root_ / "source";
  fs::create_directories(source);
  test_images::writeSmallGif(source / "a.gif");
  fs::copy_file(source_ / "photo-0.png", source / "b.png");
  CliProcess cli({"--jobs", "2", source, root_ / "out"});
  EXPECT_EQ(cli.readLine(), "[1/2] a.gif");
  cli.closeOutput();
  const CliProcess::Ending ending = cli.finish();
  EXPECT_EQ(ending.exitStatus, 1);
  const std::vector<std::string> lines = linesOf(ending.err);
  ASSERT_EQ(lines.size(), 2u) << ending.err;
  EXPECT_TRUE(lines[0].starts_with("tarvolin-cli: cannot write to standard output: ")) << ending.err;
  EXPECT_NE(lines[1].find(" \u2192 "), std::string::npos) << ending.err;
}
