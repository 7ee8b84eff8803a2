#include "file_job.h"

#include <sys/stat.h>

#include <cerrno>
#include <new>

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

}  // namespace

FileJob::FileJob(const FilePlan& plan, const RunContext& context) : plan_(plan), context_(context) {
  outcome_.number = plan.number;
  outcome_.total = plan.total;
  outcome_.name = plan.entry.name;
  outcome_.convertedName = plan.convertedName;
  outcome_.ownName = plan.ownName;
  outcome_.nameTakenBy = plan.nameTakenBy;
}

void FileJob::prepare() {
  // May run on a worker thread, where an exception would end the process: what cannot be handled here
  // ends the run instead, when its turn comes.
  try {
    prepareFile();
  } catch (const std::bad_alloc&) {
    runEnding_ = StepError::ofCode(std::make_error_code(std::errc::not_enough_memory));
  } catch (const std::exception& failure) {
    runEnding_ = StepError::inWords(failure.what());
  }
}

void FileJob::prepareFile() {
  if (plan_.sizeError) {
    runEnding_ = StepError::ofCode(plan_.sizeError);
    return;
  }
  // Its size first, as for every file; a file that has gone since the listing ends the run here.
  struct stat status {};
  if (::stat(plan_.entry.path.c_str(), &status) != 0) {
    runEnding_ = StepError::ofErrno();
    return;
  }
  outcome_.bytesBefore = outcome_.bytesAfter = static_cast<std::uint64_t>(status.st_size);
  switch (plan_.handling) {
    case Handling::small:
      outcome_.fate = FileFate::small;
      if (context_.mode == OutputMode::fullReplacement)
        prepareOriginal();
      return;
    case Handling::copyGif:
      outcome_.fate = FileFate::copied;
      prepareOriginal();
      return;
    case Handling::keepPng:
      outcome_.fate = FileFate::keptOwnName;
      prepareOriginal();
      return;
    case Handling::reencode:
      prepareReencoding();
      return;
  }
}

void FileJob::openSource() {
  if (source_ || openError_)
    return;
  StepError error;
  SourceFile file = SourceFile::open(plan_.entry.path, error);
  if (isGone(error)) {
    runEnding_ = error;
  } else if (error) {
    openError_ = error;
  } else {
    outcome_.bytesBefore = outcome_.bytesAfter = file.size();
    source_ = std::move(file);
  }
}

void FileJob::failReencoding(const StepError& reason) {
  outcome_.fate = FileFate::failed;
  outcome_.reencodeFailure = reason.reason();
  outcome_.bytesAfter = outcome_.bytesBefore;
  prepareOriginal();
}

void FileJob::prepareReencoding() {
  openSource();
  if (runEnding_)
    return;
  if (openError_)
    return failReencoding(StepError::inWords("the file cannot be read (" + openError_.reason() + ")"));
  if (plan_.writeName == plan_.entry.name && !plan_.ownNameBlockedBy.empty())
    return failReencoding(sameNameInOutput(plan_.entry.name, plan_.ownNameBlockedBy));
  ImageHeader header;
  if (const StepError refused = inspectImage(*source_, context_.decodeLimits, header))
    return failReencoding(refused);
  if (header.animated) {
    outcome_.fate = FileFate::keptAnimation;
    return prepareOriginal();
  }

  StepError error;
  TempFile encoded = context_.folder->newFile(error);
  if (!error) {
    const std::uint64_t memory = memoryToDecode(header);
    context_.memory->acquire(memory);
    error = context_.encoder(*source_, header, encoded);
    context_.memory->release(memory);
  }
  if (error)
    return failReencoding(error);
  const std::uint64_t encodedSize = encoded.size();
  // Equal sizes keep the re-encoded file: it is the one with upright pixels and no metadata.
  if (outcome_.bytesBefore < encodedSize) {
    outcome_.fate = FileFate::grew;
    prepareOriginal();
    return;
  }
  outcome_.fate = FileFate::reencoded;
  outcome_.bytesAfter = encodedSize;
  reencoded_ = std::move(encoded);
}

void FileJob::prepareOriginal() {
  if (!plan_.ownNameBlockedBy.empty()) {
    outcome_.copyFailure = sameNameInOutput(plan_.entry.name, plan_.ownNameBlockedBy).reason();
    return;
  }
  openSource();
  if (runEnding_)
    return;
  if (openError_) {
    outcome_.copyFailure = openError_.reason();
    return;
  }
  StepError error;
  original_ = context_.folder->newFile(error);
  if (!error)
    error = copyContents(*source_, original_);
  if (error) {
    outcome_.copyFailure = error.reason();
    original_ = TempFile();
  }
}

FileOutcome FileJob::place() {
  if (reencoded_.valid())
    placeReencoded();
  if (original_.valid())
    placeOriginal();
  const bool keptOriginal = outcome_.fate == FileFate::grew || outcome_.fate == FileFate::keptAnimation;
  if (keptOriginal && outcome_.copyFailure.empty())
    removeOlderConvertedFile();
  source_.reset();  // a run over thousands of files must not hold thousands of descriptors
  return outcome_;
}

void FileJob::placeReencoded() {
  StepError error = context_.sourceLinks->checkReplaceable(*context_.folder, plan_.writeName);
  if (!error)
    error = context_.folder->place(reencoded_, plan_.writeName);
  reencoded_ = TempFile();
  if (error) {
    failReencoding(error);  // its original is copied now, here, as rarely happens
    return;
  }
  convertedPng_ = plan_.listedWhenConverted;
}

void FileJob::placeOriginal() {
  const std::string& name = plan_.entry.name;
  // An output entry that is the source file itself (a link to it) already holds the original.
  const std::optional<FileIdentity> existing = context_.folder->fileAt(name);
  if (existing && source_ && *existing == source_->identity()) {
    original_ = TempFile();
    return;
  }
  StepError error = context_.sourceLinks->checkReplaceable(*context_.folder, name);
  if (!error)
    error = context_.folder->place(original_, name);
  original_ = TempFile();
  if (error) {
    outcome_.copyFailure = error.reason();
    outcome_.bytesAfter = outcome_.bytesBefore;
  }
}

// After a re-encode that grew (or an animation kept as it is), the output folder holds the original and
// no converted file: an older one left by an earlier run would be uploaded as if it were this image.
// Only a file this entry holds the name for, and never a source image a link leads to.
void FileJob::removeOlderConvertedFile() {
  if (plan_.writeName != plan_.convertedName || plan_.convertedIsOwnName)
    return;
  if (context_.sourceLinks->sourceAt(*context_.folder, plan_.convertedName))
    return;
  context_.folder->remove(plan_.convertedName);
}
