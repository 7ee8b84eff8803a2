#pragma once

#include <sys/stat.h>

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <system_error>
#include <vector>

#include "file_descriptor.h"
#include "run_events.h"
#include "source_file.h"
#include "step_error.h"

enum class ImageKind { jpeg, png, gif };

// One accepted entry of the source tree, with the parts of its name a run decides on.
struct SourceEntry {
  std::filesystem::path path;  // for messages: in a deep tree it may be longer than the system takes
  // Relative to the source folder, "/" between folders: "team.png", or in a subfolder
  // "blog/2024/team.png". Every name the run writes for it is made from it, in the same folder.
  std::string name;
  std::string base;  // name without its extension
  ImageKind kind;
  struct stat status {};  // as listed, through a link
  bool isLink = false;
  // Its status could not be read: the run ends at this file.
  std::error_code statusError{};
};

// How far a run looks.
struct ListingScope {
  bool recursive = false;
  // Never looked into: the output folder, when it lies inside the source folder.
  std::optional<FileIdentity> outputFolder;
};

// What a run finds in its source folder (and, recursive, below it).
struct SourceListing {
  // The source folder, held open: every file and subfolder of the run is reached from it.
  FileDescriptor root;
  // The regular files (or links to them) whose extension, lower-cased, is jpg, jpeg, png or gif: each
  // folder's files by name, byte-wise (UTF-8 byte order is code point order), then, recursive, each of
  // its subfolders in the same order.
  std::vector<SourceEntry> images;
  // The folders directly in the source folder; recursive, every folder looked into below it.
  std::int64_t subfolders = 0;
  // Entries named like images that are not regular files (a link counts as what it leads to).
  std::map<EntryKind, std::int64_t> leftOut;
  // Subfolders that could not be read, by name, and why; the run goes on without them.
  std::vector<std::pair<std::string, std::string>> unreadable;
  // Every folder of the source tree that was looked into: nothing is ever written into one.
  std::set<FileIdentity> folders;
  // With recursive: those below the source folder, relative to it ("blog", "blog/2024").
  std::vector<std::string> folderNames;
};

// Fails only when the source folder itself cannot be read.
StepError listSourceFolder(const std::filesystem::path& source, SourceListing& listing,
                           const ListingScope& scope = {});
