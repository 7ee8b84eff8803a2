// The wording of the log, from values: one line per started file, the problem lines of an outcome, the
// closing lines, and the bytes text.
#include "run_log.h"

#include <gtest/gtest.h>

#include "deletion_list.h"
#include "run_fixture.h"

namespace {

FileOutcome outcome(FileFate fate) {
  FileOutcome made;
  made.number = 2;
  made.total = 5;
  made.name = "logo.png";
  made.convertedName = "logo.jpg";
  made.fate = fate;
  return made;
}

}  // namespace

TEST(RunLog, StartedFilesAndTheirProblems) {
  EXPECT_EQ(run_log::linesOf(FileStarted{3, 12, "banner.png"}), Names{"[3/12] banner.png"});
  EXPECT_EQ(run_log::linesOf(FileStarted{1, 1, "two\nlines\t.png"}), Names{"[1/1] two\u240Alines\u2409.png"});
  for (const FileFate fate : {FileFate::reencoded, FileFate::grew, FileFate::small, FileFate::copied})
    EXPECT_TRUE(run_log::linesOf(outcome(fate)).empty());

  FileOutcome taken = outcome(FileFate::keptOwnName);
  taken.ownName = OwnNameReason::nameTaken;
  taken.nameTakenBy = "logo.jpg";
  EXPECT_EQ(run_log::linesOf(taken), Names{"  kept its own name: logo.jpg is taken by logo.jpg"});
  FileOutcome unlisted = outcome(FileFate::keptOwnName);
  unlisted.ownName = OwnNameReason::cannotBeListed;
  EXPECT_EQ(run_log::linesOf(unlisted),
            Names{"  kept its own name: the name cannot be written to " + deletionList});

  FileOutcome failed = outcome(FileFate::failed);
  failed.reencodeFailure = "the file is cut short";
  failed.outputName = "logo.png";
  EXPECT_EQ(run_log::linesOf(failed),
            Names{"  could not re-encode (kept the original): the file is cut short"});
  failed.outputName.clear();
  failed.copyFailure = "No space left on device";
  EXPECT_EQ(run_log::linesOf(failed), (Names{"  could not re-encode: the file is cut short",
                                             "  could not copy: No space left on device"}));
  EXPECT_EQ(run_log::namedProblemLines(failed), (Names{"logo.png: could not re-encode: the file is cut short",
                                                       "logo.png: could not copy: No space left on device"}));
  EXPECT_EQ(run_log::linesOf(DeletionListFailure{"Permission denied"}),
            Names{"  could not write " + deletionList + ": Permission denied"});

  // A quiet report and the window's marks take the problem lines only: the log also tells of files
  // that went as intended, and a reason is a value's, never an unchanged file's.
  FileOutcome animation = outcome(FileFate::keptAnimation);
  animation.outputName = "logo.png";
  for (const FileOutcome& fine : {animation, outcome(FileFate::unchanged)}) {
    EXPECT_FALSE(run_log::linesOf(fine).empty());
    EXPECT_TRUE(run_log::problemLinesOf(fine).empty());
    EXPECT_TRUE(run_log::namedProblemLines(fine).empty());
  }
  // A folder not read, a list not written and an old output not removed are problems of their own.
  OutputRemoved stuck{"old.jpg", "old.png", RemovalCause::sourceGone, "", "Permission denied"};
  for (const RunEvent& problem : {RunEvent(FolderNotRead{"blog", "Permission denied"}),
                                  RunEvent(DeletionListFailure{"Permission denied"}), RunEvent(stuck)})
    EXPECT_EQ(run_log::problemLinesOf(problem), run_log::linesOf(problem));
  stuck.failure.clear();
  EXPECT_EQ(run_log::linesOf(stuck), Names{"Removed old.jpg: its source old.png is gone."});
  EXPECT_TRUE(run_log::problemLinesOf(stuck).empty());
  EXPECT_FALSE(run_log::reasonOf(outcome(FileFate::unchanged)));
  EXPECT_EQ(run_log::reasonOf(failed),
            "could not re-encode: the file is cut short; could not copy: No space "
            "left on device");
}

TEST(RunLog, NamesNeverBreakALineNorCommandATerminal) {
  EXPECT_EQ(run_log::shownName("x\u2028index\xC2\x85.png"), "x\\u2028index\\u0085.png");
  EXPECT_EQ(run_log::shownName("\xC2\x9B"
                               "2J\xFF.png"),
            "\\u009B2J\\xFF.png");
  EXPECT_EQ(run_log::errorLine(ImageOptimizer::RunError("gone: /a\nb")), "Error: gone: /a\u240Ab");
  // Unicode-aware readers see a line break at each of these: the name is not listed, as with a line feed.
  for (const char* name :
       {"x\u2028index.png", "x\u2029.png", "x\xC2\x85.png", "x\xC2\x9B.png", "x\xC0\xAF.png"})
    EXPECT_FALSE(fitsOnDeletionList(name)) << name;
  EXPECT_TRUE(fitsOnDeletionList("\u00C5ngstr\u00F6m \u00FCber.png"));
}

