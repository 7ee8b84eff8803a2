#include "deletion_list.h"

#include <fcntl.h>
#include <glib.h>
#include <sys/stat.h>
#include <unistd.h>

#include "file_contents.h"
#include "image_optimizer.h"

bool fitsOnDeletionList(const std::string& name) {
  const char* const end = name.data() + name.size();
  if (!g_utf8_validate(name.data(), static_cast<gssize>(name.size()), nullptr))
    return false;
  for (const char* at = name.data(); at < end; at = g_utf8_next_char(at)) {
    const gunichar c = g_utf8_get_char(at);
    // Controls, and what Unicode-aware readers (Python's splitlines, many editors) also take as a line
    // break: NEL among the C1 controls, and the line and paragraph separators.
    if (c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0x2028 || c == 0x2029)
      return false;
  }
  return true;
}

namespace {

// The list already in the folder says the same: a re-run that changed nothing then writes nothing, and
// a tool that uploads what is newer does not send the list again.
bool holdsAlready(const OutputFolder& folder, const std::string& text) {
  const FileDescriptor list(
      ::openat(folder.descriptor(), ImageOptimizer::deletionListName, O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
  struct stat status {};
  if (!list.valid() || ::fstat(list.get(), &status) != 0 || !S_ISREG(status.st_mode) ||
      static_cast<std::uint64_t>(status.st_size) != text.size())
    return false;
  std::string held(text.size(), '\0');
  return ::pread(list.get(), held.data(), held.size(), 0) == static_cast<ssize_t>(held.size()) &&
         held == text;
}

}  // namespace

StepError writeDeletionList(OutputFolder& folder, const std::vector<std::string>& names) {
  std::string text;
  for (const std::string& name : names)
    text += name + '\n';
  if (holdsAlready(folder, text))
    return {};
  StepError error;
  TempFile list = folder.newFile(error);
  if (!error)
    error = writeContents(list, text);
  if (!error)
    error = folder.place(list, ImageOptimizer::deletionListName);
  return error;
}

bool holdsDeletionList(const OutputFolder& folder) {
  struct stat status {};
  return folder.descriptor() >= 0 &&
         ::fstatat(folder.descriptor(), ImageOptimizer::deletionListName, &status, AT_SYMLINK_NOFOLLOW) ==
             0 &&
         S_ISREG(status.st_mode);
}

void settleDeletionList(OutputFolder& folder, const SourceLinkGuard* sourceLinks,
                        ImageOptimizer::Result& totals, const RunEventHandler& events) {
  StepError error;
  if (!totals.renamedFiles.empty()) {
    if (sourceLinks)
      error = sourceLinks->checkReplaceable(folder, ImageOptimizer::deletionListName);
    if (!error)
      error = writeDeletionList(folder, totals.renamedFiles);
  } else if (holdsDeletionList(folder)) {
    error = folder.remove(ImageOptimizer::deletionListName);
    totals.deletionListRemoved = !error;
  }
  if (error) {
    totals.deletionListFailed = true;
    events(DeletionListFailure{error.reason(), totals.renamedFiles.empty()});
  }
}
