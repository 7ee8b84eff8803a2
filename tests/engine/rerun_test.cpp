// Re-runs with skipUnchanged: a file is left alone only while its output still carries the record of
// this very source and these settings. Each trap a deploy meets is redone, and only it; the dry run
// decides the same; a folder that did not change is left exactly as it was.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/xattr.h>

#include <chrono>
#include <fstream>
#include <functional>
#include <map>

#include "output_record.h"
#include "run_fixture.h"
#include "run_log.h"
#include "run_plan.h"
#include "test_images.h"

namespace fs = std::filesystem;
using namespace test_images;

namespace {

const RunSettings skipUnchanged{.stop = {}, .jobs = 1, .skipUnchanged = true};

std::int64_t modifiedNs(const fs::path& path) {
  struct stat status {};
  EXPECT_EQ(::lstat(path.c_str(), &status), 0) << path;
  return std::int64_t{status.st_mtim.tv_sec} * 1'000'000'000 + status.st_mtim.tv_nsec;
}

// `replacement`'s bytes under `file`'s name, with a time a day older than the file had: cp -p of an older
// picture, rsync -t, a restored backup.
void replaceWithOlder(const fs::path& file, const fs::path& replacement) {
  const auto older = fs::last_write_time(file) - std::chrono::hours(24);
  fs::copy_file(replacement, file, fs::copy_options::overwrite_existing);
  fs::last_write_time(file, older);
}

}  // namespace

struct Trap {
  std::string name;
  std::function<void(const fs::path& source, const fs::path& output, const fs::path& spare)> change;
  Mode secondMode;
  Names redone;
};

void PrintTo(const Trap& trap, std::ostream* out) {
  *out << trap.name;
}

class Rerun : public RunFixture, public ::testing::WithParamInterface<Trap> {
 protected:
  // What the run did not leave alone, small files aside (they are never written in changedOnly).
  Names redone() const {
    Names names;
    for (const FileOutcome& outcome : outcomes()) {
      if (outcome.fate != FileFate::unchanged && outcome.fate != FileFate::small)
        names.push_back(outcome.name);
    }
    return names;
  }
};

