#include "source_file.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>

#include "folder_walk.h"

SourceFile SourceFile::open(const std::filesystem::path& path, StepError& error) {
  return openAt(AT_FDCWD, path.c_str(), error);
}

SourceFile SourceFile::openIn(int root, const std::string& name, StepError& error) {
  const SplitName split = splitName(name);
  const FolderRef folder = openFolderIn(root, split.folder, WhenMissing::fail, error);
  if (error)
    return {};
  return openAt(folder.get(), std::string(split.leaf).c_str(), error);
}

SourceFile SourceFile::openAt(int folder, const char* name, StepError& error) {
  SourceFile file;
  // O_NONBLOCK: a pipe put in an image's place must not hang the run; it is refused below.
  file.descriptor_ = FileDescriptor(::openat(folder, name, O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
  if (!file.descriptor_.valid()) {
    error = StepError::ofErrno();
    return file;
  }
  struct stat status {};
  if (::fstat(file.descriptor(), &status) != 0) {
    error = StepError::ofErrno();
    return file;
  }
  if (!S_ISREG(status.st_mode)) {
    error = StepError::inWords("not a regular file");
    return file;
  }
  const int flags = ::fcntl(file.descriptor(), F_GETFL);
  if (flags >= 0)
    ::fcntl(file.descriptor(), F_SETFL, flags & ~O_NONBLOCK);
  file.size_ = static_cast<std::uint64_t>(status.st_size);
  file.identity_ = {status.st_dev, status.st_ino};
  file.status_ = status;
  error = {};
  return file;
}

long long SourceFile::readAt(std::uint64_t offset, void* buffer, std::size_t length) const {
  std::size_t done = 0;
  while (done < length) {
    const ssize_t count = ::pread(descriptor(), static_cast<char*>(buffer) + done, length - done,
                                  static_cast<off_t>(offset + done));
    if (count < 0 && errno == EINTR)
      continue;
    if (count < 0)
      return -1;
    if (count == 0)
      break;
    done += static_cast<std::size_t>(count);
  }
  return static_cast<long long>(done);
}
