#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "file_descriptor.h"
#include "step_error.h"

// Names in a run are relative to the source or output folder, with "/" between folders
// ("blog/2024/team.png"). Their folders are reached from the tree's root descriptor one name at a time,
// never through a link: a folder swapped for a link mid-run cannot lead anywhere else, and no path is
// ever longer than one name, however deep the tree.

// "blog/2024/team.png" -> "blog/2024" and "team.png"; a name without "/" is in the root ("").
struct SplitName {
  std::string_view folder;
  std::string_view leaf;
};
SplitName splitName(std::string_view name);

// The folder a name is in: the root itself (borrowed), or a subfolder opened for it (owned).
class FolderRef {
 public:
  FolderRef() = default;
  static FolderRef borrowed(int descriptor) {
    FolderRef folder;
    folder.borrowed_ = descriptor;
    return folder;
  }
  static FolderRef owned(FileDescriptor descriptor) {
    FolderRef folder;
    folder.owned_ = std::move(descriptor);
    return folder;
  }
  int get() const { return owned_.valid() ? owned_.get() : borrowed_; }
  bool valid() const { return get() >= 0; }

 private:
  int borrowed_ = -1;
  FileDescriptor owned_;
};

enum class WhenMissing { fail, create };

// The folder `relative` ("blog/2024", or "" for the root itself) under `root`. With `create`, missing
// folders are made, with the mode a new folder gets under the umask. Fails on a link or a file where a
// folder should be, saying which.
FolderRef openFolderIn(int root, std::string_view relative, WhenMissing missing, StepError& error);

// The names in an open folder, "." and ".." left out, in byte order, read from its start whatever an
// earlier reading left; an error when it cannot be read.
StepError namesIn(int folder, std::vector<std::string>& names);
