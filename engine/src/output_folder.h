#pragma once

#include <sys/stat.h>

#include <filesystem>
#include <optional>
#include <set>
#include <string>

#include "file_descriptor.h"
#include "folder_walk.h"
#include "source_file.h"
#include "step_error.h"
#include "temp_file.h"

// What finding out whether a folder tells names apart by case needs of it; a test stands in for a file
// system it cannot mount.
class CaseProbeFolder {
 public:
  virtual ~CaseProbeFolder() = default;
  // Creates a new empty file and returns its name, or an empty name when none can be created.
  virtual std::string createProbeFile() = 0;
  virtual bool hasEntry(const std::string& name) = 0;
  virtual void removeProbeFile(const std::string& name) = 0;
};

// True when the folder takes a name in other letter cases as the same name (FAT and exFAT drives, SMB
// shares, case-folding folders): there, photo.jpg and Photo.jpg are one file.
bool foldsCase(CaseProbeFolder& folder);

// The same without writing, from the names the folder holds: one of them found under another spelling
// that the folder does not list. None when the folder holds no name with letters.
std::optional<bool> foldsCaseByNames(int folder);

// File systems that ignore letter case whatever their folders hold: FAT, exFAT, SMB shares.
bool isCaseIgnoringFileSystem(int folder);

// For a dry run that writes nothing: from the names a folder already holds (the folder, or when it is
// not there yet the nearest folder above it), else from the kind of file system. A folder that tells
// nothing either way (an empty one on a FUSE drive) counts as telling case apart.
bool foldsCaseWithoutWriting(const std::filesystem::path& folder);

class OutputFolder;

// For a run, without writing where the folder's names or its file system tell, so that a re-run that
// changes nothing leaves the folder as it was. Only where neither tells, and the run's names would
// meet if case were ignored, a probe file is made.
bool foldsCaseForRun(OutputFolder& folder, bool namesMeetWhenFolded);

struct FoundOutput;

// The output folder, held open for the whole run: every file is created, placed and removed relative to
// this one descriptor, so that nothing is ever written outside it, whatever happens to its entries or
// to the path that led to it. Names are relative to it ("blog/2024/team.jpg"); their folders are
// entered one at a time, never through a link (folder_walk.h), and made only when a file goes in.
class OutputFolder final : public CaseProbeFolder {
 public:
  OutputFolder() = default;
  // The folder must exist.
  static OutputFolder open(const std::filesystem::path& path, StepError& error);
  // For a dry run: the folder as it is, to be looked at only; one that is not there holds nothing.
  static OutputFolder openToLookAt(const std::filesystem::path& path);

  const std::filesystem::path& path() const { return path_; }
  int descriptor() const { return descriptor_.get(); }

  // Fails, as a run-ending error would, when no file can be created in the folder.
  StepError requireWritable();
  // Claims the folder for this run until the folder is closed; fails when another run holds it. Two runs
  // into one folder would each replace the other's deletion list with their own half of the names. A
  // lock on the folder's own descriptor leaves no file behind, whatever way the run ends.
  StepError lockForRun();

  TempFile newFile(StepError& error) { return TempFile::create(descriptor(), error); }
  // A temporary file for `name`: in its folder where that folder exists (it may be another drive's
  // mount point), else in this folder, whose drive the folder is then made on.
  TempFile newFileFor(const std::string& name, StepError& error) const;
  // Puts `file` under `name`, replacing what is there, making the folders it is in; a folder of that
  // name stays and is named, and so does a character in the name that the drive refuses.
  StepError place(TempFile& file, const std::string& name);
  // Fails, naming it, when a folder is in the way of a file named `name`.
  StepError checkPlaceable(const std::string& name) const;
  // The folder was removed while the run held it open: nothing can be placed in it any more.
  bool removed() const;
  StepError remove(const std::string& name);
  // The regular file under `name` (not following a link), if there is one.
  std::optional<FileIdentity> fileAt(const std::string& name) const;
  // Its size and times likewise.
  std::optional<struct stat> statusOfFileAt(const std::string& name) const;
  // The file under `name` and the record of what it was made from (output_record.h).
  FoundOutput findOutput(const std::string& name) const;
  // The folders of the source tree: a subfolder of the output that is one of them is never written into.
  void keepOutOf(std::set<FileIdentity> sourceFolders) { sourceFolders_ = std::move(sourceFolders); }
  bool isSourceFolder(const FileIdentity& folder) const { return sourceFolders_.contains(folder); }
  // Files a re-run removes before it places anything, which a plan looks through as if they were gone:
  // an output of an earlier run where the source now has a folder of that name.
  void lookThrough(std::set<std::string> names) { goneBeforePlacing_ = std::move(names); }

  // While a plan looks every name over, before anything is written, the folder the previous name was
  // in is kept open for the next: names come folder by folder, and entering each one again from the
  // root cost most of a re-run over a deep tree. A run's own lookups never reuse it, since they must
  // meet a folder swapped for a link since.
  class PlanLookups {
   public:
    explicit PlanLookups(const OutputFolder& folder) : folder_(folder) { folder_.planning_ = true; }
    ~PlanLookups() {
      folder_.planning_ = false;
      folder_.planFolder_.reset();
    }
    PlanLookups(const PlanLookups&) = delete;
    PlanLookups& operator=(const PlanLookups&) = delete;

   private:
    const OutputFolder& folder_;
  };

  std::string createProbeFile() override;
  bool hasEntry(const std::string& name) override;
  void removeProbeFile(const std::string& name) override;

 private:
  // The folder `name` is in (with `fail`, none where it does not exist yet), and the name in it.
  struct Located {
    FolderRef folder;
    std::string leaf;
    StepError error;
  };
  Located locate(const std::string& name, WhenMissing missing) const;
  // For looking only: during a plan, through the folder held open for it.
  Located lookUp(const std::string& name) const;
  bool goesBeforePlacing(std::string_view folder) const;

  std::filesystem::path path_;
  FileDescriptor descriptor_;
  std::set<FileIdentity> sourceFolders_;
  std::set<std::string> goneBeforePlacing_;
  // Subfolders placed into during this run, whose crashed runs' leftovers are gone already.
  std::set<std::string> cleanedFolders_;
  struct HeldFolder {
    std::string relative;
    FolderRef folder;
  };
  mutable bool planning_ = false;
  mutable std::optional<HeldFolder> planFolder_;
};
