#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

#include "file_descriptor.h"
#include "step_error.h"

// Which file an entry is, whatever name reaches it.
struct FileIdentity {
  dev_t device = 0;
  ino_t inode = 0;
  bool operator==(const FileIdentity&) const = default;
  auto operator<=>(const FileIdentity&) const = default;
};

// A source image, opened once: its size, its bytes and its copy all come from this one descriptor, so
// that the file cannot be swapped for another between the steps of its handling.
class SourceFile {
 public:
  // Only regular files (a link to one is followed); a pipe is never waited on.
  static SourceFile open(const std::filesystem::path& path, StepError& error);
  // `name` relative to the folder `root` ("blog/team.png"), its folders entered without following links.
  static SourceFile openIn(int root, const std::string& name, StepError& error);

  int descriptor() const { return descriptor_.get(); }
  std::uint64_t size() const { return size_; }
  FileIdentity identity() const { return identity_; }
  // As the descriptor found it when opened: what an output's record says of its source.
  const struct stat& status() const { return status_; }

  // Up to `length` bytes from `offset`; fewer only at the end of the file. -1 on a read error.
  long long readAt(std::uint64_t offset, void* buffer, std::size_t length) const;

 private:
  static SourceFile openAt(int folder, const char* name, StepError& error);

  FileDescriptor descriptor_;
  std::uint64_t size_ = 0;
  FileIdentity identity_;
  struct stat status_ {};
};