TEST(RunLog, ClosingLinesSayWhatApplies) {
  ImageOptimizer::Result result{7, 3, 1, {"a.png", "b.png"}, 4};
  EXPECT_EQ(run_log::closingLines(result),
            (Names{"", "Done. 7 resized/converted, 3 already small.",
                   "1 came out larger after reprocessing -- kept the original instead.",
                   "4 file(s) could not be optimized -- see the messages above.", "",
                   "2 file(s) changed format and won't be overwritten on the server.",
                   "See " + deletionList + " in the output folder for the list."}));
  result.deletionListFailed = true;
  EXPECT_EQ(run_log::closingLines(result).back(),
            deletionList + " could not be written -- see the message above.");
  result.images = 39;
  result.stopped = ImageOptimizer::StopPoint{12, "Kay\n.png"};
  EXPECT_EQ(run_log::closingLines(result).back(),
            "Stopped after Kay\u240A.png (12 of 39) -- the images after it were left as they are.");
  result.stopped = ImageOptimizer::StopPoint{};
  EXPECT_EQ(run_log::closingLines(result).back(),
            "Stopped before the first image (0 of 39) -- the images were left as they are.");
  ImageOptimizer::Result empty;
  empty.subfolders = 3;
  EXPECT_EQ(run_log::closingLines(empty),
            (Names{"", "Done. 0 resized/converted, 0 already small.",
                   "No JPEG, PNG or GIF file is directly in the source folder; its 3 subfolders were not "
                   "looked into."}));
  EXPECT_EQ(run_log::closingLines(ImageOptimizer::Result{12345, 0, 0, {}, 0}),
            (Names{"", "Done. 12345 resized/converted, 0 already small."}));
  empty.recursive = true;
  EXPECT_EQ(run_log::emptyRunLine(empty),
            "No JPEG, PNG or GIF file is in the source folder or its 3 subfolders.");
  empty.leftOut = {{EntryKind::fifo, 1}, {EntryKind::folder, 2}};
  EXPECT_EQ(run_log::closingLines(empty).back(),
            "3 entries named like images were left out: not regular files (a folder, a FIFO).");
}

TEST(RunLog, BytesAsFileManagersShowThem) {
  EXPECT_EQ(run_log::sizeText(0), "0 bytes");
  EXPECT_EQ(run_log::sizeText(1), "1 byte");
  EXPECT_EQ(run_log::sizeText(999), "999 bytes");
  EXPECT_EQ(run_log::sizeText(1000), "1.0 kB");
  EXPECT_EQ(run_log::sizeText(999'949), "999.9 kB");
  EXPECT_EQ(run_log::sizeText(999'960), "1.0 MB");
  EXPECT_EQ(run_log::sizeText(72'912'345), "72.9 MB");
  EXPECT_EQ(run_log::sizeText(3'400'000'000), "3.4 GB");

  ImageOptimizer::Result result;
  result.bytesBefore = 72'900'000;
  result.bytesAfter = 4'100'000;
  EXPECT_EQ(run_log::bytesSavedText(result), "72.9 MB \u2192 4.1 MB (94 % smaller)");
  result.bytesAfter = result.bytesBefore;
  EXPECT_EQ(run_log::bytesSavedText(result), "72.9 MB \u2192 72.9 MB (unchanged)");
  result.bytesAfter = result.bytesBefore - 1000;
  EXPECT_EQ(run_log::bytesSavedText(result), "72.9 MB \u2192 72.9 MB (less than 1 % smaller)");
  result.bytesAfter = 100'000;
  EXPECT_EQ(run_log::bytesSavedText(result), "72.9 MB \u2192 100.0 kB (99 % smaller)") << "never 100 %";
  EXPECT_EQ(run_log::bytesSavedText(ImageOptimizer::Result{}), "0 bytes \u2192 0 bytes (unchanged)");
  result.bytesAfter = result.bytesBefore + 7'300'000;
  EXPECT_EQ(run_log::bytesSavedText(result), "72.9 MB \u2192 80.2 MB (10 % larger)");
}

TEST(RunLog, ProblemSummaryBesideTheSizes) {
  ImageOptimizer::Result result{7, 3, 1, {"a.png"}, 0};
  EXPECT_EQ(run_log::problemSummaryText(result), std::nullopt);
  result.failed = 1;
  EXPECT_EQ(run_log::problemSummaryText(result), "1 image could not be optimized -- see the log");
  result.failed = 4;
  result.deletionListFailed = true;
  EXPECT_EQ(run_log::problemSummaryText(result),
            "4 images could not be optimized and " + deletionList + " could not be written -- see the log");
  result.failed = 0;
  EXPECT_EQ(run_log::problemSummaryText(result), deletionList + " could not be written -- see the log");
}

TEST(RunLog, OutcomeTextSaysWhatBecameOfTheFile) {
  FileOutcome reencoded = outcome(FileFate::reencoded);
  reencoded.outputName = "logo.jpg";
  EXPECT_EQ(run_log::outcomeText(reencoded), "re-encoded as logo.jpg");
  reencoded.ownName = OwnNameReason::nameTaken;
  reencoded.outputName = "logo.png";
  reencoded.nameTakenBy = "logo.JPG";
  EXPECT_EQ(run_log::outcomeText(reencoded),
            "re-encoded as logo.png (kept its own name: logo.jpg is taken by logo.JPG)");
  FileOutcome small = outcome(FileFate::small);
  EXPECT_EQ(run_log::outcomeText(small), "left out as small");
  small.outputName = "logo.png";
  EXPECT_EQ(run_log::outcomeText(small), "copied as small");
  EXPECT_EQ(run_log::outcomeText(outcome(FileFate::copied)), "copied");
  EXPECT_EQ(run_log::outcomeText(outcome(FileFate::unchanged)), "unchanged since the last run");
  EXPECT_EQ(run_log::outcomeText(outcome(FileFate::grew)),
            "kept the original: the re-encoded image came out larger");
  FileOutcome failed = outcome(FileFate::failed);
  failed.reencodeFailure = "the file is cut short";
  failed.outputName = "logo.png";
  EXPECT_EQ(run_log::outcomeText(failed), "could not re-encode (kept the original): the file is cut short");
  FileOutcome uncopied = outcome(FileFate::copied);
  uncopied.copyFailure = "Permission denied";
  EXPECT_EQ(run_log::outcomeText(uncopied), "could not copy: Permission denied");
}
