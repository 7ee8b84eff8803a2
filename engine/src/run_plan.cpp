#include "run_plan.h"

#include <algorithm>
#include <map>
#include <optional>

#include "deletion_list.h"
#include "image_work.h"
#include "name_claims.h"
#include "output_folder.h"
#include "output_record.h"
#include "run_log.h"
#include "source_link_guard.h"

using OutputMode = ImageOptimizer::OutputMode;
using Handling = FileHandling;

namespace {

// Every source name exists on the web server already, so an entry's own name belongs to it before any
// converted name: converting a.png must not replace the a.jpg that the server holds. An entry whose
// name is its converted name comes first; on a folder that ignores case, the first in name order
// holds a name that several entries share.
NameClaims claimOwnNames(const std::vector<SourceEntry>& entries, bool foldsCase) {
  NameClaims claims(foldsCase);
  for (const SourceEntry& entry : entries) {
    if (entry.name == entry.base + ".jpg")
      claims.claim(entry.name, entry.name);
  }
  for (const SourceEntry& entry : entries)
    claims.claim(entry.name, entry.name);
  return claims;
}

// The source's subfolders are the output's folders: a folder x.jpg holds its name before x.png may
// convert into it. Returns the folders whose name a file holds already (on a drive that ignores case),
// with that file: nothing can be written into them.
std::map<std::string, std::string> claimFolderNames(const PlanInputs& inputs, NameClaims& claims) {
  std::map<std::string, std::string> blocked;
  if (!inputs.sourceFolders)
    return blocked;
  for (const std::string& folder : *inputs.sourceFolders) {
    if (const auto holder = claims.claim(folder, folderClaimant(folder)))
      blocked.emplace(folder, *holder);
  }
  return blocked;
}

// Why nothing can go into the folder of `name`, when a file holds the name of it or of a folder above.
std::optional<std::string> blockedFolderOf(const std::string& name,
                                           const std::map<std::string, std::string>& blocked) {
  for (const auto& [folder, holder] : blocked) {
    if (name.starts_with(folder + "/"))
      return run_log::sameNameText(folder, holder);
  }
  return std::nullopt;
}

// What stands in the way of writing `name` into the output folder as it is now. An output that is the
// source file itself (its entry links to it) holds the original already: nothing in the way of it.
std::string obstacleAt(const std::string& name, const PlanInputs& inputs, const std::string& entry = {}) {
  StepError error;
  if (inputs.sourceLinks->sourceAt(*inputs.folder, name) != std::optional(entry))
    error = inputs.sourceLinks->checkReplaceable(*inputs.folder, name);
  if (!error)
    error = inputs.folder->checkPlaceable(name);
  return error ? error.reason() : std::string();
}

void planReencoding(FilePlan& plan, const PlanInputs& inputs, NameClaims& claims) {
  const SourceEntry& entry = plan.entry;
  const bool png = entry.kind == ImageKind::png;
  plan.listedWhenConverted = png && inputs.mode == OutputMode::changedOnly;
  if (plan.listedWhenConverted && !fitsOnDeletionList(entry.name)) {
    plan.ownName = OwnNameReason::cannotBeListed;
    plan.handling = Handling::keepOwnName;
    return;
  }
  plan.handling = Handling::reencode;
  plan.reencodeName = plan.convertedName;
  if (const auto holder = claims.claim(plan.convertedName, entry.name)) {
    plan.ownName = OwnNameReason::nameTaken;
    plan.nameTakenBy = *holder;
    // A PNG under its own name is the original; a JPEG is re-encoded under its own name.
    plan.handling = png ? Handling::keepOwnName : Handling::reencode;
    plan.reencodeName = entry.name;
  }
}

// Where the plan's work lands, or why nothing can land: the names are decided here, once.
void placeOutputs(FilePlan& plan, const PlanInputs& inputs) {
  if (plan.handling == Handling::reencode) {
    plan.reencodeBlocked =
        plan.reencodeName == plan.entry.name ? plan.ownNameBlocked : obstacleAt(plan.reencodeName, inputs);
    plan.outputName = plan.reencodeBlocked.empty() ? plan.reencodeName : plan.entry.name;
    plan.listedForDeletion = plan.listedWhenConverted && plan.reencodeBlocked.empty();
    if (!plan.reencodeBlocked.empty() && !plan.ownNameBlocked.empty()) {
      plan.handling = Handling::notWritten;
      plan.notWrittenReason = plan.reencodeBlocked == plan.ownNameBlocked
                                  ? plan.ownNameBlocked
                                  : plan.reencodeBlocked + ", and " + plan.ownNameBlocked;
      plan.outputName.clear();
    }
    return;
  }
  if (!plan.writesOriginal(inputs.mode))
    return;
  if (!plan.ownNameBlocked.empty()) {
    plan.handling = Handling::notWritten;
    plan.notWrittenReason = plan.ownNameBlocked;
    return;
  }
  plan.outputName = plan.entry.name;
}

// The outputs a plan may leave under a name, and what each must be of its source.
struct Candidate {
  std::string name;
  std::vector<OutputRecord::Made> made;
};

std::vector<Candidate> candidatesOf(const FilePlan& plan) {
  using Made = OutputRecord::Made;
  const std::string& ownName = plan.entry.name;
  if (plan.handling != Handling::reencode || !plan.reencodeBlocked.empty())
    return {{ownName, {Made::copy}}};
  if (plan.reencodeName == ownName)
    return {{ownName, {Made::jpeg, Made::kept}}};
  // Its JPEG, or the original where the JPEG came out larger, never a re-encode found under its own name.
  std::vector<Candidate> candidates{{plan.reencodeName, {Made::jpeg}}};
  if (plan.ownNameBlocked.empty())
    candidates.push_back({ownName, {Made::kept}});
  return candidates;
}

// With skip-unchanged: an output that still carries the record of this source and these settings, and
// is what the plan makes under that name, is left alone. An original that stands under its own name for
// a reason a re-run cannot change (its converted name is taken) is left in place, and still reported.
void findUnchanged(FilePlan& plan, const PlanInputs& inputs, bool& recordsUnavailable) {
  for (const Candidate& candidate : candidatesOf(plan)) {
    const FoundOutput found = inputs.folder->findOutput(candidate.name);
    recordsUnavailable = recordsUnavailable || found.recordsUnsupported;
    if (!found.record || std::ranges::find(candidate.made, found.record->made) == candidate.made.end() ||
        *found.record != recordFor(inputs.recordSettings, found.record->made, plan.entry.name, plan.source,
                                   *found.status, found.record->withAvif))
      continue;
    // Its AVIF must be there as it was made with it, or the JPEG is made again with a new one.
    if (found.record->withAvif) {
      const FoundOutput avif = inputs.folder->findOutput(avifNameOf(candidate.name));
      if (!avif.record || *avif.record != recordFor(inputs.recordSettings, OutputRecord::Made::avif,
                                                    plan.entry.name, plan.source, *avif.status))
        continue;
      plan.avifName = avifNameOf(candidate.name);
      plan.unchangedAvifBytes = static_cast<std::uint64_t>(avif.status->st_size);
    }
    plan.unchangedBytes = static_cast<std::uint64_t>(found.status->st_size);
    if (plan.handling == Handling::keepOwnName || !plan.reencodeBlocked.empty()) {
      plan.outputInPlace = true;
      return;
    }
    plan.handling = Handling::unchanged;
    plan.outputName = candidate.name;
    plan.listedForDeletion = plan.listedWhenConverted && candidate.name == plan.convertedName;
    return;
  }
}

// The run writes a JPEG for it, beside which an AVIF may go: a re-encode, or a small JPEG copied.
bool makesJpeg(const FilePlan& plan, OutputMode mode) {
  if (plan.handling == Handling::reencode)
    return plan.reencodeBlocked.empty();
  return plan.handling == Handling::small && mode == OutputMode::fullReplacement &&
         plan.entry.kind == ImageKind::jpeg;
}

void decide(FilePlan& plan, const PlanInputs& inputs, NameClaims& claims,
            const std::map<std::string, std::string>& blockedFolders, bool& recordsUnavailable) {
  const SourceEntry& entry = plan.entry;
  if (const auto blocked = blockedFolderOf(entry.name, blockedFolders)) {
    plan.handling = Handling::notWritten;
    plan.notWrittenReason = *blocked;
    return;
  }
  if (const auto holder = claims.holderOf(entry.name); holder && *holder != entry.name)
    plan.ownNameBlocked = run_log::sameNameText(entry.name, *holder);
  else
    plan.ownNameBlocked = obstacleAt(entry.name, inputs, entry.name);
  if (entry.kind == ImageKind::gif)
    plan.handling = Handling::copy;
  else if (plan.bytes < ImageOptimizer::skipUnderBytes)
    plan.handling = Handling::small;
  else
    planReencoding(plan, inputs, claims);
  placeOutputs(plan, inputs);
  if (inputs.avif && makesJpeg(plan, inputs.mode))
    plan.avifName = avifNameOf(plan.outputName);
  if (inputs.skipUnchanged && !plan.outputName.empty()) {
    const std::string planned = std::exchange(plan.avifName, {});
    findUnchanged(plan, inputs, recordsUnavailable);
    if (plan.handling != Handling::unchanged)
      plan.avifName = planned;
  }
}

}  // namespace

