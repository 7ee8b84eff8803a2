// A run's edges, with the image work replaced so that each file's timing is the test's: a stop, an
// image that runs out of memory, a source or an output folder that goes away; and its default jobs.
#include <gtest/gtest.h>
#include <sched.h>

#include <condition_variable>
#include <latch>
#include <thread>

#include "encoder_run.h"
#include "processor_count.h"
#include "test_images.h"

namespace fs = std::filesystem;
using namespace test_images;

class FolderRunEdges : public EncoderRunFixture {
 protected:
  void writePngs(int count) {
    for (int index = 1; index <= count; ++index)
      writeNoisePng(source / ("p" + std::to_string(index) + ".png"), 700, 500);
  }
};

// Files 3 and 4 are done while file 2 is still in hand; file 2 then asks for the stop, and file 5,
// in hand too, is given up unfinished. Whatever else was prepared by then is dropped: the output holds
// files 1 to 4 and nothing after them, and the list names exactly those.
TEST_F(FolderRunEdges, AStopLeavesACleanPrefix) {
  writePngs(8);
  std::stop_source stop;
  std::latch threeAndFourDone(2);
  const Encoder encoder = [&](const SourceFile& input, const ImageHeader&, TempFile& output) {
    const std::string name = nameOf(input);
    if (name == "p2.png") {
      threeAndFourDone.wait();
      stop.request_stop();
    } else if (name == "p3.png" || name == "p4.png") {
      threeAndFourDone.count_down();
    } else if (name == "p5.png") {
      std::mutex mutex;
      std::unique_lock lock(mutex);
      std::condition_variable_any().wait(lock, stop.get_token(), [] { return false; });
      return StepError::ofStop("the run was stopped before the image was finished");
    }
    return smallJpeg(output);
  };
  const ImageOptimizer::Result result =
      runWithEncoder(Mode::changedOnly, encoder, {.jobs = 4, .stop = stop.get_token()});

  EXPECT_EQ(lines, (Names{"[1/8] p1.png", "[2/8] p2.png", "[3/8] p3.png", "[4/8] p4.png"}));
  EXPECT_EQ(namesIn(output), (Names{deletionList, "p1.jpg", "p2.jpg", "p3.jpg", "p4.jpg"}));
  EXPECT_EQ(readBytes(output / deletionList), "p1.png\np2.png\np3.png\np4.png\n");
  EXPECT_EQ(result.stopped, (ImageOptimizer::StopPoint{4, "p4.png"}));
  EXPECT_EQ(result.processed, 4);
  expectNoTemporaryFiles();
}

// An AVIF the encoder refuses costs the file only its AVIF: the JPEG stands, a line says why, and the
// next file gets its AVIF.
TEST_F(FolderRunEdges, AnAvifTheEncoderRefusesLeavesItsJpegAndTheRunGoesOn) {
  writePngs(2);
  const auto withJpeg = [](const SourceFile& input, const ImageHeader&, TempFile& output, AvifRequest& avif) {
    if (nameOf(input) == "p1.png")
      avif.failure = StepError::inWords("the AVIF encoder refused the image");
    else if (const StepError error = writeContents(*avif.output, "AV"))
      return error;
    return smallJpeg(output);
  };
  runWithEncoder(Mode::changedOnly, nullptr, {.avif = {.withJpeg = withJpeg, .alone = nullptr}});

  EXPECT_EQ(namesIn(output), (Names{deletionList, "p1.jpg", "p2.jpg", "p2.jpg.avif"}));
  EXPECT_NE(std::ranges::find(lines, "  no AVIF: the AVIF encoder refused the image"), lines.end());
  expectNoTemporaryFiles();
}

