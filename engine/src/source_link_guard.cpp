#include "source_link_guard.h"

SourceLinkGuard::SourceLinkGuard(const std::vector<SourceEntry>& entries) {
  for (const SourceEntry& entry : entries) {
    if (entry.isLink && !entry.statusError)
      linkedFiles_.emplace(FileIdentity{entry.status.st_dev, entry.status.st_ino}, entry.name);
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
