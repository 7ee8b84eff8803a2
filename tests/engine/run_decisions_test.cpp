// What a run writes, reports and counts for each kind of file, in both output modes.
#include <gtest/gtest.h>

#include "run_fixture.h"
#include "run_log.h"
#include "test_images.h"

namespace fs = std::filesystem;
using namespace test_images;

class RunDecisions : public RunFixture {
 protected:
  // One file of each kind: big PNG and JPEG, small PNG and JPEG, a GIF, a JPEG that grows, and things
  // that are not images at all.
  void makeMixedFolder() {
    writeNoisePng(source / "banner.png", 700, 500);
    writeNoiseJpeg(source / "hero.jpg", 2400, 1600);
    writeSmallPng(source / "icon.png");
    writeSmallJpeg(source / "thumb.jpg");
    writeSmallGif(source / "anim.gif");
    writeJpegThatGrows(source / "dense.jpg");
    writeBytes(source / "notes.txt", "not an image");
    writeBytes(source / "README", "no extension");
    writeNoisePng(source / "picture.webp", 700, 500);
    fs::create_directory(source / "sub");
    writeNoisePng(source / "sub" / "deep.png", 700, 500);
  }
};

TEST_F(RunDecisions, ChangedOnlyWritesWhatChangedAndListsConvertedPngs) {
  makeMixedFolder();
  const auto before = contentsOf(source);
  const ImageOptimizer::Result result = runOptimizer(Mode::changedOnly);

  EXPECT_EQ(lines, (Names{"[1/6] anim.gif", "[2/6] banner.png", "[3/6] dense.jpg", "[4/6] hero.jpg",
                          "[5/6] icon.png", "[6/6] thumb.jpg"}));
  EXPECT_EQ(totalsOf(result), (Totals{2, 2, 1, {"banner.png"}, 0}));
  EXPECT_EQ(namesIn(output), (Names{deletionList, "anim.gif", "banner.jpg", "dense.jpg", "hero.jpg"}));
  EXPECT_EQ(fingerprint(output / "anim.gif"), fingerprint(source / "anim.gif"));
  EXPECT_EQ(fingerprint(output / "dense.jpg"), fingerprint(source / "dense.jpg"))
      << "grown file is the original";
  EXPECT_LE(fs::file_size(output / "hero.jpg"), fs::file_size(source / "hero.jpg"));
  EXPECT_EQ(readBytes(output / deletionList), "banner.png\n");
  EXPECT_EQ(contentsOf(source), before);
  expectNoTemporaryFiles();
}

TEST_F(RunDecisions, FullReplacementAlsoCopiesSmallImagesAndListsNothing) {
  makeMixedFolder();
  const ImageOptimizer::Result result = runOptimizer(Mode::fullReplacement);

  EXPECT_EQ(lines.size(), 6u);
  EXPECT_EQ(totalsOf(result), (Totals{2, 2, 1, {}, 0}));
  EXPECT_EQ(namesIn(output),
            (Names{"anim.gif", "banner.jpg", "dense.jpg", "hero.jpg", "icon.png", "thumb.jpg"}));
  for (const char* copied : {"icon.png", "thumb.jpg", "anim.gif", "dense.jpg"}) {
    EXPECT_EQ(fingerprint(output / copied), fingerprint(source / copied)) << copied;
  }
  expectNoTemporaryFiles();
}

TEST_F(RunDecisions, EmptyOrImagelessFolderCreatesOutputAndReportsNothing) {
  writeBytes(source / "index.html", "<p>");
  fs::create_directory(source / "img");
  output = root / "new" / "nested" / "output";
  ImageOptimizer::Result nothing;
  nothing.subfolders = 1;
  for (const Mode mode : {Mode::changedOnly, Mode::fullReplacement}) {
    EXPECT_EQ(runOptimizer(mode), nothing);
    EXPECT_TRUE(lines.empty());
    EXPECT_TRUE(fs::is_directory(output));
    EXPECT_TRUE(namesIn(output).empty());
  }
}

TEST_F(RunDecisions, ProgressFollowsByteOrderOfNames) {
  for (const char* name : {"img2.gif", "img10.gif", "Zebra.gif", "apple.gif", "éclair.gif", ".hidden.gif"}) {
    writeSmallGif(source / name);
  }
  runOptimizer(Mode::changedOnly);
  EXPECT_EQ(lines, (Names{"[1/6] .hidden.gif", "[2/6] Zebra.gif", "[3/6] apple.gif", "[4/6] img10.gif",
                          "[5/6] img2.gif", "[6/6] éclair.gif"}));
}

TEST_F(RunDecisions, ThresholdIsInclusiveAt512000Bytes) {
  writeJpegOfExactSize(source / "at.jpg", 512000);
  writeJpegOfExactSize(source / "below.jpg", 511999);
  const ImageOptimizer::Result result = runOptimizer(Mode::fullReplacement);
  EXPECT_EQ(result.processed, 1);
  EXPECT_EQ(result.skippedSmall, 1);
  EXPECT_LT(fs::file_size(output / "at.jpg"), 512000u) << "re-encoded";
  EXPECT_EQ(fingerprint(output / "below.jpg"), fingerprint(source / "below.jpg")) << "copied unchanged";
}

