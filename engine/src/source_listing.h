#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "run_events.h"
#include "step_error.h"

enum class ImageKind { jpeg, png, gif };

// One accepted entry of the source folder, with the parts of its name a run decides on.
struct SourceEntry {
  std::filesystem::path path;
  std::string name;  // last path component, exactly as listed
  std::string base;  // name without its extension
  ImageKind kind;
};

// What a run finds directly in its source folder.
struct SourceListing {
  // The regular files (or links to them) whose extension, lower-cased, is jpg, jpeg, png or gif, sorted
  // by name byte-wise (UTF-8 byte order is code point order).
  std::vector<SourceEntry> images;
  // The folders, which a run does not look into: an empty run says how many there are.
  std::int64_t subfolders = 0;
  // Entries named like images that are not regular files (a link counts as what it leads to).
  std::map<EntryKind, std::int64_t> leftOut;
};

StepError listSourceFolder(const std::filesystem::path& source, SourceListing& listing);
