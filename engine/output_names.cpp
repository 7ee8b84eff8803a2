#include "output_names.h"

OutputNames::OutputNames(const std::vector<SourceEntry>& entries) {
  for (const SourceEntry& entry : entries)
    sourceNames_.insert(entry.name);
}

std::optional<std::string> OutputNames::claim(const std::string& requester,
                                              const std::string& convertedName) {
  if (convertedName == requester)
    return std::nullopt;
  if (sourceNames_.contains(convertedName))
    return convertedName;
  const auto [holder, granted] = claimedBy_.try_emplace(convertedName, requester);
  if (granted || holder->second == requester)
    return std::nullopt;
  return holder->second;
}
