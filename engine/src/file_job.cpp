#include "file_job.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <new>
#include <optional>

#include "file_contents.h"
#include "output_record.h"

using OutputMode = ImageOptimizer::OutputMode;
using Handling = FilePlan::Handling;

namespace {

// The entry is no longer where the listing found it: the run has lost its basis.
bool isGone(const StepError& error) {
  const int number = error.code().value();
  return error.code().category() == std::generic_category() &&
         (number == ENOENT || number == ENOTDIR || number == ELOOP);
}

FileOutcome startingOutcome(const FilePlan& plan) {
  FileOutcome outcome;
  outcome.number = plan.number;
  outcome.total = plan.total;
  outcome.name = plan.entry.name;
  outcome.convertedName = plan.convertedName;
  outcome.ownName = plan.ownName;
  outcome.nameTakenBy = plan.nameTakenBy;
  outcome.bytesBefore = outcome.bytesAfter = plan.bytes;
  return outcome;
}

// The source, opened once: its bytes for the re-encode and for the copy come from one descriptor.
struct OpenedSource {
  std::optional<SourceFile> file;
  StepError error;
};

OpenedSource openSource(const FilePlan& plan, const RunContext& context) {
  OpenedSource source;
  SourceFile file = SourceFile::openIn(context.sourceFolder, plan.entry.name, source.error);
  if (!source.error)
    source.file = std::move(file);
  return source;
}

// An output says what it was made from. One that stands under its own name because of the plan (its
// JPEG's name is taken) says so, since a re-run cannot change that; one whose image could not be
// re-encoded says that it failed, so that the next run tries it again.
void keepRecord(PreparedFile& file, const TempFile& output, const SourceFile& source, OutputRecord::Made made,
                const RunContext& context) {
  if (!file.outcome.reencodeFailure.empty())
    made = OutputRecord::Made::failed;
  const StepError error = attachRecord(output.descriptor(), context.recordSettings, made,
                                       file.plan->entry.name, source.status(), file.avif.valid());
  if (isUnsupported(error))
    file.recordsUnsupported = true;
  else if (error)
    file.recordFailure = error.reason();
}

// The unchanged source, into a temporary file for its own name.
void copyOriginal(PreparedFile& file, const OpenedSource& source, const RunContext& context) {
  const FilePlan& plan = *file.plan;
  FileOutcome& outcome = file.outcome;
  if (!plan.ownNameBlocked.empty()) {
    outcome.failedWriteName = plan.entry.name;
    outcome.writeFailure = plan.ownNameBlocked;
    return;
  }
  if (source.error) {
    outcome.copyFailure = source.error.reason();
    return;
  }
  // An output entry that is the source file itself (a link to it) already holds the original.
  const std::optional<FileIdentity> existing = context.folder->fileAt(plan.entry.name);
  if (existing && *existing == source.file->identity()) {
    outcome.outputName = plan.entry.name;
    return;
  }
  StepError error;
  TempFile copy = context.folder->newFileFor(plan.entry.name, error);
  if (!error)
    error = copyContents(*source.file, copy);
  if (error) {
    outcome.copyFailure = error.reason();
    return;
  }
  const bool kept = file.outcome.fate == FileFate::grew || file.outcome.fate == FileFate::keptAnimation;
  keepRecord(file, copy, *source.file, kept ? OutputRecord::Made::kept : OutputRecord::Made::copy, context);
  file.original = std::move(copy);
}

void failReencoding(PreparedFile& file, const StepError& reason, const OpenedSource& source,
                    const RunContext& context) {
  file.outcome.fate = FileFate::failed;
  file.outcome.reencodeFailure = reason.reason();
  copyOriginal(file, source, context);
}

// The pixels of a re-encode: the image fitted within the size limit, never enlarged.
std::pair<std::int64_t, std::int64_t> fittedSize(const ImageHeader& header) {
  const double scale = std::min(1.0, static_cast<double>(ImageOptimizer::maxDimension) /
                                         std::max<double>({1.0, static_cast<double>(header.width),
                                                           static_cast<double>(header.height)}));
  return {std::llround(static_cast<double>(header.width) * scale),
          std::llround(static_cast<double>(header.height) * scale)};
}

// What an image's work needs: its decode and what it costs beside others, and with an AVIF the AV1
// encoder's own.
std::uint64_t memoryToWork(const ImageHeader& header, bool avif) {
  const auto [width, height] = fittedSize(header);
  return memoryInHand(header) + (avif ? memoryToEncodeAvif(width, height) : 0);
}

// Runs an image's work with the memory it needs leased for it (with its AVIF's, where it makes one); work
// that runs out of memory fails that image alone.
template <typename Work>
StepError withMemoryFor(const ImageHeader& header, bool avif, MemoryBudget& memory, Work&& work) {
  try {
    const MemoryBudget::Lease lease = memory.lease(memoryToWork(header, avif));
    return work();
  } catch (const std::bad_alloc&) {
    return StepError::inWords("not enough memory to decode it");
  }
}

// Runs the encoder; with `avif`, its AVIF too.
StepError encode(const SourceFile& source, const ImageHeader& header, TempFile& output, AvifRequest* avif,
                 const RunContext& context, MemoryBudget& memory) {
  return withMemoryFor(header, avif != nullptr, memory, [&] {
    return avif ? context.avif.withJpeg(source, header, output, *avif)
                : context.encoder(source, header, output);
  });
}

// An AVIF is kept only where it is smaller than the JPEG it stands beside.
void settleAvif(PreparedFile& file, TempFile&& avif, const StepError& failure, std::uint64_t jpegBytes,
                const std::string& jpegName, const SourceFile& source, const RunContext& context) {
  FileOutcome& outcome = file.outcome;
  if (failure) {
    outcome.avif = AvifFate::failed;
    outcome.avifFailure = failure.reason();
    return;
  }
  outcome.avifBytes = avif.size();
  if (outcome.avifBytes >= jpegBytes) {
    outcome.avif = AvifFate::larger;
    return;
  }
  outcome.avif = AvifFate::kept;
  outcome.avifName = avifNameOf(jpegName);
  keepRecord(file, avif, source, OutputRecord::Made::avif, context);
  file.avif = std::move(avif);
}

// A temporary file for the AVIF beside `jpegName`, or why there is none.
TempFile newAvifFile(const std::string& jpegName, const RunContext& context, StepError& error) {
  return context.folder->newFileFor(avifNameOf(jpegName), error);
}

// The AVIF of a small JPEG copied unchanged: decoded for it alone.
void makeAvifOfOriginal(PreparedFile& file, const SourceFile& source, const RunContext& context,
                        MemoryBudget& memory) {
  const std::string& name = file.plan->entry.name;
  StepError error;
  TempFile avif = newAvifFile(name, context, error);
  ImageHeader header;
  if (!error)
    error = inspectImage(source, context.decodeLimits, header);
  if (!error)
    error = withMemoryFor(header, true, memory, [&] { return context.avif.alone(source, header, avif); });
  if (error.stopped()) {
    file.unfinished = true;
    return;
  }
  settleAvif(file, std::move(avif), error, source.size(), name, source, context);
}

void reencode(PreparedFile& file, const OpenedSource& source, const RunContext& context,
              MemoryBudget& memory) {
  const FilePlan& plan = *file.plan;
  if (source.error)
    return failReencoding(file, StepError::inWords("the file cannot be read (" + source.error.reason() + ")"),
                          source, context);
  // Something in the way of its JPEG's name was found by the plan: the original goes instead.
  if (!plan.reencodeBlocked.empty()) {
    file.outcome.fate = FileFate::failed;
    file.outcome.failedWriteName = plan.reencodeName;
    file.outcome.writeFailure = plan.reencodeBlocked;
    return copyOriginal(file, source, context);
  }
  ImageHeader header;
  if (const StepError refused = inspectImage(*source.file, context.decodeLimits, header)) {
    if (refused.stopped()) {
      file.unfinished = true;
      return;
    }
    return failReencoding(file, refused, source, context);
  }
  if (header.animated) {
    file.outcome.fate = FileFate::keptAnimation;
    return copyOriginal(file, source, context);
  }

  StepError error;
  TempFile encoded = context.folder->newFileFor(plan.reencodeName, error);
  TempFile avifFile;
  AvifRequest avif{.output = &avifFile, .failure = {}};
  if (context.avif && !error)
    avifFile = newAvifFile(plan.reencodeName, context, avif.failure);
  if (!error)
    error = encode(*source.file, header, encoded, avifFile.valid() ? &avif : nullptr, context, memory);
  if (error.stopped()) {
    file.unfinished = true;
    return;
  }
  if (error)
    return failReencoding(file, error, source, context);
  const std::uint64_t encodedSize = encoded.size();
  // Equal sizes keep the re-encoded file: it is the one with upright pixels and no metadata.
  if (file.outcome.bytesBefore < encodedSize) {
    file.outcome.fate = FileFate::grew;
    // The original kept is a JPEG: the AVIF of the same pass stands beside it, where smaller.
    if (context.avif && plan.entry.kind == ImageKind::jpeg)
      settleAvif(file, std::move(avifFile), avif.failure, file.outcome.bytesBefore, plan.entry.name,
                 *source.file, context);
    return copyOriginal(file, source, context);
  }
  if (context.avif)
    settleAvif(file, std::move(avifFile), avif.failure, encodedSize, plan.reencodeName, *source.file,
               context);
  file.outcome.fate = FileFate::reencoded;
  file.outcome.bytesAfter = encodedSize;
  keepRecord(file, encoded, *source.file, OutputRecord::Made::jpeg, context);
  file.reencoded = std::move(encoded);
}

// A small JPEG copied unchanged, beside which its AVIF may go.
bool makesJpegCopy(const FilePlan& plan, OutputMode mode) {
  return plan.handling == Handling::small && mode == OutputMode::fullReplacement &&
         plan.entry.kind == ImageKind::jpeg && plan.ownNameBlocked.empty();
}

FileFate fateOf(Handling handling) {
  switch (handling) {
    case Handling::copy:
      return FileFate::copied;
    case Handling::keepOwnName:
      return FileFate::keptOwnName;
    case Handling::unchanged:
      return FileFate::unchanged;
    case Handling::notWritten:
      return FileFate::notWritten;
    case Handling::small:
    case Handling::reencode:
      break;
  }
  return FileFate::small;
}

void prepareFile(PreparedFile& file, const RunContext& context, MemoryBudget& memory) {
  const FilePlan& plan = *file.plan;
  FileOutcome& outcome = file.outcome;
  if (plan.statusError) {
    file.runEnding = StepError::ofCode(plan.statusError);
    return;
  }
  outcome.fate = fateOf(plan.handling);
  if (plan.handling == Handling::unchanged) {
    outcome.outputName = plan.outputName;
    outcome.bytesAfter = plan.unchangedBytes;
    if (!plan.avifName.empty()) {
      outcome.avif = AvifFate::unchanged;
      outcome.avifName = plan.avifName;
      outcome.avifBytes = plan.unchangedAvifBytes;
    }
    return;
  }
  if (plan.handling == Handling::notWritten) {
    outcome.notWrittenReason = plan.notWrittenReason;
    return;
  }
  if (plan.outputInPlace) {
    // Reported as the plan's outcome, with the original that a run made for it earlier left as it is.
    if (plan.handling == Handling::reencode) {
      outcome.fate = FileFate::failed;
      outcome.failedWriteName = plan.reencodeName;
      outcome.writeFailure = plan.reencodeBlocked;
    }
    outcome.outputName = plan.entry.name;
    outcome.bytesAfter = plan.unchangedBytes;
    return;
  }
  if (plan.handling != Handling::reencode && !plan.writesOriginal(context.mode))
    return;  // nothing is written: the source need not even be opened
  const OpenedSource source = openSource(plan, context);
  if (isGone(source.error)) {
    file.runEnding = source.error;
    return;
  }
  if (source.file)
    outcome.bytesBefore = outcome.bytesAfter = source.file->size();
  if (plan.handling == Handling::reencode)
    return reencode(file, source, context, memory);
  if (context.avif && source.file && makesJpegCopy(plan, context.mode))
    makeAvifOfOriginal(file, *source.file, context, memory);
  if (!file.unfinished)
    copyOriginal(file, source, context);
}

// What an earlier run made for this entry under `name`, which the output folder no longer holds for it:
// only a file that carries a record (or one on a drive that keeps none, where nothing can tell), under a
// name this entry holds, and never a source image a link leads to.
void removeOlder(const std::string& name, const RunContext& context, FileOutcome& outcome) {
  if (context.sourceLinks->sourceAt(*context.folder, name))
    return;
  const FoundOutput found = context.folder->findOutput(name);
  if (!found.status || (!found.record && !found.recordsUnsupported))
    return;
  if (!context.folder->remove(name))
    outcome.removedOlder.push_back(name);
}

// A file and the AVIF an earlier run put beside it.
void removeOlderWithAvif(const std::string& name, const RunContext& context, FileOutcome& outcome) {
  removeOlder(name, context, outcome);
  removeOlder(avifNameOf(name), context, outcome);
}

// After a re-encode that grew, or an animation kept whole, the output folder holds the original and no
// converted file: an older one would be uploaded as if it were this image. A re-run also removes one
// after a re-encode that failed, and, once the JPEG is placed under its converted name, the original an
// earlier run kept under the entry's own name: a run into an empty folder would leave neither.
void removeOlderOutputs(const FilePlan& plan, const RunContext& context, FileOutcome& outcome) {
  if (plan.reencodeName != plan.convertedName || plan.convertedIsOwnName)
    return;
  const bool placedOriginal = outcome.writeFailure.empty() && outcome.copyFailure.empty();
  if ((outcome.fate == FileFate::grew || outcome.fate == FileFate::keptAnimation) && placedOriginal)
    removeOlderWithAvif(plan.convertedName, context, outcome);
  else if (!context.skipUnchanged)
    return;
  else if (outcome.fate == FileFate::failed && !outcome.reencodeFailure.empty())
    removeOlderWithAvif(plan.convertedName, context, outcome);
  else if (outcome.fate == FileFate::reencoded && plan.ownNameBlocked.empty())
    removeOlderWithAvif(plan.entry.name, context, outcome);
}

}  // namespace

