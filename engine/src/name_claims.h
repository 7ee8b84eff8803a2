#pragma once

#include <map>
#include <optional>
#include <string>

// Who may write which name into the output folder. On a folder that ignores letter case, names that
// differ only in case are one name, as they are one file there.
class NameClaims {
 public:
  explicit NameClaims(bool foldsCase) : foldsCase_(foldsCase) {}

  // Gives `name` to `claimant` unless someone else holds it; returns the holder then.
  std::optional<std::string> claim(const std::string& name, const std::string& claimant);
  std::optional<std::string> holderOf(const std::string& name) const;

 private:
  std::string key(const std::string& name) const;

  bool foldsCase_;
  std::map<std::string, std::string> holders_;
};

// `name` with its letters in one case, as case-folding file systems compare names: ASCII, and the
// Latin, Greek and Cyrillic letters that have a case.
std::string foldedName(const std::string& name);
