#include "run_plan.h"

#include <filesystem>

#include "deletion_list.h"
#include "name_claims.h"

namespace fs = std::filesystem;
using OutputMode = ImageOptimizer::OutputMode;

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

void planReencoding(FilePlan& plan, OutputMode mode, NameClaims& claims) {
  const SourceEntry& entry = plan.entry;
  const bool png = entry.kind == ImageKind::png;
  plan.listedWhenConverted = png && mode == OutputMode::changedOnly;
  if (plan.listedWhenConverted && !fitsOnDeletionList(entry.name)) {
    plan.ownName = OwnNameReason::cannotBeListed;
    plan.handling = FilePlan::Handling::keepOwnName;
    return;
  }
  if (const auto holder = claims.claim(plan.convertedName, entry.name)) {
    plan.ownName = OwnNameReason::nameTaken;
    plan.nameTakenBy = *holder;
    // A PNG under its own name is the original; a JPEG is re-encoded under its own name.
    plan.handling = png ? FilePlan::Handling::keepOwnName : FilePlan::Handling::reencode;
    plan.writeName = entry.name;
    return;
  }
  plan.handling = FilePlan::Handling::reencode;
  plan.writeName = plan.convertedName;
}

}  // namespace

std::vector<FilePlan> planRun(const std::vector<SourceEntry>& entries, OutputMode mode, bool foldsCase) {
  NameClaims claims = claimOwnNames(entries, foldsCase);
  std::vector<FilePlan> plans;
  plans.reserve(entries.size());
  for (const SourceEntry& entry : entries) {
    FilePlan& plan = plans.emplace_back();
    plan.entry = entry;
    plan.number = plans.size();
    plan.total = entries.size();
    plan.convertedName = entry.base + ".jpg";
    plan.convertedIsOwnName = foldsCase ? foldedName(plan.convertedName) == foldedName(entry.name)
                                        : plan.convertedName == entry.name;
    if (const auto holder = claims.holderOf(entry.name); holder && *holder != entry.name)
      plan.ownNameBlockedBy = *holder;
    plan.plannedSize = fs::file_size(entry.path, plan.sizeError);
    if (plan.sizeError)
      continue;  // the run ends at this file
    if (entry.kind == ImageKind::gif) {
      plan.handling = FilePlan::Handling::copy;
    } else if (plan.plannedSize < ImageOptimizer::skipUnderBytes) {
      plan.handling = FilePlan::Handling::small;
    } else {
      planReencoding(plan, mode, claims);
    }
  }
  return plans;
}
