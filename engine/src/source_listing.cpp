#include "source_listing.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "ascii_case.h"
#include "folder_walk.h"

namespace fs = std::filesystem;

namespace {

std::optional<ImageKind> kindOfExtension(const fs::path& name) {
  // std::filesystem's rule: ".png" alone is a hidden name without an extension, "a.b.png" has ".png".
  const std::string extension = withAsciiCase(name.extension().string(), LetterCase::lower);
  if (extension == ".jpg" || extension == ".jpeg")
    return ImageKind::jpeg;
  if (extension == ".png")
    return ImageKind::png;
  if (extension == ".gif")
    return ImageKind::gif;
  return std::nullopt;
}

// What an entry is, through a link: only regular files take part, so that nothing ever blocks reading
// a pipe or copies a folder. None for a regular file.
std::optional<EntryKind> otherKind(const struct stat& status) {
  if (S_ISREG(status.st_mode))
    return std::nullopt;
  if (S_ISDIR(status.st_mode))
    return EntryKind::folder;
  if (S_ISFIFO(status.st_mode))
    return EntryKind::fifo;
  if (S_ISSOCK(status.st_mode))
    return EntryKind::socket;
  return EntryKind::device;
}

// A folder's own findings, kept apart until the whole folder has been read: a folder that can be listed
// but not entered (mode r--) lists names whose entries cannot be looked at, and is a folder not read.
struct FolderFindings {
  std::vector<SourceEntry> images;
  std::vector<std::string> subfolders;
  std::int64_t otherSubfolders = 0;
  std::map<EntryKind, std::int64_t> leftOut;
};

// Walks the tree depth first in the listing's order, holding at most two descriptors at any depth: each
// folder is entered afresh from the root, one name at a time (folder_walk.h), and closed before the next.
class TreeWalk {
 public:
  TreeWalk(const fs::path& source, SourceListing& listing, const ListingScope& scope)
      : source_(source), listing_(listing), scope_(scope) {}

  // Fails only when the source folder itself cannot be read.
  StepError walk() {
    if (const StepError error = readFolder(listing_.root.get(), ""))
      return error;
    while (!pending_.empty()) {
      const std::string relative = std::move(pending_.back());
      pending_.pop_back();
      if (const StepError error = enter(relative))
        listing_.unreadable.emplace_back(relative, error.reason());
    }
    return {};
  }

 private:
  StepError enter(const std::string& relative) {
    StepError error;
    const FolderRef folder = openFolderIn(listing_.root.get(), relative, WhenMissing::fail, error);
    if (error)
      return error;
    struct stat status {};
    if (::fstat(folder.get(), &status) == 0 && scope_.outputFolder &&
        FileIdentity{status.st_dev, status.st_ino} == *scope_.outputFolder)
      return {};  // the output folder inside the source: its files are the run's own
    ++listing_.subfolders;
    return readFolder(folder.get(), relative + "/");
  }

  StepError readFolder(int folder, const std::string& prefix) {
    struct stat self {};
    if (::fstat(folder, &self) == 0)
      listing_.folders.insert({self.st_dev, self.st_ino});
    std::vector<std::string> names;
    if (const StepError error = namesIn(folder, names))
      return error;
    FolderFindings found;
    for (const std::string& name : names) {
      if (const StepError error = take(folder, prefix, name, found))
        return error;
    }
    for (SourceEntry& entry : found.images)
      listing_.images.push_back(std::move(entry));
    listing_.subfolders += found.otherSubfolders;
    for (const auto& [kind, count] : found.leftOut)
      listing_.leftOut[kind] += count;
    for (const std::string& name : found.subfolders)
      listing_.folderNames.push_back(prefix + name);
    // Last in, first out: the first subfolder by name is walked next.
    for (auto name = found.subfolders.rbegin(); name != found.subfolders.rend(); ++name)
      pending_.push_back(prefix + *name);
    return {};
  }

  StepError take(int folder, const std::string& prefix, const std::string& name, FolderFindings& found) {
    struct stat link {};
    if (::fstatat(folder, name.c_str(), &link, AT_SYMLINK_NOFOLLOW) != 0)
      return errno == ENOENT ? StepError() : StepError::ofErrno();  // gone since the listing: nothing to take
    if (scope_.recursive) {
      // A link to a folder is never followed, and hidden folders are skipped.
      if (S_ISDIR(link.st_mode) && !name.starts_with(".")) {
        found.subfolders.push_back(name);
        return {};  // looked into, even when named like an image
      }
    } else {
      // Not looked into, but counted for the line of a run that found nothing (links to folders too).
      struct stat target {};
      if (S_ISDIR(link.st_mode) ||
          (S_ISLNK(link.st_mode) && ::fstatat(folder, name.c_str(), &target, 0) == 0 &&
           S_ISDIR(target.st_mode)))
        ++found.otherSubfolders;
    }
    const std::optional<ImageKind> kind = kindOfExtension(name);
    if (!kind)
      return {};
    SourceEntry entry{.path = source_ / (prefix + name),
                      .name = prefix + name,
                      .base = prefix + fs::path(name).stem().string(),
                      .kind = *kind};
    entry.isLink = S_ISLNK(link.st_mode);
    if (::fstatat(folder, name.c_str(), &entry.status, 0) != 0) {
      if (errno == ENOENT || errno == ELOOP || errno == ENOTDIR) {
        ++found.leftOut[EntryKind::brokenLink];  // dangling, or a loop of links
        return {};
      }
      entry.statusError = std::error_code(errno, std::generic_category());
    } else if (const std::optional<EntryKind> other = otherKind(entry.status)) {
      ++found.leftOut[*other];
      return {};
    }
    found.images.push_back(std::move(entry));
    return {};
  }

  const fs::path& source_;
  SourceListing& listing_;
  const ListingScope& scope_;
  std::vector<std::string> pending_;  // folders still to walk, the next one last
};

}  // namespace

StepError listSourceFolder(const fs::path& source, SourceListing& listing, const ListingScope& scope) {
  listing = {};
  listing.root = FileDescriptor(::open(source.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!listing.root.valid())
    return StepError::ofErrno();
  return TreeWalk(source, listing, scope).walk();
}
