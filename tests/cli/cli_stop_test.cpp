// Ctrl-C and SIGTERM during a run of large files: the files in hand are finished and listed, no
// temporary file stays, and the exit status names the signal. The signal is sent once the first
// progress line has come through the pipe, which also shows that lines are not held back to the end.
#include <signal.h>

#include <chrono>
#include <cstring>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "cli_fixture.h"
#include "cli_process.h"
#include "image_optimizer.h"
#include "run_log.h"
#include "test_images.h"

namespace fs = std::filesystem;

namespace {

constexpr int imageCount = 10;
constexpr auto firstLineTimeout = std::chrono::seconds(120);

// Large enough that a file takes a good part of a second: the run is still going when the signal
// comes, and stops long before its last file. Copies of one image, since noise is slow to make.
fs::path largePngs(const fs::path& folder) {
  fs::create_directories(folder);
  const fs::path first = folder / "photo-0.png";
  test_images::writeNoisePng(first, 2400, 2000);
  for (int index = 1; index < imageCount; ++index)
    fs::copy_file(first, folder / ("photo-" + std::to_string(index) + ".png"));
  return folder;
}

std::size_t progressLinesIn(const std::vector<std::string>& lines) {
  std::size_t count = 0;
  for (const std::string& line : lines)
    count += line.starts_with("[") ? 1 : 0;
  return count;
}

// What a stopped run must leave: complete JPEG files only, each of them listed, nothing half-made.
void expectCompleteOutput(const fs::path& source, const fs::path& output, std::size_t started,
                          const std::vector<std::string>& printed) {
  std::set<std::string> converted;
  ImageOptimizer::Result result;
  for (const std::string& name : namesIn(output)) {
    if (name == "_DELETE_THESE_OLD_FILES_FROM_SERVER.txt")
      continue;
    ASSERT_TRUE(name.ends_with(".jpg")) << "not a finished output: " << name;
    const test_images::Pixels pixels = test_images::dimensionsOf(output / name);
    EXPECT_EQ(pixels.width, 1920) << name;
    const std::string png = fs::path(name).replace_extension(".png").string();
    converted.insert(png);
    result.renamedFiles.push_back(png);
    result.bytesBefore += fs::file_size(source / png);
    result.bytesAfter += fs::file_size(output / name);
  }
  EXPECT_EQ(converted.size(), started) << "every file begun is finished";
  EXPECT_EQ(lineSetOf(output / "_DELETE_THESE_OLD_FILES_FROM_SERVER.txt"), converted);

  result.processed = static_cast<std::int64_t>(converted.size());
  std::vector<std::string> ending = run_log::closingLines(result);
  ending.push_back(run_log::bytesSavedText(result));
  ASSERT_GE(printed.size(), ending.size());
  EXPECT_EQ(
      std::vector<std::string>(printed.end() - static_cast<std::ptrdiff_t>(ending.size()), printed.end()),
      ending);
}

}  // namespace

class StopTest : public CliTest {
 protected:
  // Written once: the source folder is only read.
  static void SetUpTestSuite() {
    std::string pattern = (fs::temp_directory_path() / "tarvolin-cli-stop.XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    sourceRoot_ = pattern;
    largePngs(sourceRoot_ / "source");
  }
  static void TearDownTestSuite() { fs::remove_all(sourceRoot_); }

  static fs::path source() { return sourceRoot_ / "source"; }

  // Starts a run and waits for its first line, which must come while the run is still going.
  void startAndAwaitFirstLine(CliProcess& cli) {
    const std::optional<std::string> first = cli.readLine(firstLineTimeout);
    ASSERT_TRUE(first.has_value()) << "no line within " << firstLineTimeout.count() << " s";
    EXPECT_EQ(*first, "[1/" + std::to_string(imageCount) + "] photo-0.png");
    ASSERT_TRUE(cli.isRunning()) << "the first line came only when the run had ended";
  }

  static inline fs::path sourceRoot_;
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
  CliProcess cli({"--jobs", "2", source(), root_ / "out"});
  ASSERT_NO_FATAL_FAILURE(startAndAwaitFirstLine(cli));
  cli.sendSignal(GetParam().signal);
  const CliProcess::Ending ending = cli.finish();
  EXPECT_EQ(ending.exitStatus, GetParam().exitStatus) << ending.out << ending.err;
  EXPECT_EQ(ending.err.find("Error:"), std::string::npos) << ending.err;
  const std::vector<std::string> lines = linesOf(ending.out);
  const std::size_t started = progressLinesIn(lines);
  EXPECT_LT(started, static_cast<std::size_t>(imageCount)) << ending.out;
  expectCompleteOutput(source(), root_ / "out", started, lines);
}

INSTANTIATE_TEST_SUITE_P(Signals, StopBySignalTest,
                         ::testing::Values(StopSignal{SIGINT, 130}, StopSignal{SIGTERM, 143}),
                         [](const auto& info) { return std::string(sigabbrev_np(info.param.signal)); });

// Whoever asks twice does not want to wait: the program ends by the second signal itself. Two
// different signals, since a second SIGINT sent before the first is taken would merge with it.
TEST_F(StopTest, ASecondSignalEndsTheProgramAtOnceAndTheNextRunCleansUp) {
  CliProcess cli({"--jobs", "2", source(), root_ / "out"});
  ASSERT_NO_FATAL_FAILURE(startAndAwaitFirstLine(cli));
  cli.sendSignal(SIGINT);
  cli.sendSignal(SIGTERM);
  const CliProcess::Ending ending = cli.finish();
  EXPECT_EQ(ending.endedBySignal, SIGTERM) << "exit status " << ending.exitStatus << "\n" << ending.out;

  // A temporary file the forced end may have left is removed by the next run into the folder.
  const CliProcess::Ending again = CliProcess::run({"--quiet", source(), root_ / "out"});
  EXPECT_EQ(again.exitStatus, 0) << again.err;
  for (const std::string& name : namesIn(root_ / "out"))
    EXPECT_FALSE(name.starts_with(".tarvolin-")) << name;
}
