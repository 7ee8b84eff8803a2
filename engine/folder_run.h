#pragma once

#include <filesystem>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

#include "image_optimizer.h"
#include "output_names.h"
#include "source_link_guard.h"
#include "source_listing.h"

// One run over the listed entries of a source folder: the per-file decisions, the progress lines, the
// totals and the deletion list. Lives for one call of ImageOptimizer::run.
class FolderRun {
 public:
  FolderRun(std::vector<SourceEntry> entries, std::filesystem::path destination,
            ImageOptimizer::OutputMode mode, const ImageOptimizer::Progress& progress);

  ImageOptimizer::Result handleAll(const std::stop_token& stop);

 private:
  // What became of one file, beyond the totals it adds to.
  enum class Problem { none, some };

  // What became of one re-encode; `reason` says why it failed.
  struct Encoding {
    enum Outcome { placed, grew, failed } outcome;
    std::string reason = {};
  };

  Problem handle(const SourceEntry& entry, std::uint64_t size);
  Problem reencode(const SourceEntry& entry, std::uint64_t size);
  // The name to write the re-encoded file under, or nullopt when the original is kept instead.
  std::optional<std::string> outputNameFor(const SourceEntry& entry);
  Encoding encode(const SourceEntry& entry, std::uint64_t size, const std::filesystem::path& target) const;
  bool isRenamedPng(const SourceEntry& entry) const;
  Problem keepOriginal(const SourceEntry& entry);
  void writeDeletionList();
  // A write into the output folder that must not happen, as a one-line reason.
  ImageOptimizer::Failure wouldReplaceSource(const std::filesystem::path& outputFile,
                                             const std::string& writer = {}) const;
  void report(const std::string& line) const { progress_(line); }

  std::vector<SourceEntry> entries_;
  std::filesystem::path destination_;
  ImageOptimizer::OutputMode mode_;
  const ImageOptimizer::Progress& progress_;
  OutputNames outputNames_;
  SourceLinkGuard sourceLinks_;
  ImageOptimizer::Result totals_;
};
