#include "file_job.h"

#include <sys/stat.h>

#include <cerrno>
#include <new>
#include <optional>
#include <vector>

#include "file_contents.h"

using OutputMode = ImageOptimizer::OutputMode;
using Handling = FilePlan::Handling;

namespace {

// The entry is no longer where the listing found it: the run has lost its basis.
bool isGone(const StepError& error) {
  const int number = error.code().value();
  return error.code().category() == std::generic_category() &&
         (number == ENOENT || number == ENOTDIR || number == ELOOP);
}

StepError sameNameInOutput(const std::string& name, const std::string& holder) {
  return StepError::inWords(name + " is the same name as " + holder +
                            " in the output folder, which does not tell letter case apart");
}

// What keeps a file from taking `name` in the output folder, known before any work is spent on it.
StepError obstacleAt(const std::string& name, const RunContext& context) {
  if (const StepError linked = context.sourceLinks->checkReplaceable(*context.folder, name))
    return linked;
  return context.folder->checkPlaceable(name);
}

FileOutcome startingOutcome(const FilePlan& plan) {
  FileOutcome outcome;
  outcome.number = plan.number;
  outcome.total = plan.total;
  outcome.name = plan.entry.name;
  outcome.convertedName = plan.convertedName;
  outcome.ownName = plan.ownName;
  outcome.nameTakenBy = plan.nameTakenBy;
  return outcome;
}

// The source, opened once: its bytes for the re-encode and for the copy come from one descriptor.
struct OpenedSource {
  std::optional<SourceFile> file;
  StepError error;
};

OpenedSource openSource(const FilePlan& plan) {
  OpenedSource source;
  SourceFile file = SourceFile::open(plan.entry.path, source.error);
  if (!source.error)
    source.file = std::move(file);
  return source;
}

// The unchanged source, into a temporary file for its own name.
void copyOriginal(PreparedFile& file, const OpenedSource& source, const RunContext& context) {
  const FilePlan& plan = *file.plan;
  FileOutcome& outcome = file.outcome;
  if (!plan.ownNameBlockedBy.empty()) {
    outcome.copyFailure = sameNameInOutput(plan.entry.name, plan.ownNameBlockedBy).reason();
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
  StepError error = obstacleAt(plan.entry.name, context);
  TempFile copy;
  if (!error)
    copy = context.folder->newFile(error);
  if (!error)
    error = copyContents(*source.file, copy);
  if (error) {
    outcome.copyFailure = error.reason();
    return;
  }
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
    const MemoryBudget::Lease lease = memory.lease(memoryToDecode(header));
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
  if (plan.writeName == plan.entry.name && !plan.ownNameBlockedBy.empty())
    return failReencoding(file, sameNameInOutput(plan.entry.name, plan.ownNameBlockedBy), source, context);
  // Something in the way of the converted name is known before the work: the original goes instead.
  if (const StepError blocked = obstacleAt(plan.writeName, context))
    return failReencoding(file, blocked, source, context);
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
  file.reencoded = std::move(encoded);
}

bool noOlder(const timespec& output, const timespec& source) {
  return output.tv_sec != source.tv_sec ? output.tv_sec > source.tv_sec : output.tv_nsec >= source.tv_nsec;
}

// The entry a run writes for the file, when it is in the output folder and no older than the source:
// the file is then left alone. For a re-encode that is its converted name, or its own name when the
// re-encode came out larger last time.
bool foundUnchanged(PreparedFile& file, const struct stat& source, const RunContext& context) {
  const FilePlan& plan = *file.plan;
  std::vector<std::string> written{plan.entry.name};
  if (plan.handling == Handling::reencode)
    written = {plan.writeName, plan.entry.name};
  else if (plan.handling == Handling::small && context.mode == OutputMode::changedOnly)
    return false;  // nothing is written for it anyway
  for (const std::string& name : written) {
    const std::optional<struct stat> output = context.folder->statusOfFileAt(name);
    if (output && noOlder(output->st_mtim, source.st_mtim)) {
      file.outcome.fate = FileFate::unchanged;
      file.outcome.outputName = name;
      file.outcome.bytesAfter = static_cast<std::uint64_t>(output->st_size);
      return true;
    }
  }
  return false;
}

void prepareFile(PreparedFile& file, const RunContext& context, MemoryBudget& memory) {
  const FilePlan& plan = *file.plan;
  if (plan.sizeError) {
    file.runEnding = StepError::ofCode(plan.sizeError);
    return;
  }
  // Its size first, as for every file; a file that has gone since the listing ends the run here.
  struct stat status {};
  if (::stat(plan.entry.path.c_str(), &status) != 0) {
    file.runEnding = StepError::ofErrno();
    return;
  }
  file.outcome.bytesBefore = file.outcome.bytesAfter = static_cast<std::uint64_t>(status.st_size);
  if (context.skipUnchanged && foundUnchanged(file, status, context))
    return;
  if (plan.handling == Handling::small && context.mode == OutputMode::changedOnly) {
    file.outcome.fate = FileFate::small;
    return;  // nothing is written: the source need not even be opened
  }
  const OpenedSource source = openSource(plan);
  if (isGone(source.error)) {
    file.runEnding = source.error;
    return;
  }
  if (source.file)
    file.outcome.bytesBefore = file.outcome.bytesAfter = source.file->size();
  switch (plan.handling) {
    case Handling::small:
      file.outcome.fate = FileFate::small;
      break;
    case Handling::copy:
      file.outcome.fate = FileFate::copied;
      break;
    case Handling::keepOwnName:
      file.outcome.fate = FileFate::keptOwnName;
      break;
    case Handling::reencode:
      return reencode(file, source, context, memory);
  }
  copyOriginal(file, source, context);  // every handling but a re-encode writes the original
}

// After a re-encode that grew, or an animation kept whole, the output folder holds the original and no
// converted file: an older one left by an earlier run would be uploaded as if it were this image. Only a file
// this entry holds the name for, and never a source image a link leads to.
void removeOlderConvertedFile(const FilePlan& plan, const RunContext& context) {
  if (plan.writeName != plan.convertedName || plan.convertedIsOwnName)
    return;
  if (context.sourceLinks->sourceAt(*context.folder, plan.convertedName))
    return;
  context.folder->remove(plan.convertedName);
}

// Checked again at the last moment: the folder may have changed since the file was prepared.
StepError placeAs(TempFile& file, const std::string& name, const RunContext& context) {
  StepError error = context.sourceLinks->checkReplaceable(*context.folder, name);
  if (!error)
    error = context.folder->place(file, name);
  file = TempFile();
  return error;
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
  if (file.reencoded.valid()) {
    outcome.outputName = file.plan->writeName;
    if (const StepError error = placeAs(file.reencoded, file.plan->writeName, context)) {
      outcome.outputName.clear();
      // Rare: the obstacles were looked for before the work. Copying the original now would hold up
      // every file after this one, so it is not tried.
      outcome.fate = FileFate::failed;
      outcome.reencodeFailure = error.reason();
      outcome.copyFailure = "not tried after the failed write";
      outcome.bytesAfter = outcome.bytesBefore;
    }
  }
  if (file.original.valid()) {
    outcome.outputName = file.plan->entry.name;
    if (const StepError error = placeAs(file.original, file.plan->entry.name, context)) {
      outcome.outputName.clear();
      outcome.copyFailure = error.reason();
      outcome.bytesAfter = outcome.bytesBefore;
    }
  }
  const bool keptOriginal = outcome.fate == FileFate::grew || outcome.fate == FileFate::keptAnimation;
  if (keptOriginal && outcome.copyFailure.empty())
    removeOlderConvertedFile(*file.plan, context);
  return std::move(outcome);
}
