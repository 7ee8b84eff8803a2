#pragma once

#include <filesystem>

// A file created under a fresh hidden name in a folder, renamed over its final name only when complete,
// so that an interrupted run or a full disk never leaves a truncated file under a real name. Removed on
// destruction unless committed.
class TempFile {
 public:
  // Throws std::filesystem::filesystem_error when no file can be created in `folder`.
  explicit TempFile(const std::filesystem::path& folder);
  ~TempFile();

  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;

  const std::filesystem::path& path() const { return path_; }

  // Moves the file over `finalPath` (same folder) in one step. Returns the error, or an empty code.
  std::error_code commit(const std::filesystem::path& finalPath);

  // Names start with this prefix; nothing else in a run uses it.
  static constexpr const char* namePrefix = ".tarvolin-";

 private:
  std::filesystem::path path_;
  bool committed_ = false;
};