// Checked again at the last moment: the folder may have changed since the file was planned.
StepError placeAs(TempFile& file, const std::string& name, const RunContext& context) {
  StepError error = context.sourceLinks->checkReplaceable(*context.folder, name);
  if (!error)
    error = context.folder->place(file, name);
  file = TempFile();
  return error;
}

// Nothing could be written under `name`: the file keeps what the output folder held before.
void failWrite(FileOutcome& outcome, const std::string& name, const StepError& error) {
  outcome.outputName.clear();
  outcome.failedWriteName = name;
  outcome.writeFailure = error.reason();
  outcome.bytesAfter = outcome.bytesBefore;
}

// The AVIF beside what was placed under `name`; where none was made, an older one goes, since a server
// would hand it out in the new JPEG's place.
void placeAvif(PreparedFile& file, const std::string& name, const RunContext& context) {
  FileOutcome& outcome = file.outcome;
  if (!file.avif.valid()) {
    removeOlder(avifNameOf(name), context, outcome);
    return;
  }
  if (const StepError error = placeAs(file.avif, avifNameOf(name), context)) {
    outcome.avif = AvifFate::failed;
    outcome.avifFailure = "could not write " + avifNameOf(name) + ": " + error.reason();
    outcome.avifName.clear();
  }

}  // namespace

