#include "folder_walk.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>

SplitName splitName(std::string_view name) {
  const std::size_t slash = name.rfind('/');
  if (slash == std::string_view::npos)
    return {{}, name};
  return {name.substr(0, slash), name.substr(slash + 1)};
}

namespace {

FileDescriptor openChild(int parent, const std::string& name) {
  return FileDescriptor(::openat(parent, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
}

}  // namespace

FolderRef openFolderIn(int root, std::string_view relative, WhenMissing missing, StepError& error) {
  error = {};
  if (relative.empty())
    return FolderRef::borrowed(root);
  FileDescriptor folder;
  std::size_t at = 0;
  while (at <= relative.size()) {
    const std::size_t slash = std::min(relative.find('/', at), relative.size());
    const std::string name(relative.substr(at, slash - at));
    const int parent = folder.valid() ? folder.get() : root;
    FileDescriptor child = openChild(parent, name);
    if (!child.valid() && errno == ENOENT && missing == WhenMissing::create) {
      if (::mkdirat(parent, name.c_str(), 0777) != 0 && errno != EEXIST) {
        error = StepError::ofErrno();
        return {};
      }
      child = openChild(parent, name);
    }
    if (!child.valid()) {
      // O_NOFOLLOW meets a link as ELOOP, O_DIRECTORY a file as ENOTDIR: neither is a folder to enter.
      if (errno == ELOOP || errno == ENOTDIR) {
        error = StepError::inWords("a link or a file stands where the folder " +
                                   std::string(relative.substr(0, slash)) + " should be");
      } else {
        error = StepError::ofErrno();
      }
      return {};
    }
    folder = std::move(child);
    at = slash + 1;
  }
  return FolderRef::owned(std::move(folder));
}

StepError namesIn(int folder, std::vector<std::string>& names) {
  const int listed = ::dup(folder);
  DIR* const directory = listed >= 0 ? ::fdopendir(listed) : nullptr;
  if (!directory) {
    const int error = errno;
    if (listed >= 0)
      ::close(listed);
    return StepError::ofErrno(error);
  }
  ::rewinddir(directory);  // a copy of the descriptor shares its position with every other copy
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
