#include "file_job.h"

#include <cerrno>
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

// An output that went as intended says what it was made from; one with a problem says nothing, so
// that the next run tries it again and reports the problem until it is gone.
void keepRecord(PreparedFile& file, const TempFile& output, const SourceFile& source,
                const RunContext& context) {
  if (file.outcome.isProblem())
    return;
  const StepError error =
      attachRecord(output.descriptor(), context.recordSettings, file.plan->entry.name, source.status());
  file.recordsUnsupported = file.recordsUnsupported || isUnsupported(error);
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
  TempFile copy = context.folder->newFile(error);
  if (!error)
    error = copyContents(*source.file, copy);
  if (error) {
    outcome.copyFailure = error.reason();
    return;
  }
  keepRecord(file, copy, *source.file, context);
  file.original = std::move(copy);
}

void failReencoding(PreparedFile& file, const StepError& reason, const OpenedSource& source,
                    const RunContext& context) {
  file.outcome.fate = FileFate::failed;
  file.outcome.reencodeFailure = reason.reason();
  copyOriginal(file, source, context);
}

// Runs the encoder with the memory its image needs leased for it.
StepError encode(const SourceFile& source, const ImageHeader& header, TempFile& output,
                 const RunContext& context, MemoryBudget& memory) {
  try {
    const MemoryBudget::Lease lease = memory.lease(memoryInHand(header));
    return context.encoder(source, header, output);
  } catch (const std::bad_alloc&) {
    return StepError::inWords("not enough memory to decode it");
  }
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
  TempFile encoded = context.folder->newFile(error);
  if (!error)
    error = encode(*source.file, header, encoded, context, memory);
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
    return copyOriginal(file, source, context);
  }
  file.outcome.fate = FileFate::reencoded;
  file.outcome.bytesAfter = encodedSize;
  keepRecord(file, encoded, *source.file, context);
  file.reencoded = std::move(encoded);
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
    return;
  }
  if (plan.handling == Handling::notWritten) {
    outcome.notWrittenReason = plan.notWrittenReason;
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
  copyOriginal(file, source, context);
}

// After a re-encode that grew, or an animation kept whole, the output folder holds the original and no
// converted file: an older one left by an earlier run would be uploaded as if it were this image. Only a file
// this entry holds the name for, and never a source image a link leads to.
void removeOlderConvertedFile(const FilePlan& plan, const RunContext& context) {
  if (plan.reencodeName != plan.convertedName || plan.convertedIsOwnName)
    return;
  if (context.sourceLinks->sourceAt(*context.folder, plan.convertedName))
    return;
  context.folder->remove(plan.convertedName);
}

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

}  // namespace

PreparedFile prepare(const FilePlan& plan, const RunContext& context, MemoryBudget& memory) {
  PreparedFile file;
  file.plan = &plan;
  file.outcome = startingOutcome(plan);
  // Runs on a worker: what cannot be handled here ends the run when the file's turn comes.
  try {
    prepareFile(file, context, memory);
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
  const bool keptOriginal = outcome.fate == FileFate::grew || outcome.fate == FileFate::keptAnimation;
  if (keptOriginal && outcome.writeFailure.empty() && outcome.copyFailure.empty())
    removeOlderConvertedFile(plan, context);
  return std::move(outcome);
}
