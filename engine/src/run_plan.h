#pragma once

#include <sys/stat.h>

#include <cstdint>
#include <string>
#include <system_error>
#include <vector>

#include "image_optimizer.h"
#include "planned_run.h"
#include "source_listing.h"

class OutputFolder;
class SourceLinkGuard;

// One file's decision (what a dry run prints) and what the run needs besides to carry it out.
struct FilePlan : PlannedFile {
  using Handling = FileHandling;

  SourceEntry entry;
  struct stat source {};  // as listed, through a link
  // The source's status could not be read: the run ends at this file.
  std::error_code statusError;
  // With reencode: where its JPEG goes, the converted name or, when that is taken, its own name.
  std::string reencodeName;
  // The converted name and the entry's own name are one entry of the output folder.
  bool convertedIsOwnName = false;
  // In changedOnly: a PNG that, once converted, is listed for deletion from the server.
  bool listedWhenConverted = false;
  // What keeps the unchanged original from going under its own name, found before any work: another
  // entry holds that name on a drive that ignores letter case, a folder is in the way, or it is the
  // file a source link leads to. Empty when nothing does.
  std::string ownNameBlocked;
  std::uint64_t unchangedBytes = 0;      // with unchanged: the size of the output it found
  std::uint64_t unchangedAvifBytes = 0;  // and of the AVIF beside it, where there is one

  // The run writes the original under its own name when the handling asks for it.
  bool writesOriginal(ImageOptimizer::OutputMode mode) const;
  // Every name the output folder may hold for it after the run: where the plan writes it (or finds it
  // unchanged), and for a re-encode also its own name, which the original takes should the JPEG come
  // out larger.
  std::vector<std::string> namesMade() const;
};

// What deciding needs besides the files.
struct PlanInputs {
  ImageOptimizer::OutputMode mode = ImageOptimizer::OutputMode::changedOnly;
  // The output folder takes names that differ only in case as one.
  bool foldsCase = false;
  // The output folder as it is now; one not there yet holds nothing.
  const OutputFolder* folder = nullptr;
  const SourceLinkGuard* sourceLinks = nullptr;
  bool skipUnchanged = false;
  std::string recordSettings;  // what the records of this run's outputs say of its settings
  bool recursive = false;
  // An AVIF beside every JPEG written (RunSettings::also).
  bool avif = false;
  // With recursive: the subfolders of the source that the run looked into, relative to it. Their names
  // are the output's folders, which no file may take.
  const std::vector<std::string>* sourceFolders = nullptr;
};

struct Plan {
  std::vector<FilePlan> files;
  // Asked to leave unchanged files alone, on an output drive that keeps no records.
  bool recordsUnavailable = false;
  // With skip-unchanged: what earlier runs made that this plan does not (stale_outputs.h).
  std::vector<OutputRemoved> removals;
};

// Decides every entry, in name order.
Plan planRun(const std::vector<SourceEntry>& entries, const PlanInputs& inputs);

// How a folder of the source tree holds its name among the files' names: "blog/" for "blog".
std::string folderClaimant(const std::string& folder);

// The settings part of an output's record: "changed-only/q80/1920px/e1", and "+avif" with AVIF.
std::string recordSettings(ImageOptimizer::OutputMode mode, bool avif = false);

// The name of the AVIF beside the JPEG named `jpeg`.
std::string avifNameOf(const std::string& jpeg);
