#include "source_link_guard.h"

namespace fs = std::filesystem;

SourceLinkGuard::SourceLinkGuard(const std::vector<SourceEntry>& entries) {
  for (const SourceEntry& entry : entries) {
    std::error_code error;
    if (!fs::is_symlink(entry.path, error))
      continue;
    const fs::path target = fs::canonical(entry.path, error);
    if (!error)
      linkedFiles_.emplace(target, entry.name);
  }
}

std::optional<std::string> SourceLinkGuard::sourceAt(const fs::path& outputFile) const {
  if (linkedFiles_.empty())
    return std::nullopt;
  std::error_code error;
  // Replacing a link in the output folder replaces only the link, never what it points to.
  if (fs::is_symlink(outputFile, error))
    return std::nullopt;
  const fs::path location = fs::canonical(outputFile, error);
  if (error)
    return std::nullopt;
  const auto found = linkedFiles_.find(location);
  if (found == linkedFiles_.end())
    return std::nullopt;
  return found->second;
}