TEST_F(RunDecisions, ExtensionsMatchInAnyCaseAndOutputEndsInLowerCaseJpg) {
  writeNoiseJpeg(source / "PHOTO.JPG", 1000, 800);
  writeNoiseJpeg(source / "scan.Jpeg", 1000, 800);
  writeNoisePng(source / "Logo.Png", 700, 500);
  writeSmallGif(source / "Anim.GIF");
  writeNoisePng(source / "a.b.png", 700, 500);
  writeNoisePng(source / ".hidden.png", 700, 500);
  const ImageOptimizer::Result result = runOptimizer(Mode::changedOnly);

  EXPECT_EQ(result.processed, 5);
  EXPECT_EQ(result.renamedFiles, (Names{".hidden.png", "Logo.Png", "a.b.png"}));
  EXPECT_EQ(namesIn(output),
            (Names{".hidden.jpg", "Anim.GIF", "Logo.jpg", "PHOTO.jpg", deletionList, "a.b.jpg", "scan.jpg"}));
  EXPECT_EQ(readBytes(output / deletionList), ".hidden.png\nLogo.Png\na.b.png\n");
  // The JPEG files now under another name: pages that link the old one need mending.
  EXPECT_EQ(result.renamedJpegs, (std::vector<ImageOptimizer::RenamedJpeg>{{"PHOTO.JPG", "PHOTO.jpg"},
                                                                           {"scan.Jpeg", "scan.jpg"}}));
  EXPECT_EQ(run_log::closingLines(result).back(),
            "2 JPEG files now end in .jpg, such as PHOTO.JPG \u2192 PHOTO.jpg -- links to their old names "
            "need mending.");
}

// A list left from an earlier run would delete from the server a PNG that is wanted there now.
TEST_F(RunDecisions, DeletionListIsReplacedWholeOrRemovedWhenNothingIsConverted) {
  fs::create_directories(output);
  writeNoisePng(source / "logo.png", 700, 500);
  writeNoisePng(source / "team.png", 700, 500);
  runOptimizer(Mode::changedOnly);
  EXPECT_EQ(readBytes(output / deletionList), "logo.png\nteam.png\n");

  const ImageOptimizer::Result full = runOptimizer(Mode::fullReplacement);
  EXPECT_FALSE(fs::exists(output / deletionList)) << "full replacement lists nothing";
  EXPECT_TRUE(full.deletionListRemoved);

  fs::remove(source / "logo.png");
  fs::remove(source / "team.png");
  writeSmallGif(source / "only.gif");
  fs::create_directories(output / deletionList);  // not a list: left as it is
  const ImageOptimizer::Result none = runOptimizer(Mode::changedOnly);
  EXPECT_TRUE(fs::is_directory(output / deletionList));
  EXPECT_FALSE(none.deletionListRemoved);
  expectNoTemporaryFiles();
}

TEST_F(RunDecisions, GifIsCopiedWhateverItsSizeAndCountsNowhere) {
  writeSmallGif(source / "small.gif");
  std::string big = readBytes(source / "small.gif");
  big.resize(700000, '\0');
  writeBytes(source / "big.gif", big);
  const ImageOptimizer::Result result = runOptimizer(Mode::changedOnly);
  EXPECT_EQ(totalsOf(result), Totals{});
  EXPECT_EQ(result.bytesAfter, result.bytesBefore);
  EXPECT_EQ(result.bytesBefore, fs::file_size(source / "big.gif") + fs::file_size(source / "small.gif"));
  EXPECT_EQ(lines, (Names{"[1/2] big.gif", "[2/2] small.gif"}));
  EXPECT_EQ(contentsOf(output), contentsOf(source));
}

// --- Bytes --------------------------------------------------------------------------------------------

TEST_F(RunDecisions, BytesCountWhatTheOutputFolderHoldsForEachImage) {
  makeMixedFolder();
  for (const Mode mode : {Mode::changedOnly, Mode::fullReplacement}) {
    fs::remove_all(output);
    const ImageOptimizer::Result result = runOptimizer(mode);
    std::uint64_t sources = 0;
    for (const char* name : {"banner.png", "hero.jpg", "icon.png", "thumb.jpg", "anim.gif", "dense.jpg"})
      sources += fs::file_size(source / name);
    EXPECT_EQ(result.bytesBefore, sources);
    // Small files count as they are in both modes; the two converted images as written.
    const std::uint64_t unchanged = fs::file_size(source / "icon.png") + fs::file_size(source / "thumb.jpg") +
                                    fs::file_size(source / "anim.gif") + fs::file_size(source / "dense.jpg");
    EXPECT_EQ(result.bytesAfter,
              unchanged + fs::file_size(output / "banner.jpg") + fs::file_size(output / "hero.jpg"));
    if (mode == Mode::fullReplacement) {
      std::uint64_t folder = 0;  // every image written: the folder is the total
      for (const fs::directory_entry& entry : fs::directory_iterator(output))
        folder += entry.file_size();
      EXPECT_EQ(result.bytesAfter, folder);
    }
  }
}

