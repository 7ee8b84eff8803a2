#pragma once

#include <filesystem>
#include <stop_token>
#include <string>
#include <vector>

#include "image_optimizer.h"
#include "output_names.h"
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

  Problem handle(const SourceEntry& entry, std::uint64_t size);
  Problem reencode(const SourceEntry& entry, std::uint64_t size);
  Problem keepOriginal(const SourceEntry& entry);
  void writeDeletionList();
  void report(const std::string& line) const { progress_(line); }

  std::vector<SourceEntry> entries_;
  std::filesystem::path destination_;
  ImageOptimizer::OutputMode mode_;
  const ImageOptimizer::Progress& progress_;
  OutputNames outputNames_;
  ImageOptimizer::Result totals_;
};
