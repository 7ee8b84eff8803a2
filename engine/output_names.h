#pragma once

#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "source_listing.h"

// Decides who may write a converted name (base + ".jpg") into the output folder, so that a run never
// replaces a file it has written itself or has still to write. A converted name belongs first to the
// source entry of exactly that name, else to the first entry that claims it (entries claim in name order).
class OutputNames {
 public:
  explicit OutputNames(const std::vector<SourceEntry>& entries);

  // nullopt when `requester` may write `convertedName`; otherwise the name of the entry that holds it.
  std::optional<std::string> claim(const std::string& requester, const std::string& convertedName);

 private:
  std::set<std::string> sourceNames_;
  std::map<std::string, std::string> claimedBy_;
};