// --- Each file's own reason and lines -------------------------------------------------------------------

TEST_F(RunDecisions, EachFailureHasItsOwnReason) {
  // Converts, with a decoder warning about the stray bytes before its end marker.
  writeNoiseJpeg(source / "a-warns.jpg", 1000, 800);
  std::string warned = readBytes(source / "a-warns.jpg");
  warned.insert(warned.size() - 2, std::string(16, '\0'));
  writeBytes(source / "a-warns.jpg", warned);
  writeBrokenImage(source / "b-text.png", 600000);
  writeNoiseJpeg(source / "c-cut.jpg", 1200, 900);
  truncate(source / "c-cut.jpg", 0.5);
  writeNoisePng(source / "d-cut.png", 700, 500);
  truncate(source / "d-cut.png", 0.5);

  const ImageOptimizer::Result result = runOptimizer(Mode::changedOnly, 2);
  EXPECT_EQ(outcomeOf("a-warns.jpg").fate, FileFate::reencoded);
  EXPECT_EQ(outcomeOf("b-text.png").reencodeFailure, "not a JPEG or PNG image");
  EXPECT_EQ(outcomeOf("c-cut.jpg").reencodeFailure, "the file is cut short");
  EXPECT_EQ(outcomeOf("d-cut.png").reencodeFailure, "the file is cut short");
  EXPECT_EQ(result.failed, 3);
}

TEST_F(RunDecisions, AGrownFileLeavesNoOlderConvertedFileBehind) {
  writeJpegThatGrows(source / "dense.jpeg");
  writeJpegThatGrows(source / "kept.jpeg");
  writeSmallJpeg(source / "kept.jpg");  // its own name: the older kept.jpg is this entry's, not dense's
  fs::create_directories(output);
  writeBytes(output / "dense.jpg", "from an earlier run");
  markAsMadeByARun(output / "dense.jpg", "dense.jpeg");
  writeBytes(output / "kept.jpg", "from an earlier run");
  markAsMadeByARun(output / "kept.jpg", "kept.jpeg");

  const ImageOptimizer::Result result = runOptimizer(Mode::changedOnly);
  EXPECT_EQ(result.grew, 2);
  EXPECT_EQ(namesIn(output), (Names{"dense.jpeg", "kept.jpeg", "kept.jpg"}));
  EXPECT_EQ(fingerprint(output / "dense.jpeg"), fingerprint(source / "dense.jpeg"));
  EXPECT_EQ(readBytes(output / "kept.jpg"), "from an earlier run");
  EXPECT_EQ(outcomeOf("dense.jpeg").removedOlder, Names{"dense.jpg"});
}

TEST_F(RunDecisions, AnAnimatedPngIsWrittenUnchangedWithTheReason) {
  writeLargePng(source / "anim.png");
  insertPngChunk(source / "anim.png", "acTL", std::string("\0\0\0\2\0\0\0\0", 8));  // 2 frames, looped
  fs::create_directories(output);
  writeBytes(output / "anim.jpg", "a still of it from an earlier run");
  markAsMadeByARun(output / "anim.jpg", "anim.png");

  const ImageOptimizer::Result result = runOptimizer(Mode::changedOnly);
  EXPECT_EQ(totalsOf(result), (Totals{0, 0, 0, {}, 0}));
  EXPECT_EQ(result.keptAnimations, 1);
  EXPECT_EQ(lines, (Names{"[1/1] anim.png", "  kept the original: an animated PNG, which a JPEG cannot hold",
                          "  removed anim.jpg, which an earlier run made from it"}));
  EXPECT_EQ(contentsOf(output), contentsOf(source));
}

TEST_F(RunDecisions, AnUnwritableDeletionListIsCountedAndTheSummarySaysSo) {
  writeNoisePng(source / "logo.png", 700, 500);
  fs::create_directories(output / deletionList / "x");

  const ImageOptimizer::Result result = runOptimizer(Mode::changedOnly);
  EXPECT_TRUE(result.deletionListFailed);
  EXPECT_EQ(result.renamedFiles, Names{"logo.png"});
  EXPECT_EQ(lines.back(),
            "  could not write " + deletionList + ": a folder named " + deletionList + " is in the way");
  const std::vector<std::string> closing = run_log::closingLines(result);
  EXPECT_EQ(closing.back(), deletionList + " could not be written -- see the message above.");
}

TEST_F(RunDecisions, LinesNeverClaimAnOriginalWasKeptWhenItWasNot) {
  writeBrokenImage(source / "broken.png", 600000);
  writeBrokenImage(source / "damaged.png", 600000);
  fs::create_directories(output / "broken.png" / "x");  // the original cannot be copied either

  runOptimizer(Mode::changedOnly);
  EXPECT_EQ(lines, (Names{"[1/2] broken.png", "  could not re-encode: not a JPEG or PNG image",
                          "  could not write broken.png: a folder named broken.png is in the way",
                          "[2/2] damaged.png",
                          "  could not re-encode (kept the original): not a JPEG or PNG image"}));
}
