#pragma once

#include <cstdint>
#include <string>

#include "file_descriptor.h"
#include "folder_walk.h"
#include "step_error.h"

// A file being written in the output folder, through the one descriptor that created it; nothing ever
// reopens it by name. Where the file system allows, it has no name at all until it is complete
// (O_TMPFILE), so a crash leaves nothing behind; elsewhere it has a hidden name that carries its owner,
// so that a later run can tell a crashed run's leftover from a file that a running run still writes.
// Placed under its final name in one step, replacing what was there; removed if never placed. It is made
// in the folder it goes to where that folder exists already, since a rename cannot cross into a folder
// that is another drive's mount point.
class TempFile {
 public:
  TempFile() = default;
  // Never throws: on failure `error` says why and the file is not valid().
  static TempFile create(int folder, StepError& error);
  // In `folder`, the folder `relative` under `root` (which outlives the file).
  static TempFile createIn(FolderRef folder, int root, std::string relative, StepError& error);
  // Always with a name; the case probe needs one.
  static TempFile createNamed(int folder, StepError& error);
  // Under `name`, which must not exist yet: never opens or follows what stands there.
  static TempFile createNamed(int folder, const std::string& name, StepError& error);
  ~TempFile();

  TempFile(TempFile&& other) noexcept;
  TempFile& operator=(TempFile&& other) noexcept;
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;

  // Holds a file to place: open, or parked.
  bool valid() const { return descriptor_.valid() || parked_; }
  int descriptor() const { return descriptor_.get(); }
  const std::string& name() const { return name_; }  // empty while unnamed
  // Bytes written so far.
  std::uint64_t size() const;

  // Once written: gives the file a hidden name in its folder and lets go of every descriptor, so that a
  // file waiting for its turn holds none, however many wait. Its write is checked here, as placing would.
  StepError park();
  // Puts the file under `finalName` in `folder` (its own, or another on the same drive), replacing the
  // entry there, in one step.
  StepError placeAs(int folder, const std::string& finalName);

  // Removes, from `folder`, the named temporary files whose owner has ended: leftovers of a crash.
  static void removeLeftovers(int folder);
  static bool isTemporaryName(const std::string& name);
  // A new hidden name that carries this process as its owner.
  static std::string freshName();

 private:
  void discard();
  StepError giveName();
  // The folder the file is in: held while it is open, entered afresh from the root once parked.
  FolderRef folder() const;

  int folder_ = -1;  // not owned
  FileDescriptor ownedFolder_;
  int root_ = -1;  // with ownedFolder_: the output folder, and the file's folder relative to it
  std::string relative_;
  FileDescriptor descriptor_;
  std::string name_;
  bool placed_ = false;
  bool parked_ = false;
};
