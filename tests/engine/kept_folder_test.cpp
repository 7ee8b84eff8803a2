// A kept output folder, re-run with skip-unchanged after any sequence of source edits, ends exactly as a
// run into an empty folder: the same names, the same bytes, the same deletion list, the same problem
// files. Seeded random edit sequences over a small tree full of name clashes, each step compared; the
// seed and the edits so far are printed on a failure.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <random>
#include <sstream>

#include "run_fixture.h"
#include "test_images.h"

namespace fs = std::filesystem;
using namespace test_images;

namespace {

// Pictures of one size and, as copied, one time: a record taken for another source than its own
// cannot then pass for this one's by its size and time.
constexpr std::uint64_t pictureBytes = 600000;
const auto oldTime = fs::file_time_type(std::chrono::seconds(1'600'000'000));

// What a file of the source may hold, by its kind.
enum class Content { jpegA, jpegB, grows, smallJpeg, brokenJpeg, pngA, pngB, smallPng, animated, gif };

const std::map<Content, const char*> contentFiles = {
    {Content::jpegA, "a.jpg"},       {Content::jpegB, "b.jpg"},
    {Content::grows, "grows.jpg"},   {Content::smallJpeg, "small.jpg"},
    {Content::brokenJpeg, "x.jpg"},  {Content::pngA, "a.png"},
    {Content::pngB, "b.png"},        {Content::smallPng, "small.png"},
    {Content::animated, "anim.png"}, {Content::gif, "c.gif"}};

// Names that meet: an own name and a converted one, a case apart, a folder named like an image.
const std::vector<std::string> rootNames = {"logo.jpg", "logo.jpeg", "logo.png", "Logo.PNG", "b.JPG",
                                            "b.jpeg",   "hero.png",  "hero.jpg", "x.png",    "anim.gif"};
const std::vector<std::string> treeNames = {"blog/logo.png", "blog/logo.jpg", "blog/Big.JPEG",
                                            "x.jpg/in.jpg"};

// A picture that grows is large noise, whose AVIF would take seconds: not in the sequences with AVIF.
std::vector<Content> contentsFor(const std::string& name, bool avif) {
  const std::string extension = fs::path(name).extension().string();
  if (extension == ".gif")
    return {Content::gif};
  if (extension == ".png" || extension == ".PNG")
    return {Content::pngA, Content::pngB, Content::smallPng, Content::animated};
  if (avif)
    return {Content::jpegA, Content::jpegB, Content::smallJpeg, Content::brokenJpeg};
  return {Content::jpegA, Content::jpegB, Content::grows, Content::smallJpeg, Content::brokenJpeg};
}

// What a run left, as its user and the server see it.
struct Ending {
  std::map<std::string, std::string> files;  // relative name -> fingerprint
  std::set<std::string> problems;            // the files and folders reported as problems
  bool exitsWithProblems = false;
  bool operator==(const Ending&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Ending& ending) {
  for (const auto& [name, print] : ending.files)
    out << "\n  " << name << ": " << print;
  for (const std::string& problem : ending.problems)
    out << "\n  problem: " << problem;
  return out << "\n  exits with problems: " << ending.exitsWithProblems;
}

}  // namespace

class KeptFolder : public RunFixture {
 protected:
  static void SetUpTestSuite() {
    pool_ = fs::temp_directory_path() / ("tarvolin-kept-pool-" + std::to_string(::getpid()));
    fs::create_directories(pool_);
    const auto picture = [](const fs::path& file, bool png) {
      png ? writeNoisePng(file, 64, 48) : writeNoiseJpeg(file, 64, 48);
      padTo(file, pictureBytes);
    };
    picture(pool_ / "a.jpg", false);
    picture(pool_ / "b.jpg", false);
    picture(pool_ / "a.png", true);
    picture(pool_ / "b.png", true);
    writeBytes(pool_ / "grows.jpg", "");
    noiseJpegThatGrows(pool_ / "grows.jpg");
    writeSmallJpeg(pool_ / "small.jpg");
    writeSmallPng(pool_ / "small.png");
    writeBrokenImage(pool_ / "x.jpg", pictureBytes);
    writeLargePng(pool_ / "anim.png");
    insertPngChunk(pool_ / "anim.png", "acTL", std::string("\0\0\0\2\0\0\0\0", 8));
    writeSmallGif(pool_ / "c.gif");
  }
  static void TearDownTestSuite() { fs::remove_all(pool_); }

  // As small as will do, so that hundreds of runs take seconds: low quality noise just above the size
  // threshold, which a quality-80 re-encode makes larger.
  static void noiseJpegThatGrows(const fs::path& file) {
    for (int side = 1000; fs::file_size(file) < ImageOptimizer::skipUnderBytes; side += 100)
      writeNoiseJpeg(file, side, side, 25);
  }

  void put(const std::string& name, Content content, bool older) {
    fs::create_directories((source / name).parent_path());
    fs::copy_file(pool_ / contentFiles.at(content), source / name, fs::copy_options::overwrite_existing);
    if (older)
      fs::last_write_time(source / name, oldTime);
  }

  Ending runInto(const fs::path& folder, Mode mode, bool recursive, unsigned jobs) {
    std::set<ExtraFormat> also;
    if (avif_)
      also.insert(ExtraFormat::avif);
    Ending ending;
    const RunEventHandler record = [&ending](const RunEvent& event) {
      if (const auto* outcome = std::get_if<FileOutcome>(&event); outcome && outcome->isProblem())
        ending.problems.insert(outcome->name);
      if (const auto* folderNotRead = std::get_if<FolderNotRead>(&event))
        ending.problems.insert(folderNotRead->name + "/");
      if (const auto* removal = std::get_if<OutputRemoved>(&event); removal && !removal->failure.empty())
        ending.problems.insert(removal->name);
    };
    const ImageOptimizer::Result result = ImageOptimizer::run(
        source, folder, mode, record,
        RunSettings{.stop = {}, .jobs = jobs, .skipUnchanged = true, .recursive = recursive, .also = also});
    ending.exitsWithProblems = result.failed > 0 || result.deletionListFailed ||
                               !result.foldersNotRead.empty() || result.removalsFailed > 0;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(folder)) {
      if (entry.is_regular_file())
        ending.files[fs::relative(entry.path(), folder).string()] = fingerprint(entry.path());
    }
    return ending;
  }

  // The kept folder against a clean run into an empty one.
  void expectKeptEqualsClean(Mode mode, bool recursive) {
    const Ending kept = runInto(output, mode, recursive, 2);
    fs::remove_all(root / "clean");
    const Ending clean = runInto(root / "clean", mode, recursive, 1);
    ASSERT_EQ(kept, clean);
  }

  std::vector<std::string> present() const {
    std::vector<std::string> names;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(source)) {
      if (entry.is_regular_file())
        names.push_back(fs::relative(entry.path(), source).string());
    }
    std::ranges::sort(names);
    return names;
  }

  // One edit of the source, or of the mode, at random; says what it did.
  std::string edit(std::mt19937& random, Mode& mode, const std::vector<std::string>& names) {
    const auto pick = [&random](const auto& from) {
      return from[std::uniform_int_distribution<std::size_t>(0, from.size() - 1)(random)];
    };
    const std::vector<std::string> existing = present();
    switch (std::uniform_int_distribution(0, 10)(random)) {
      case 0:
        mode = mode == Mode::changedOnly ? Mode::fullReplacement : Mode::changedOnly;
        return "switch mode";
      case 10:
        if (withAvif_) {
          avif_ = !avif_;
          return avif_ ? "ask for AVIF" : "stop asking for AVIF";
        }
        [[fallthrough]];
      case 1:
      case 2:
        if (!existing.empty()) {
          const std::string name = pick(existing);
          fs::remove(source / name);
          return "delete " + name;
        }
        [[fallthrough]];
      case 3:
        if (!existing.empty()) {
          const std::string from = pick(existing);
          const std::string to = pick(names);
          if (fs::path(from).extension() == fs::path(to).extension() && from != to) {
            fs::create_directories((source / to).parent_path());
            fs::rename(source / from, source / to);  // keeps its size and time
            return "rename " + from + " to " + to;
          }
        }
        [[fallthrough]];
      case 4:
        if (!existing.empty()) {
          const std::string name = pick(existing);
          fs::last_write_time(source / name, fs::file_time_type::clock::now());
          return "touch " + name;
        }
        [[fallthrough]];
      default: {
        const std::string name = pick(names);
        const Content content = pick(contentsFor(name, withAvif_));
        const bool older = std::uniform_int_distribution(0, 1)(random) == 1;
        put(name, content, older);
        return std::string(older ? "put an older " : "put ") + contentFiles.at(content) + " as " + name;
      }
    }
  }

  static fs::path pool_;
  bool withAvif_ = false;  // the sequence asks for AVIF at times
  bool avif_ = false;      // and does now
};

fs::path KeptFolder::pool_;

// Delete either of two files that write one name, and the other one's picture must take that name.
TEST_F(KeptFolder, ANameThatShiftsToAnotherSourceTakesItsPicture) {
  for (const auto& [first, second] : {std::pair{"logo.jpeg", "logo.jpg"}, std::pair{"b.JPG", "b.jpeg"}}) {
    for (const std::string deleted : {first, second}) {
      SCOPED_TRACE(std::string(first) + " and " + second + ", then " + deleted + " deleted");
      fs::remove_all(source);
      fs::remove_all(output);
      put(first, Content::jpegA, true);
      put(second, Content::jpegB, true);
      expectKeptEqualsClean(Mode::changedOnly, false);
      fs::remove(source / deleted);
      expectKeptEqualsClean(Mode::changedOnly, false);
    }
  }
}

TEST_F(KeptFolder, EndsAsACleanRunAfterAnyEdits) {
  constexpr int sequences = 20;
  constexpr int steps = 16;
  const unsigned firstSeed = std::random_device{}();
  for (int sequence = 0; sequence < sequences; ++sequence) {
    const unsigned seed = firstSeed + static_cast<unsigned>(sequence);
    std::mt19937 random(seed);
    const bool recursive = sequence % 2 == 1;
    std::vector<std::string> names = rootNames;
    if (recursive)
      names.insert(names.end(), treeNames.begin(), treeNames.end());
    Mode mode = sequence % 4 < 2 ? Mode::changedOnly : Mode::fullReplacement;
    withAvif_ = avif_ = sequence % 4 == 3;
    fs::remove_all(source);
    fs::remove_all(output);
    fs::create_directories(source);
    std::ostringstream history;
    history << "seed " << seed << (recursive ? ", recursive" : "") << (avif_ ? ", with AVIF" : "") << ":";
    for (int step = 0; step < steps; ++step) {
      history << "\n  " << edit(random, mode, names) << " ("
              << (mode == Mode::changedOnly ? "changed only" : "full replacement") << ")";
      SCOPED_TRACE(history.str());
      expectKeptEqualsClean(mode, recursive);
      if (HasFatalFailure())
        return;
    }
  }
}
