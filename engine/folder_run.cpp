#include "folder_run.h"

#include <system_error>

#include "deletion_list.h"
#include "temp_file.h"

namespace fs = std::filesystem;
using OutputMode = ImageOptimizer::OutputMode;

namespace {

// A name as it appears in the log, where every report is one line: control characters (a line feed in
// a file name) are shown as their Unicode pictures, U+2400 onwards.
std::string shownName(const std::string& name) {
  std::string shown;
  for (const char c : name) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20) {
      shown += "\xE2\x90";
      shown += static_cast<char>(0x80 + byte);
    } else if (byte == 0x7F) {
      shown += "\xE2\x90\xA1";
    } else {
      shown += c;
    }
  }
  return shown;
}

}  // namespace

FolderRun::FolderRun(std::vector<SourceEntry> entries, fs::path destination, OutputMode mode,
                     const ImageOptimizer::Progress& progress)
    : entries_(std::move(entries)),
      destination_(std::move(destination)),
      mode_(mode),
      progress_(progress),
      outputNames_(entries_),
      sourceLinks_(entries_) {}

ImageOptimizer::Result FolderRun::handleAll(const std::stop_token& stop) {
  const std::size_t total = entries_.size();
  for (std::size_t i = 0; i < total && !stop.stop_requested(); ++i) {
    const SourceEntry& entry = entries_[i];
    const std::uint64_t size = ImageOptimizer::fileSize(entry.path);
    report("[" + std::to_string(i + 1) + "/" + std::to_string(total) + "] " + shownName(entry.name));
    if (handle(entry, size) == Problem::some)
      ++totals_.failed;
  }
  if (!totals_.renamedFiles.empty())
    writeDeletionList();
  return totals_;
}

FolderRun::Problem FolderRun::handle(const SourceEntry& entry, std::uint64_t size) {
  if (entry.kind == ImageKind::gif)
    return keepOriginal(entry);
  if (size < ImageOptimizer::skipUnderBytes) {
    ++totals_.skippedSmall;
    return mode_ == OutputMode::fullReplacement ? keepOriginal(entry) : Problem::none;
  }
  return reencode(entry, size);
}

FolderRun::Problem FolderRun::reencode(const SourceEntry& entry, std::uint64_t size) {
  const std::optional<std::string> outputName = outputNameFor(entry);
  if (!outputName)
    return keepOriginal(entry);
  const Encoding encoding = encode(entry, size, destination_ / *outputName);
  switch (encoding.outcome) {
    case Encoding::placed:
      ++totals_.processed;
      if (isRenamedPng(entry))
        totals_.renamedFiles.push_back(entry.name);
      return Problem::none;
    case Encoding::grew:
      ++totals_.grew;
      return keepOriginal(entry);
    case Encoding::failed:
      break;
  }
  report("  could not re-encode (kept the original): " + encoding.reason);
  keepOriginal(entry);
  return Problem::some;
}

bool FolderRun::isRenamedPng(const SourceEntry& entry) const {
  return entry.kind == ImageKind::png && mode_ == OutputMode::changedOnly;
}

std::optional<std::string> FolderRun::outputNameFor(const SourceEntry& entry) {
  const std::string convertedName = entry.base + ".jpg";
  if (isRenamedPng(entry) && !fitsOnDeletionList(entry.name)) {
    report("  kept its own name: the name cannot be written to " +
           std::string(ImageOptimizer::deletionListName));
    return std::nullopt;
  }
  if (const auto holder = outputNames_.claim(entry.name, convertedName)) {
    report("  kept its own name: " + shownName(convertedName) + " is taken by " + shownName(*holder));
    if (entry.kind == ImageKind::png)
      return std::nullopt;  // a PNG under its own name is the original
    return entry.name;
  }
  return convertedName;
}

FolderRun::Encoding FolderRun::encode(const SourceEntry& entry, std::uint64_t size,
                                      const fs::path& target) const {
  try {
    TempFile encoded(destination_);
    if (const auto failure = ImageOptimizer::runSips(entry.path, encoded.path(), ImageOptimizer::maxDimension,
                                                     ImageOptimizer::jpegQuality)) {
      return {Encoding::failed, *failure};
    }
    std::error_code sizeError;  // an unreadable size counts as 0: the file stays
    const std::uint64_t newSize = fs::file_size(encoded.path(), sizeError);
    if (!sizeError && size < newSize)
      return {Encoding::grew};
    if (const auto failure = wouldReplaceSource(target))
      return {Encoding::failed, *failure};
    if (const std::error_code error = encoded.commit(target))
      return {Encoding::failed, error.message()};
    return {Encoding::placed};
  } catch (const fs::filesystem_error& error) {
    return {Encoding::failed, error.code().message()};
  }
}

FolderRun::Problem FolderRun::keepOriginal(const SourceEntry& entry) {
  const fs::path copy = destination_ / entry.name;
  ImageOptimizer::Failure failure = wouldReplaceSource(copy, entry.name);
  if (!failure)
    failure = ImageOptimizer::copyReplacing(entry.path, copy);
  if (failure) {
    report("  could not copy: " + *failure);
    return Problem::some;
  }
  return Problem::none;
}

ImageOptimizer::Failure FolderRun::wouldReplaceSource(const fs::path& outputFile,
                                                      const std::string& writer) const {
  const auto source = sourceLinks_.sourceAt(outputFile);
  // A copy of a file onto itself is left to copyReplacing, which does nothing then.
  if (!source || *source == writer)
    return std::nullopt;
  return "it would replace the source file " + shownName(*source) + ", which links to " +
         shownName(outputFile.filename().string());
}

void FolderRun::writeDeletionList() {
  const fs::path listFile = destination_ / ImageOptimizer::deletionListName;
  ImageOptimizer::Failure failure = wouldReplaceSource(listFile);
  if (!failure) {
    if (const std::error_code error = ::writeDeletionList(listFile, totals_.renamedFiles))
      failure = error.message();
  }
  if (failure)
    report("  could not write " + std::string(ImageOptimizer::deletionListName) + ": " + *failure);
}
