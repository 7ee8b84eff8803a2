#include "stale_outputs.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <map>
#include <set>

#include "file_descriptor.h"
#include "folder_walk.h"
#include "image_optimizer.h"
#include "name_claims.h"
#include "output_record.h"
#include "temp_file.h"

namespace {

// The names in an open folder, in byte order, and which of them are folders (not through a link).
struct FolderEntries {
  std::vector<std::string> files;
  std::vector<std::string> folders;
};

FolderEntries entriesOf(int folder) {
  FolderEntries entries;
  std::vector<std::string> names;
  if (namesIn(folder, names))
    return entries;
  for (const std::string& name : names) {
    struct stat status {};
    if (::fstatat(folder, name.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0)
      continue;
    if (S_ISREG(status.st_mode))
      entries.files.push_back(name);
    else if (S_ISDIR(status.st_mode))
      entries.folders.push_back(name);
  }
  return entries;
}

std::optional<OutputRecord> recordOf(int folder, const std::string& name) {
  const FileDescriptor file(
      ::openat(folder, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  bool unsupported = false;
  return file.valid() ? readRecord(file.get(), unsupported) : std::nullopt;
}

class StaleSearch {
 public:
  StaleSearch(const OutputFolder& folder, const std::vector<FilePlan>& files, bool foldsCase)
      : folder_(folder), foldsCase_(foldsCase) {
    for (const FilePlan& file : files) {
      plans_.emplace(file.entry.name, &file);
      for (const std::string& name : file.namesMade())
        made_.insert(key(name));
    }
  }

  // Depth first, each folder's files by name and then its folders, as the source is listed; each
  // folder is entered afresh from the root, so that no more than two descriptors are held at any depth.
  std::vector<OutputRemoved> search(bool recursive) {
    std::vector<std::string> pending{""};
    while (!pending.empty()) {
      const std::string relative = std::move(pending.back());
      pending.pop_back();
      StepError error;
      const FolderRef folder = openFolderIn(folder_.descriptor(), relative, WhenMissing::fail, error);
      struct stat status {};
      if (error || ::fstat(folder.get(), &status) != 0 ||
          (!relative.empty() && folder_.isSourceFolder({status.st_dev, status.st_ino})))
        continue;
      const std::string prefix = relative.empty() ? "" : relative + "/";
      if (!relative.empty())
        TempFile::removeLeftovers(folder.get());  // the root's went when the run began
      const FolderEntries entries = entriesOf(folder.get());
      for (const std::string& name : entries.files)
        look(folder.get(), prefix, name);
      if (!recursive)
        break;
      for (auto name = entries.folders.rbegin(); name != entries.folders.rend(); ++name) {
        if (!name->starts_with("."))
          pending.push_back(prefix + *name);
      }
    }
    return std::move(stale_);
  }

 private:
  std::string key(const std::string& name) const { return foldsCase_ ? foldedName(name) : name; }

  void look(int folder, const std::string& prefix, const std::string& leaf) {
    const std::string name = prefix + leaf;
    if (made_.contains(key(name)) || TempFile::isTemporaryName(leaf) ||
        name == ImageOptimizer::deletionListName)
      return;
    const std::optional<OutputRecord> record = recordOf(folder, leaf);
    if (!record)
      return;  // not the program's file
    // Records of the first kind name the source relative to the source folder.
    const std::string sourceName =
        record->made == OutputRecord::Made::unknown ? record->sourceName : prefix + record->sourceName;
    OutputRemoved removal;
    removal.name = name;
    removal.sourceName = sourceName;
    const auto plan = plans_.find(sourceName);
    if (plan == plans_.end()) {
      removal.cause = RemovalCause::sourceGone;
    } else if (plan->second->outputName.empty()) {
      removal.cause = RemovalCause::notWritten;
    } else if (record->made == OutputRecord::Made::avif && plan->second->avifName.empty()) {
      removal.cause = RemovalCause::avifNotMade;
    } else {
      removal.cause = RemovalCause::writtenElsewhere;
      removal.nowWrittenAs = plan->second->outputName;
    }
    stale_.push_back(std::move(removal));
  }

  const OutputFolder& folder_;
  bool foldsCase_;
  std::map<std::string, const FilePlan*> plans_;
  std::set<std::string> made_;
  std::vector<OutputRemoved> stale_;
};

}  // namespace

std::vector<OutputRemoved> findStaleOutputs(const OutputFolder& folder, const std::vector<FilePlan>& files,
                                            bool recursive, bool foldsCase) {
  if (folder.descriptor() < 0)
    return {};  // a dry run's output folder that is not there yet
  return StaleSearch(folder, files, foldsCase).search(recursive);
}

std::set<std::string> outputsWhereFoldersGo(const OutputFolder& folder,
                                            const std::vector<std::string>& folders) {
  std::set<std::string> names;
  for (const std::string& name : folders) {
    const FoundOutput found = folder.findOutput(name);
    if (found.record)
      names.insert(name);
  }
  return names;
}

void removeStaleOutputs(OutputFolder& folder, const SourceLinkGuard* sourceLinks,
                        const std::vector<OutputRemoved>& stale, const RunEventHandler& events,
                        ImageOptimizer::Result& totals) {
  for (OutputRemoved removal : stale) {
    // Looked at again: the folder may have changed since the plan.
    if (!folder.findOutput(removal.name).record ||
        (sourceLinks && sourceLinks->sourceAt(folder, removal.name)))
      continue;
    if (const StepError error = folder.remove(removal.name)) {
      removal.failure = error.reason();
      ++totals.removalsFailed;
    } else {
      ++totals.removed;
    }
    events(removal);
  }
}
