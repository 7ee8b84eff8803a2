#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <ostream>
#include <stop_token>
#include <string>
#include <vector>

#include "image_optimizer.h"
#include "run_events.h"

using Names = std::vector<std::string>;
using Mode = ImageOptimizer::OutputMode;

// Spelled out here rather than taken from the engine, so that a changed name fails the tests.
inline const std::string deletionList = "_DELETE_THESE_OLD_FILES_FROM_SERVER.txt";

// Test names and failure messages show the mode by name.
inline void PrintTo(ImageOptimizer::OutputMode mode, std::ostream* out) {
  *out << (mode == ImageOptimizer::OutputMode::changedOnly ? "changedOnly" : "fullReplacement");
}

// The counts of a Result, without its byte totals, which depend on the encoder's output.
struct Totals {
  std::int64_t processed = 0;
  std::int64_t skippedSmall = 0;
  std::int64_t grew = 0;
  Names renamedFiles;
  std::int64_t failed = 0;
  bool operator==(const Totals&) const = default;
};

inline Totals totalsOf(const ImageOptimizer::Result& result) {
  return {result.processed, result.skippedSmall, result.grew, result.renamedFiles, result.failed};
}

inline void PrintTo(const Totals& totals, std::ostream* out) {
  *out << "{processed " << totals.processed << ", skippedSmall " << totals.skippedSmall << ", grew "
       << totals.grew << ", renamed " << totals.renamedFiles.size() << ", failed " << totals.failed << "}";
}

// Marks `file` as an output an earlier run made from `sourceName` (in the file's folder), as the extended
// attribute a run writes; spelled out here so that a changed record format fails the tests.
void markAsMadeByARun(const std::filesystem::path& file, const std::string& sourceName);

// A fresh source and output folder per test, and a run that records what it reports.
class RunFixture : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // The real engine, one file at a time unless told otherwise; `events` and `lines` hold what it
  // reported, the lines as the log shows them.
  ImageOptimizer::Result runOptimizer(Mode mode, unsigned jobs = 1, std::stop_token stop = {});
  ImageOptimizer::Result runOptimizer(Mode mode, const RunSettings& settings);

  // What became of each file, in the order reported.
  std::vector<FileOutcome> outcomes() const;
  const FileOutcome& outcomeOf(const std::string& name) const;

  // Names in a folder, sorted; "name/" for a folder.
  static std::vector<std::string> namesIn(const std::filesystem::path& folder);
  // Every file in a folder with the fingerprint of its bytes, to compare before and after a run.
  static std::map<std::string, std::string> contentsOf(const std::filesystem::path& folder);
  void expectNoTemporaryFiles() const;
  // The run just made carried out `plan` file by file: the same files, names and handling (a re-encode
  // may still write the original instead, which only the work can tell), and the same deletion list
  // but for those.
  void expectRunCarriedOut(const PlannedRun& plan, const ImageOptimizer::Result& result) const;

  std::filesystem::path root;
  std::filesystem::path source;
  std::filesystem::path output;
  std::vector<RunEvent> events;
  std::vector<std::string> lines;
};
