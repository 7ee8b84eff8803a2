#include "source_listing.h"

#include <algorithm>
#include <optional>

#include "ascii_case.h"

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
std::optional<EntryKind> otherKind(const fs::directory_entry& entry) {
  std::error_code error;
  const fs::file_status status = entry.status(error);
  if (error || status.type() == fs::file_type::not_found)
    return EntryKind::brokenLink;  // dangling, or a loop of links
  switch (status.type()) {
    case fs::file_type::regular:
      return std::nullopt;
    case fs::file_type::directory:
      return EntryKind::folder;
    case fs::file_type::fifo:
      return EntryKind::fifo;
    case fs::file_type::socket:
      return EntryKind::socket;
    default:
      return EntryKind::device;
  }
}

}  // namespace

StepError listSourceFolder(const fs::path& source, SourceListing& listing) {
  listing = {};
  std::error_code error;
  for (fs::directory_iterator entry(source, error), end; !error && entry != end; entry.increment(error)) {
    std::error_code notAFolder;
    if (entry->is_directory(notAFolder))
      ++listing.subfolders;
    const fs::path name = entry->path().filename();
    const std::optional<ImageKind> kind = kindOfExtension(name);
    if (!kind)
      continue;
    if (const std::optional<EntryKind> other = otherKind(*entry)) {
      ++listing.leftOut[*other];
      continue;
    }
    listing.images.push_back({entry->path(), name.string(), name.stem().string(), *kind});
  }
  if (error)
    return StepError::ofCode(error);
  std::ranges::sort(listing.images, {}, &SourceEntry::name);
  return {};
}
