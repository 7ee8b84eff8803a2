#include "output_folder.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <set>
#include <string_view>

#include "ascii_case.h"
#include "folder_walk.h"
#include "output_record.h"

namespace fs = std::filesystem;

namespace {

std::optional<struct stat> entryStatus(int folder, const std::string& name) {
  struct stat status {};
  if (::fstatat(folder, name.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0)
    return std::nullopt;
  return status;
}

}  // namespace

bool foldsCase(CaseProbeFolder& folder) {
  const std::string name = folder.createProbeFile();
  if (name.empty())
    return false;
  const std::string other = withAsciiCase(name, LetterCase::upper);
  // The probe's name is new and random: its other spelling exists only as the probe itself. (Comparing
  // inode numbers would not do: FUSE drives may give one file a new number for each name it is found by.)
  const bool folds = other != name && folder.hasEntry(other);
  folder.removeProbeFile(name);
  return folds;
}

bool isCaseIgnoringFileSystem(int folder) {
  struct statfs system {};
  if (::fstatfs(folder, &system) != 0)
    return false;
  constexpr unsigned long fat = 0x4d44;
  constexpr unsigned long exfat = 0x2011BAB0;
  constexpr unsigned long cifs = 0xFF534D42;
  constexpr unsigned long smb2 = 0xFE534D42;
  const auto type = static_cast<unsigned long>(system.f_type);
  return type == fat || type == exfat || type == cifs || type == smb2;
}

std::optional<bool> foldsCaseByNames(int folder) {
  std::vector<std::string> listed;
  if (namesIn(folder, listed))
    return std::nullopt;
  const std::set<std::string> names(listed.begin(), listed.end());
  // A name in other letters that the folder does not list, yet finds: the folder folds case.
  for (const std::string& name : names) {
    const std::string upper = withAsciiCase(name, LetterCase::upper);
    const std::string other = upper != name ? upper : withAsciiCase(name, LetterCase::lower);
    if (other != name && !names.contains(other))
      return entryStatus(folder, other).has_value();
  }
  return std::nullopt;
}

bool foldsCaseWithoutWriting(const fs::path& folder) {
  std::error_code error;
  fs::path existing = fs::absolute(folder, error);
  while (!fs::is_directory(existing, error) && existing.has_relative_path())
    existing = existing.parent_path();
  const FileDescriptor descriptor(::open(existing.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!descriptor.valid())
    return false;
  return foldsCaseByNames(descriptor.get()).value_or(isCaseIgnoringFileSystem(descriptor.get()));
}

bool foldsCaseForRun(OutputFolder& folder, bool namesMeetWhenFolded) {
  if (const std::optional<bool> told = foldsCaseByNames(folder.descriptor()))
    return *told;
  if (isCaseIgnoringFileSystem(folder.descriptor()))
    return true;
  return namesMeetWhenFolded && foldsCase(folder);
}

OutputFolder OutputFolder::openToLookAt(const fs::path& path) {
  OutputFolder folder;
  folder.path_ = path;
  folder.descriptor_ = FileDescriptor(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  return folder;
}

OutputFolder OutputFolder::open(const fs::path& path, StepError& error) {
  OutputFolder folder;
  folder.path_ = path;
  folder.descriptor_ = FileDescriptor(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  error = folder.descriptor_.valid() ? StepError() : StepError::ofErrno();
  return folder;
}

StepError OutputFolder::requireWritable() {
  StepError error;
  newFile(error);
  return error;
}

StepError OutputFolder::lockForRun() {
  int result = 0;
  do {
    result = ::flock(descriptor(), LOCK_EX | LOCK_NB);
  } while (result != 0 && errno == EINTR);
  if (result != 0 && errno == EWOULDBLOCK) {
    return StepError::inWords("Another run is writing into the output folder " + path_.string() +
                              "; start this one once it has finished.");
  }
  return {};  // a file system without locks (some network shares) is no reason to refuse a run
}

namespace {

// FAT, exFAT and NTFS drives refuse these in names, and say so with an error that blames something
// else ("No such file or directory").
std::optional<std::string> characterDrivesRefuse(std::string_view name) {
  for (const char c : name) {
    if (static_cast<unsigned char>(c) < 0x20)
      return "control characters";
    if (std::string_view("\"*:<>?\\|").find(c) != std::string_view::npos)
      return "'" + std::string(1, c) + "'";
  }
  return std::nullopt;
}

bool mayBeARefusedName(const StepError& error) {
  const std::error_code& code = error.code();
  return code == std::errc::no_such_file_or_directory || code == std::errc::invalid_argument ||
         code == std::errc::illegal_byte_sequence;
}

bool isMissing(const StepError& error) {
  return error.code() == std::errc::no_such_file_or_directory;
}

}  // namespace

OutputFolder::Located OutputFolder::locate(const std::string& name, WhenMissing missing) const {
  const SplitName split = splitName(name);
  Located located;
  located.leaf = split.leaf;
  if (!descriptor_.valid()) {  // a dry run's output folder that is not there yet holds nothing
    located.error = StepError::ofErrno(ENOENT);
    return located;
  }
  located.folder = openFolderIn(descriptor(), split.folder, missing, located.error);
  struct stat status {};
  if (!located.error && !split.folder.empty() && ::fstat(located.folder.get(), &status) == 0 &&
      sourceFolders_.contains({status.st_dev, status.st_ino})) {
    located.error =
        StepError::inWords("its folder " + std::string(split.folder) + " is a folder of the source");
  }
  return located;
}

bool OutputFolder::goesBeforePlacing(std::string_view folder) const {
  if (goneBeforePlacing_.empty() || folder.empty())
    return false;
  // "blog/2024" goes with "blog" or with itself.
  for (std::size_t end = folder.find('/');; end = folder.find('/', end + 1)) {
    if (goneBeforePlacing_.contains(std::string(folder.substr(0, end))))
      return true;
    if (end == std::string_view::npos)
      return false;
  }
}

OutputFolder::Located OutputFolder::lookUp(const std::string& name) const {
  const SplitName split = splitName(name);
  if (goesBeforePlacing(split.folder)) {
    Located gone;
    gone.error = StepError::ofErrno(ENOENT);  // a folder still to be made
    return gone;
  }
  if (!planning_ || split.folder.empty())
    return locate(name, WhenMissing::fail);
  if (!planFolder_ || planFolder_->relative != split.folder) {
    Located located = locate(name, WhenMissing::fail);
    if (located.error)
      return located;
    planFolder_ = HeldFolder{std::string(split.folder), std::move(located.folder)};
  }
  Located located;
  located.leaf = split.leaf;
  located.folder = FolderRef::borrowed(planFolder_->folder.get());
  return located;
}

TempFile OutputFolder::newFileFor(const std::string& name, StepError& error) const {
  const SplitName split = splitName(name);
  if (split.folder.empty())
    return TempFile::create(descriptor(), error);
  StepError missing;
  FolderRef folder = openFolderIn(descriptor(), split.folder, WhenMissing::fail, missing);
  struct stat status {};
  // Never in a folder of the source, which placing refuses anyway.
  if (missing || ::fstat(folder.get(), &status) != 0 ||
      sourceFolders_.contains({status.st_dev, status.st_ino}))
    return TempFile::create(descriptor(), error);
  return TempFile::createIn(std::move(folder), descriptor(), std::string(split.folder), error);
}

StepError OutputFolder::place(TempFile& file, const std::string& name) {
  // A folder is made only for a file that goes into it, and only now, in the run's order.
  const Located located = locate(name, WhenMissing::create);
  if (located.error)
    return located.error;
  if (const StepError blocked = checkPlaceable(name))
    return blocked;
  // A crash may leave named temporary files in any folder a run writes into, as in the root.
  if (const std::string folder(splitName(name).folder);
      !folder.empty() && cleanedFolders_.insert(folder).second)
    TempFile::removeLeftovers(located.folder.get());
  const StepError error = file.placeAs(located.folder.get(), located.leaf);
  if (error && mayBeARefusedName(error)) {
    if (const auto refused = characterDrivesRefuse(located.leaf))
      return StepError::inWords("the output drive does not allow " + *refused + " in names");
  }
  return error;
}

StepError OutputFolder::checkPlaceable(const std::string& name) const {
  const Located located = lookUp(name);
  if (located.error)
    return isMissing(located.error) ? StepError() : located.error;  // a folder still to be made holds nothing
  if (const auto existing = entryStatus(located.folder.get(), located.leaf);
      existing && S_ISDIR(existing->st_mode))
    return StepError::inWords("a folder named " + name + " is in the way");
  return {};
}

bool OutputFolder::removed() const {
  struct stat status {};
  return ::fstat(descriptor(), &status) == 0 && status.st_nlink == 0;
}

StepError OutputFolder::remove(const std::string& name) {
  const Located located = locate(name, WhenMissing::fail);
  if (located.error)
    return isMissing(located.error) ? StepError() : located.error;
  if (::unlinkat(located.folder.get(), located.leaf.c_str(), 0) != 0 && errno != ENOENT)
    return StepError::ofErrno();
  return {};
}

std::optional<FileIdentity> OutputFolder::fileAt(const std::string& name) const {
  const auto status = statusOfFileAt(name);
  if (!status)
    return std::nullopt;
  return FileIdentity{status->st_dev, status->st_ino};
}

std::optional<struct stat> OutputFolder::statusOfFileAt(const std::string& name) const {
  const Located located = lookUp(name);
  if (located.error)
    return std::nullopt;
  auto status = entryStatus(located.folder.get(), located.leaf);
  if (!status || !S_ISREG(status->st_mode))
    return std::nullopt;
  return status;
}

FoundOutput OutputFolder::findOutput(const std::string& name) const {
  const Located located = lookUp(name);
  if (located.error)
    return {};
  return ::findOutput(located.folder.get(), located.leaf);
}

std::string OutputFolder::createProbeFile() {
  std::string name = TempFile::freshName();  // a crash before its removal leaves a removable leftover
  const FileDescriptor probe(
      ::openat(descriptor(), name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
  return probe.valid() ? name : std::string();
}

bool OutputFolder::hasEntry(const std::string& name) {
  return entryStatus(descriptor(), name).has_value();
}

void OutputFolder::removeProbeFile(const std::string& name) {
  ::unlinkat(descriptor(), name.c_str(), 0);
}
