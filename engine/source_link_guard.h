#pragma once

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "source_listing.h"

// A source entry may be a symbolic link to a file in the output folder. Writing over that output file
// would destroy the source image itself, so such files are never replaced.
class SourceLinkGuard {
 public:
  explicit SourceLinkGuard(const std::vector<SourceEntry>& entries);

  // The name of the source entry whose image is the file at `outputFile`, if any.
  std::optional<std::string> sourceAt(const std::filesystem::path& outputFile) const;

 private:
  std::map<std::filesystem::path, std::string> linkedFiles_;  // real location -> source entry name
};
