#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "step_error.h"

enum class ImageKind { jpeg, png, gif };

// One accepted entry of the source folder, with the parts of its name a run decides on.
struct SourceEntry {
  std::filesystem::path path;
  std::string name;  // last path component, exactly as listed
  std::string base;  // name without its extension
  ImageKind kind;
};

// The regular files (or links to them) directly in `source` whose extension, lower-cased, is jpg, jpeg,
// png or gif, sorted by name byte-wise (UTF-8 byte order is code point order).
StepError listImageEntries(const std::filesystem::path& source, std::vector<SourceEntry>& entries);