bool FilePlan::writesOriginal(OutputMode mode) const {
  return handling == Handling::copy || handling == Handling::keepOwnName ||
         (handling == Handling::small && mode == OutputMode::fullReplacement);
}

std::vector<std::string> FilePlan::namesMade() const {
  std::vector<std::string> names;
  if (!outputName.empty())
    names.push_back(outputName);
  if (!avifName.empty())
    names.push_back(avifName);
  if (handling == Handling::reencode && reencodeBlocked.empty() && ownNameBlocked.empty() &&
      reencodeName != entry.name) {
    names.push_back(entry.name);
    // A JPEG kept as it is, its re-encode having come out larger, may have its AVIF too.
    if (!avifName.empty() && entry.kind == ImageKind::jpeg)
      names.push_back(avifNameOf(entry.name));
  }
  return names;
}

std::string avifNameOf(const std::string& jpeg) {
  return jpeg + ".avif";
}

std::string folderClaimant(const std::string& folder) {
  return folder + "/";
}

Plan planRun(const std::vector<SourceEntry>& entries, const PlanInputs& inputs) {
  const OutputFolder::PlanLookups lookups(*inputs.folder);
  NameClaims claims = claimOwnNames(entries, inputs.foldsCase);
  const std::map<std::string, std::string> blockedFolders = claimFolderNames(inputs, claims);
  Plan plan;
  plan.files.reserve(entries.size());
  for (const SourceEntry& entry : entries) {
    FilePlan& file = plan.files.emplace_back();
    file.entry = entry;
    file.name = entry.name;
    file.number = plan.files.size();
    file.total = entries.size();
    file.convertedName = entry.base + ".jpg";
    file.convertedIsOwnName = inputs.foldsCase ? foldedName(file.convertedName) == foldedName(entry.name)
                                               : file.convertedName == entry.name;
    file.source = entry.status;
    file.statusError = entry.statusError;
    if (file.statusError)
      continue;  // the run ends at this file
    file.bytes = static_cast<std::uint64_t>(file.source.st_size);
    decide(file, inputs, claims, blockedFolders, plan.recordsUnavailable);
  }
  return plan;
}

std::string recordSettings(OutputMode mode, bool avif) {
  return std::string(mode == OutputMode::changedOnly ? "changed-only" : "full-replacement") + "/q" +
         std::to_string(ImageOptimizer::jpegQuality) + "/" + std::to_string(ImageOptimizer::maxDimension) +
         "px/e" + std::to_string(encodingVersion) + (avif ? "+avif" : "");
}
