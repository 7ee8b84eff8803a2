#include "source_link_guard.h"

#include <sys/stat.h>

SourceLinkGuard::SourceLinkGuard(const std::vector<SourceEntry>& entries) {
  for (const SourceEntry& entry : entries) {
    struct stat link {};
    struct stat target {};
    if (::lstat(entry.path.c_str(), &link) != 0 || !S_ISLNK(link.st_mode) ||
        ::stat(entry.path.c_str(), &target) != 0)
      continue;
    linkedFiles_.emplace(FileIdentity{target.st_dev, target.st_ino}, entry.name);
  }
}

std::optional<std::string> SourceLinkGuard::sourceAt(const OutputFolder& folder,
                                                     const std::string& name) const {
  if (linkedFiles_.empty())
    return std::nullopt;
  // A link in the output folder is replaced as a link, never what it leads to.
  const std::optional<FileIdentity> file = folder.fileAt(name);
  if (!file)
    return std::nullopt;
  const auto found = linkedFiles_.find(*file);
  if (found == linkedFiles_.end())
    return std::nullopt;
  return found->second;
}

StepError SourceLinkGuard::checkReplaceable(const OutputFolder& folder, const std::string& name) const {
  const auto source = sourceAt(folder, name);
  if (!source)
    return {};
  return StepError::inWords("it would replace the source file " + *source + ", which links to " + name);
}
