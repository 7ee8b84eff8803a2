#pragma once

#include <cstddef>
#include <cstdint>
#include <exception>
#include <filesystem>
#include <functional>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

// The optimizer engine: turns a source folder of web images into an output folder.
// A namespace-like type: it has no instances and no state; everything is static.
class ImageOptimizer {
 public:
  ImageOptimizer() = delete;

  enum class OutputMode { changedOnly, fullReplacement };

  // The totals of one run.
  struct Result {
    std::int64_t processed = 0;
    std::int64_t skippedSmall = 0;
    std::int64_t grew = 0;
    std::vector<std::string> renamedFiles;
    // Files that could not be handled as intended (re-encode or copy failed); each file counts once.
    std::int64_t failed = 0;

    bool operator==(const Result&) const = default;
  };

  static constexpr std::int64_t maxDimension = 1920;
  static constexpr std::int64_t jpegQuality = 80;
  static constexpr std::uint64_t skipUnderBytes = 512000;

  // Name of the list of converted PNG files written into the output folder in changedOnly mode.
  static constexpr const char* deletionListName = "_DELETE_THESE_OLD_FILES_FROM_SERVER.txt";

  // Largest image that is decoded at all (16383 x 16383): guards against decompression bombs.
  static constexpr std::uint64_t maxDecodedPixels = 16383ULL * 16383ULL;

  using Progress = std::function<void(const std::string&)>;

  // Synchronous: callers put it on a background thread. A failure that leaves the run without a basis
  // (output folder, source listing, a source file's size, the image library) is thrown; problems with a
  // single file are reported through `progress` and counted in Result::failed. A stop request is honoured
  // between files: the run then writes the deletion list for what it converted so far and returns.
  static Result run(const std::filesystem::path& source, const std::filesystem::path& destination,
                    OutputMode mode, const Progress& progress, std::stop_token stop = {});

  // A user-facing, one-line description of anything `run` throws, e.g.
  // "Permission denied: /home/ann/site/out".
  static std::string errorDescription(const std::exception_ptr& error);

 private:
  // nullopt on success, otherwise a one-line reason.
  using Failure = std::optional<std::string>;

  static std::uint64_t fileSize(const std::filesystem::path& file);
  static Failure copyReplacing(const std::filesystem::path& source, const std::filesystem::path& destination);
  static Failure runSips(const std::filesystem::path& input, const std::filesystem::path& output,
                         std::int64_t maxSize, std::int64_t quality);

  friend class FolderRun;
};

template <>
struct std::hash<ImageOptimizer::OutputMode> {
  std::size_t operator()(ImageOptimizer::OutputMode mode) const noexcept {
    return std::hash<std::int64_t>{}(static_cast<std::int64_t>(mode));
  }
};