PreparedFile prepare(const FilePlan& plan, const RunContext& context, MemoryBudget& memory) {
  PreparedFile file;
  file.plan = &plan;
  file.outcome = startingOutcome(plan);
  // Runs on a worker: what cannot be handled here ends the run when the file's turn comes.
  try {
    prepareFile(file, context, memory);
    // A file that waits for its turn holds no descriptor; should parking fail, placing says why.
    if (file.reencoded.valid())
      file.reencoded.park();
    if (file.original.valid())
      file.original.park();
    if (file.avif.valid())
      file.avif.park();
  } catch (const std::bad_alloc&) {
    file.runEnding = StepError::ofCode(std::make_error_code(std::errc::not_enough_memory));
  } catch (const std::exception& failure) {
    file.runEnding = StepError::inWords(failure.what());
  }
  return file;
}

FileOutcome place(PreparedFile&& file, const RunContext& context) {
  FileOutcome& outcome = file.outcome;
  const FilePlan& plan = *file.plan;
  // Only what was written now has its AVIF settled; what was left alone keeps what it has.
  const bool placing = file.reencoded.valid() || file.original.valid();
  if (file.reencoded.valid()) {
    outcome.outputName = plan.reencodeName;
    // Rare: the plan looked for what stands in the way. The original is not tried then: copying it
    // now would hold up every file after this one.
    if (const StepError error = placeAs(file.reencoded, plan.reencodeName, context)) {
      outcome.fate = FileFate::failed;
      failWrite(outcome, plan.reencodeName, error);
    }
  }
  if (file.original.valid()) {
    outcome.outputName = plan.entry.name;
    if (const StepError error = placeAs(file.original, plan.entry.name, context))
      failWrite(outcome, plan.entry.name, error);
  }
  if (placing && !outcome.outputName.empty() && outcome.writeFailure.empty())
    placeAvif(file, outcome.outputName, context);
  removeOlderOutputs(plan, context, outcome);
  return std::move(outcome);
}