// An encoder that throws must give back the memory its image was lent: otherwise the other images,
// which need more than is left, wait for it for ever and the run never ends.
TEST_F(FolderRunEdges, AnImageThatRunsOutOfMemoryGivesItsMemoryBack) {
  writePngs(6);
  const Encoder encoder = [](const SourceFile& input, const ImageHeader&, TempFile& output) {
    if (nameOf(input) == "p1.png")
      throw std::bad_alloc();
    return smallJpeg(output);
  };
  const ImageOptimizer::Result result =
      runWithEncoder(Mode::fullReplacement, encoder, {.jobs = 4, .memoryInFlight = 100 << 20});
  EXPECT_EQ(outcomeOf("p1.png").reencodeFailure, "not enough memory to decode it");
  EXPECT_EQ(fingerprint(output / "p1.png"), fingerprint(source / "p1.png"));
  EXPECT_EQ(result.processed, 5);
}

// A source that vanished before its turn ends the run at that file, with no line for it; what was
// converted before it is still listed.
TEST_F(FolderRunEdges, AVanishedSourceEndsTheRunAndTheListIsStillWritten) {
  writePngs(1);
  writeSmallGif(source / "q.gif");
  const Encoder encoder = [this](const SourceFile&, const ImageHeader&, TempFile& output) {
    fs::remove(source / "q.gif");
    return smallJpeg(output);
  };
  runWithEncoder(Mode::changedOnly, encoder);
  ASSERT_TRUE(failure);
  EXPECT_EQ(failure->error.code(), std::make_error_code(std::errc::no_such_file_or_directory));
  EXPECT_EQ(failure->where, source / "q.gif");
  EXPECT_EQ(lines, Names{"[1/2] p1.png"});
  EXPECT_EQ(readBytes(output / deletionList), "p1.png\n");
}

// The output folder removed in the middle of a run is one error for the run, not one per file.
TEST_F(FolderRunEdges, AnOutputFolderRemovedMidRunEndsTheRunOnce) {
  writePngs(3);
  const Encoder encoder = [this](const SourceFile& input, const ImageHeader&, TempFile& output) {
    if (nameOf(input) == "p1.png")
      fs::remove_all(this->output);
    return smallJpeg(output);
  };
  runWithEncoder(Mode::changedOnly, encoder, {.jobs = 2});
  ASSERT_TRUE(failure);
  EXPECT_EQ(failure->error.code(), std::make_error_code(std::errc::no_such_file_or_directory));
  EXPECT_EQ(failure->where, output);
  EXPECT_TRUE(lines.empty());
}

// Something that comes in the way of the converted name while the image is worked on shows when it is
// placed: the file is a problem, and its bytes are the source's, since nothing was written for it.
TEST_F(FolderRunEdges, ANameBlockedWhileTheImageWasWorkedOnIsReportedAtPlacing) {
  writePngs(1);
  const Encoder encoder = [this](const SourceFile&, const ImageHeader&, TempFile& output) {
    fs::create_directories(this->output / "p1.jpg");
    return smallJpeg(output);
  };
  const ImageOptimizer::Result result = runWithEncoder(Mode::changedOnly, encoder);
  EXPECT_EQ(lines, (Names{"[1/1] p1.png", "  could not write p1.jpg: a folder named p1.jpg is in the way"}));
  EXPECT_EQ(result.failed, 1);
  EXPECT_EQ(result.bytesAfter, result.bytesBefore);
  EXPECT_TRUE(result.renamedFiles.empty());
}

// A CI container pinned to one CPU must not be given two jobs by default.
TEST(DefaultJobs, FollowTheProcessorsThisProcessMayRunOn) {
  unsigned pinned = 0;
  std::thread([&] {
    cpu_set_t allowed;
    CPU_ZERO(&allowed);
    ASSERT_EQ(::sched_getaffinity(0, sizeof allowed, &allowed), 0);
    cpu_set_t one;
    CPU_ZERO(&one);
    for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu) {
      if (CPU_ISSET(cpu, &allowed)) {
        CPU_SET(cpu, &one);
        break;
      }
    }
    ASSERT_EQ(::sched_setaffinity(0, sizeof one, &one), 0);  // this thread only
    pinned = processorsAvailable();
  }).join();
  EXPECT_EQ(pinned, 1u);
}
