#include "folder_run.h"

#include <cerrno>
#include <fstream>
#include <system_error>

#include "temp_file.h"

namespace fs = std::filesystem;
using OutputMode = ImageOptimizer::OutputMode;

namespace {

bool isValidUtf8(const std::string& text) {
  std::size_t i = 0;
  while (i < text.size()) {
    const auto lead = static_cast<unsigned char>(text[i]);
    std::size_t length = lead < 0x80 ? 1 : (lead >> 5) == 0x6 ? 2 : (lead >> 4) == 0xE ? 3 : (lead >> 3) == 0x1E ? 4 : 0;
    if (length == 0 || i + length > text.size()) return false;
    for (std::size_t k = 1; k < length; ++k) {
      if ((static_cast<unsigned char>(text[i + k]) >> 6) != 0x2) return false;
    }
    i += length;
  }
  return true;
}

// The deletion list holds one name per line: a name with a control character (a line feed above all) or
// bytes that are not UTF-8 cannot be written there without naming a wrong file.
bool fitsOnDeletionList(const std::string& name) {
  for (const char c : name) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return false;
  }
  return isValidUtf8(name);
}

}  // namespace

FolderRun::FolderRun(std::vector<SourceEntry> entries, fs::path destination, OutputMode mode,
                     const ImageOptimizer::Progress& progress)
    : entries_(std::move(entries)),
      destination_(std::move(destination)),
      mode_(mode),
      progress_(progress),
      outputNames_(entries_) {}

ImageOptimizer::Result FolderRun::handleAll(const std::stop_token& stop) {
  const std::size_t total = entries_.size();
  for (std::size_t i = 0; i < total && !stop.stop_requested(); ++i) {
    const SourceEntry& entry = entries_[i];
    const std::uint64_t size = ImageOptimizer::fileSize(entry.path);
    report("[" + std::to_string(i + 1) + "/" + std::to_string(total) + "] " + entry.name);
    if (handle(entry, size) == Problem::some) ++totals_.failed;
  }
  if (!totals_.renamedFiles.empty()) writeDeletionList();
  return totals_;
}

FolderRun::Problem FolderRun::handle(const SourceEntry& entry, std::uint64_t size) {
  if (entry.kind == ImageKind::gif) return keepOriginal(entry);
  if (size < ImageOptimizer::skipUnderBytes) {
    ++totals_.skippedSmall;
    return mode_ == OutputMode::fullReplacement ? keepOriginal(entry) : Problem::none;
  }
  return reencode(entry, size);
}

FolderRun::Problem FolderRun::reencode(const SourceEntry& entry, std::uint64_t size) {
  const std::string convertedName = entry.base + ".jpg";
  std::string outputName = convertedName;
  const bool listed = entry.kind == ImageKind::png && mode_ == OutputMode::changedOnly && convertedName != entry.name;
  if (listed && !fitsOnDeletionList(entry.name)) {
    report("  kept its own name: the name cannot be written to " + std::string(ImageOptimizer::deletionListName));
    return keepOriginal(entry);
  }
  if (const auto holder = outputNames_.claim(entry.name, convertedName)) {
    report("  kept its own name: " + convertedName + " is taken by " + *holder);
    if (entry.kind == ImageKind::png) return keepOriginal(entry);
    outputName = entry.name;
  }

  ImageOptimizer::Failure failure;
  try {
    TempFile encoded(destination_);
    failure = ImageOptimizer::runSips(entry.path, encoded.path(), ImageOptimizer::maxDimension,
                                      ImageOptimizer::jpegQuality);
    if (!failure) {
      std::error_code sizeError;
      const std::uint64_t newSize = fs::file_size(encoded.path(), sizeError);
      if (!sizeError && size < newSize) {
        ++totals_.grew;
        return keepOriginal(entry);
      }
      if (const std::error_code error = encoded.commit(destination_ / outputName)) {
        failure = error.message();
      } else {
        ++totals_.processed;
        if (listed && outputName == convertedName) totals_.renamedFiles.push_back(entry.name);
        return Problem::none;
      }
    }
  } catch (const fs::filesystem_error& error) {
    failure = error.code().message();
  }
  report("  could not re-encode (kept the original): " + *failure);
  keepOriginal(entry);
  return Problem::some;
}

FolderRun::Problem FolderRun::keepOriginal(const SourceEntry& entry) {
  if (const auto failure = ImageOptimizer::copyReplacing(entry.path, destination_ / entry.name)) {
    report("  could not copy: " + *failure);
    return Problem::some;
  }
  return Problem::none;
}

void FolderRun::writeDeletionList() {
  std::error_code error;
  try {
    TempFile list(destination_);
    {
      std::ofstream out(list.path(), std::ios::binary | std::ios::trunc);
      for (const std::string& name : totals_.renamedFiles) out << name << '\n';
      out.close();
      if (!out) error = errno != 0 ? std::error_code(errno, std::generic_category()) : std::make_error_code(std::errc::io_error);
    }
    if (!error) error = list.commit(destination_ / ImageOptimizer::deletionListName);
  } catch (const fs::filesystem_error& failure) {
    error = failure.code();
  }
  if (error) report("  could not write " + std::string(ImageOptimizer::deletionListName) + ": " + error.message());
}
