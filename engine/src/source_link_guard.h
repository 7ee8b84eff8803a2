#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "output_folder.h"
#include "source_file.h"
#include "source_listing.h"
#include "step_error.h"

// A source entry may be a symbolic link to a file in the output folder. Writing over or removing that
// output file would destroy the source image itself, so such files are never replaced.
class SourceLinkGuard {
 public:
  explicit SourceLinkGuard(const std::vector<SourceEntry>& entries);

  // The name of the source entry whose image is the file under `name` in `folder`, if any.
  std::optional<std::string> sourceAt(const OutputFolder& folder, const std::string& name) const;
  // Fails, with the reason for the log, when writing `name` in `folder` would replace a source image.
  StepError checkReplaceable(const OutputFolder& folder, const std::string& name) const;

 private:
  std::map<FileIdentity, std::string> linkedFiles_;  // the file a link leads to -> source entry name
};
