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

// The names in a folder, in byte order; an empty list and an error when it cannot be read.
StepError namesIn(int folder, std::vector<std::string>& names) {
  const int listed = ::dup(folder);
  DIR* const directory = listed >= 0 ? ::fdopendir(listed) : nullptr;
  if (!directory) {
    const int error = errno;
    if (listed >= 0)
      ::close(listed);
    return StepError::ofErrno(error);
  }
  errno = 0;
  while (const dirent* entry = ::readdir(directory)) {
    const std::string_view name = entry->d_name;
    if (name != "." && name != "..")
      names.emplace_back(name);
    errno = 0;
  }
  const int error = errno;
  ::closedir(directory);
  std::ranges::sort(names);
  return error != 0 ? StepError::ofErrno(error) : StepError();
}

class TreeWalk {
 public:
  TreeWalk(const fs::path& source, SourceListing& listing, const ListingScope& scope)
      : source_(source), listing_(listing), scope_(scope) {}

  // Lists one folder's images, then (recursive) walks its subfolders, each in byte order.
  StepError walk(int folder, const std::string& prefix) {
    struct stat self {};
    if (::fstat(folder, &self) == 0)
      listing_.folders.insert({self.st_dev, self.st_ino});
    std::vector<std::string> names;
    if (const StepError error = namesIn(folder, names))
      return error;
    std::vector<std::string> subfolders;
    for (const std::string& name : names)
      take(folder, prefix, name, subfolders);
    for (const std::string& name : subfolders)
      enter(folder, prefix, name);
    return {};
  }

 private:
  void take(int folder, const std::string& prefix, const std::string& name,
            std::vector<std::string>& subfolders) {
    struct stat link {};
    const bool listed = ::fstatat(folder, name.c_str(), &link, AT_SYMLINK_NOFOLLOW) == 0;
    if (scope_.recursive) {
      // A link to a folder is never followed, and hidden folders are skipped.
      if (listed && S_ISDIR(link.st_mode) && !name.starts_with(".")) {
        subfolders.push_back(name);
        return;  // looked into, even when named like an image
      }
    } else {
      // Not looked into, but counted for the line of a run that found nothing (links to folders too).
      struct stat target {};
      if (listed && (S_ISDIR(link.st_mode) ||
                     (S_ISLNK(link.st_mode) && ::fstatat(folder, name.c_str(), &target, 0) == 0 &&
                      S_ISDIR(target.st_mode))))
        ++listing_.subfolders;
    }
    const std::optional<ImageKind> kind = kindOfExtension(name);
    if (!kind)
      return;
    SourceEntry entry{.path = source_ / (prefix + name),
                      .name = prefix + name,
                      .base = prefix + fs::path(name).stem().string(),
                      .kind = *kind};
    entry.isLink = listed && S_ISLNK(link.st_mode);
    if (::fstatat(folder, name.c_str(), &entry.status, 0) != 0) {
      if (errno == ENOENT || errno == ELOOP || errno == ENOTDIR || !listed) {
        ++listing_.leftOut[EntryKind::brokenLink];  // dangling, or a loop of links
        return;
      }
      entry.statusError = std::error_code(errno, std::generic_category());
    } else if (const std::optional<EntryKind> other = otherKind(entry.status)) {
      ++listing_.leftOut[*other];
      return;
    }
    listing_.images.push_back(std::move(entry));
  }

  void enter(int parent, const std::string& prefix, const std::string& name) {
    const std::string relative = prefix + name;
    StepError error;
    const FolderRef folder = openFolderIn(parent, name, WhenMissing::fail, error);
    if (!error) {
      struct stat status {};
      if (::fstat(folder.get(), &status) == 0 && scope_.outputFolder &&
          FileIdentity{status.st_dev, status.st_ino} == *scope_.outputFolder)
        return;  // the output folder inside the source: its files are the run's own
      ++listing_.subfolders;
      error = walk(folder.get(), relative + "/");
    }
    if (error)
      listing_.unreadable.emplace_back(relative, error.reason());
  }

  const fs::path& source_;
  SourceListing& listing_;
  const ListingScope& scope_;
};

}  // namespace

StepError listSourceFolder(const fs::path& source, SourceListing& listing, const ListingScope& scope) {
  listing = {};
  listing.root = FileDescriptor(::open(source.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!listing.root.valid())
    return StepError::ofErrno();
  return TreeWalk(source, listing, scope).walk(listing.root.get(), "");
}