TEST_P(Rerun, RedoesExactlyWhatChanged) {
  const Trap& trap = GetParam();
  writeNoisePng(source / "a.png", 700, 500);
  writeNoiseJpeg(source / "b.jpg", 1000, 800);
  writeSmallGif(source / "c.gif");
  writeSmallPng(source / "d.png");
  writeNoisePng(root / "other.png", 700, 500);
  ASSERT_EQ(runOptimizer(Mode::changedOnly, skipUnchanged).failed, 0);
  std::map<std::string, std::int64_t> stamps;
  for (const std::string& name : namesIn(output))
    stamps[name] = modifiedNs(output / name);
  const std::int64_t folderStamp = modifiedNs(output);

  trap.change(source, output, root / "other.png");
  const PlannedRun plan = ImageOptimizer::plan(source, output, trap.secondMode, skipUnchanged);
  const ImageOptimizer::Result result = runOptimizer(trap.secondMode, skipUnchanged);
  EXPECT_EQ(redone(), trap.redone);
  EXPECT_FALSE(result.recordsUnavailable);
  for (const PlannedFile& file : plan.files) {
    EXPECT_EQ(file.handling == FileHandling::unchanged, outcomeOf(file.name).fate == FileFate::unchanged)
        << file.name;
  }
  // What was left alone was not written again, and a folder that did not change keeps its time.
  for (const FileOutcome& outcome : outcomes()) {
    if (outcome.fate == FileFate::unchanged) {
      EXPECT_EQ(modifiedNs(output / outcome.outputName), stamps.at(outcome.outputName)) << outcome.name;
    }
  }
  if (trap.redone.empty()) {
    EXPECT_EQ(modifiedNs(output), folderStamp);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Traps, Rerun,
    ::testing::Values(
        Trap{"NothingChanged", [](auto&&...) {}, Mode::changedOnly, {}},
        Trap{"SourceReplacedByAnOlderPicture",
             [](const fs::path& source, const fs::path&, const fs::path& spare) {
               replaceWithOlder(source / "a.png", spare);
             },
             Mode::changedOnly,
             {"a.png"}},
        Trap{"OutputDeleted",
             [](const fs::path&, const fs::path& output, auto&&) { fs::remove(output / "a.jpg"); },
             Mode::changedOnly,
             {"a.png"}},
        Trap{"OutputEditedInPlace",
             [](const fs::path&, const fs::path& output, auto&&) {
               std::ofstream(output / "b.jpg", std::ios::app) << "edited";
             },
             Mode::changedOnly,
             {"b.jpg"}},
        Trap{"OutputReplaced",
             [](const fs::path&, const fs::path& output, const fs::path& spare) {
               fs::copy_file(spare, output / "c.gif", fs::copy_options::overwrite_existing);
             },
             Mode::changedOnly,
             {"c.gif"}},
        Trap{"AnotherMode", [](auto&&...) {}, Mode::fullReplacement, {"a.png", "b.jpg", "c.gif"}}),
    [](const ::testing::TestParamInfo<Trap>& info) { return info.param.name; });

// A file that had a problem carries no record: it is tried again, and reported, on every run until
// it is fixed, and only then left alone.
TEST_F(RunFixture, AFailedFileIsTriedAndReportedUntilItIsFixed) {
  writeNoiseJpeg(root / "good.jpg", 1000, 800);
  writeBrokenImage(source / "broken.jpg", 600000);
  for (int run = 0; run < 2; ++run) {
    EXPECT_EQ(runOptimizer(Mode::changedOnly, skipUnchanged).failed, 1);
    EXPECT_TRUE(outcomeOf("broken.jpg").isProblem());
  }
  replaceWithOlder(source / "broken.jpg", root / "good.jpg");
  EXPECT_EQ(runOptimizer(Mode::changedOnly, skipUnchanged).processed, 1);
  EXPECT_EQ(runOptimizer(Mode::changedOnly, skipUnchanged).skippedUnchanged, 1);
}

// logo.jpg holds its name, so logo.png keeps its own; once logo.jpg is gone from the source, logo.png
// takes logo.jpg, and the photo of the old logo.jpg must not pass for it.
TEST_F(RunFixture, AClashThatShiftsRedoesTheName) {
  writeNoiseJpeg(source / "logo.jpg", 1000, 800);
  writeNoisePng(source / "logo.png", 700, 500);
  runOptimizer(Mode::changedOnly, skipUnchanged);
  ASSERT_EQ(outcomeOf("logo.png").fate, FileFate::keptOwnName);
  const std::string photo = fingerprint(output / "logo.jpg");

  fs::remove(source / "logo.jpg");
  const ImageOptimizer::Result result = runOptimizer(Mode::changedOnly, skipUnchanged);
  EXPECT_EQ(outcomeOf("logo.png").fate, FileFate::reencoded);
  EXPECT_NE(fingerprint(output / "logo.jpg"), photo);
  EXPECT_EQ(result.renamedFiles, Names{"logo.png"});
}

// The record on logo.jpg matches the source in everything but the name it was made from: it is another
// file's output, and is redone.
TEST_F(RunFixture, ARecordCountsOnlyForTheSourceItNames) {
  writeNoiseJpeg(source / "logo.jpg", 1000, 800);
  for (const std::string& madeFrom : {std::string("logo.jpeg"), std::string("logo.jpg")}) {
    fs::create_directories(output);
    writeBytes(output / "logo.jpg", "an earlier output");
    struct stat sourceStatus {};
    struct stat outputStatus {};
    ASSERT_EQ(::stat((source / "logo.jpg").c_str(), &sourceStatus), 0);
    ASSERT_EQ(::stat((output / "logo.jpg").c_str(), &outputStatus), 0);
    const std::string record = recordFor(recordSettings(Mode::changedOnly), OutputRecord::Made::jpeg,
                                         madeFrom, sourceStatus, outputStatus)
                                   .text();
    ASSERT_EQ(
        ::setxattr((output / "logo.jpg").c_str(), outputRecordAttribute, record.data(), record.size(), 0), 0);
    runOptimizer(Mode::changedOnly, skipUnchanged);
    EXPECT_EQ(outcomeOf("logo.jpg").fate, madeFrom == "logo.jpg" ? FileFate::unchanged : FileFate::reencoded)
        << "made from " << madeFrom;
  }
}

// A name clash is reported on every run, but the original it keeps is not written again.
TEST_F(RunFixture, AClashIsReportedAgainButNotRewritten) {
  writeNoiseJpeg(source / "logo.jpg", 1000, 800);
  writeNoisePng(source / "logo.png", 700, 500);
  runOptimizer(Mode::changedOnly, skipUnchanged);
  const std::int64_t written = modifiedNs(output / "logo.png");
  const ImageOptimizer::Result again = runOptimizer(Mode::changedOnly, skipUnchanged);
  EXPECT_EQ(outcomeOf("logo.png").fate, FileFate::keptOwnName);
  EXPECT_EQ(again.failed, 1);
  EXPECT_EQ(modifiedNs(output / "logo.png"), written);
}
