// Several files at once: whatever the number of workers, the user sees what a one-at-a-time run shows.
#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>

#include "run_fixture.h"
#include "run_log.h"
#include "test_images.h"

namespace fs = std::filesystem;
using namespace test_images;

class ParallelRun : public RunFixture, public ::testing::WithParamInterface<Mode> {
 protected:
  void makeEverydayFolder() {
    for (const char* name : {"banner.png", "team.png", "a.png", "b.PNG", "b.png"})
      writeNoisePng(source / name, 700, 500);
    for (const char* name : {"hero.jpg", "a.jpg", "photo.JPG", "photo.jpg", "wide.jpeg"})
      writeNoiseJpeg(source / name, 1400, 900);
    writeNoisePng(source / "poster.png", 2600, 1800);  // the largest: started first
    writeJpegThatGrows(source / "dense.jpeg");
    writeSmallPng(source / "icon.png");
    writeSmallJpeg(source / "thumb.jpg");
    writeSmallGif(source / "anim.gif");
    writeBrokenImage(source / "broken.png", 600000);
    writeNoiseJpeg(source / "cut.jpg", 1200, 900);
    truncate(source / "cut.jpg", 0.5);
    writeNoisePng(source / "two\nlines.png", 700, 500);
    fs::create_directories(output / "team.jpg");  // a folder in the way
  }
};

TEST_P(ParallelRun, FourWorkersWriteWhatOneWorkerWrites) {
  makeEverydayFolder();
  const Mode mode = GetParam();
  const ImageOptimizer::Result alone = runOptimizer(mode, 1);
  const std::vector<std::string> linesAlone = lines;
  const auto writtenAlone = contentsOf(output);
  fs::remove_all(output);
  fs::create_directories(output / "team.jpg");

  const ImageOptimizer::Result together = runOptimizer(mode, 4);
  EXPECT_EQ(lines, linesAlone);
  EXPECT_EQ(together, alone);
  EXPECT_EQ(contentsOf(output), writtenAlone);
  EXPECT_GT(alone.failed, 0);
  EXPECT_GT(alone.grew, 0);
  EXPECT_FALSE(alone.stopped);
  // team.jpg is taken by a folder: the original went in its place, and its bytes count as written.
  EXPECT_EQ(outcomeOf("team.png").bytesAfter, fs::file_size(output / "team.png"));
  expectNoTemporaryFiles();
}

// A stop in the middle of a parallel run: the output is the start of a one-at-a-time run's output.
TEST_P(ParallelRun, AStopLeavesTheFilesUpToTheFirstUnfinishedOneAndNothingElse) {
  for (int index = 10; index < 22; ++index)
    writeNoisePng(source / ("image-" + std::to_string(index) + ".png"), 1400, 1000);
  std::stop_source stop;
  const ImageOptimizer::Result result = ImageOptimizer::run(
      source, output, GetParam(),
      [&](const RunEvent& event) {
        events.push_back(event);
        stop.request_stop();  // the first report: several files are in hand by now
      },
      RunSettings{stop.get_token(), 4});

  std::vector<std::size_t> started;
  std::vector<std::size_t> finished;
  for (const RunEvent& event : events) {
    if (const auto* begun = std::get_if<FileStarted>(&event))
      started.push_back(begun->number);
    if (const auto* done = std::get_if<FileOutcome>(&event))
      finished.push_back(done->number);
  }
  std::vector<std::size_t> prefix(started.size());
  std::iota(prefix.begin(), prefix.end(), 1);
  EXPECT_EQ(started, prefix);
  EXPECT_EQ(finished, prefix);
  ASSERT_LT(started.size(), 12u);
  ASSERT_TRUE(result.stopped);
  EXPECT_EQ(result.stopped->filesHandled, static_cast<std::int64_t>(started.size()));
  EXPECT_EQ(result.processed, static_cast<std::int64_t>(started.size()));
  Names expected;
  std::string list;
  for (const FileOutcome& outcome : outcomes()) {
    expected.push_back(fs::path(outcome.name).stem().string() + ".jpg");
    list += outcome.name + "\n";
  }
  if (GetParam() == Mode::changedOnly && !list.empty()) {
    expected.push_back(deletionList);
    EXPECT_EQ(readBytes(output / deletionList), list);
  }
  std::ranges::sort(expected);
  EXPECT_EQ(namesIn(output), expected);
  expectNoTemporaryFiles();
}

INSTANTIATE_TEST_SUITE_P(BothModes, ParallelRun, ::testing::Values(Mode::changedOnly, Mode::fullReplacement),
                         [](const ::testing::TestParamInfo<Mode>& info) {
                           return info.param == Mode::changedOnly ? "changedOnly" : "fullReplacement";
                         });
