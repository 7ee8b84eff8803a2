// tarvolin-cli run as a deploy script runs it: what it prints and where, and its exit statuses.
#include <string>
#include <vector>

#include "cli_fixture.h"
#include "cli_process.h"
#include "image_optimizer.h"
#include "run_log.h"
#include "test_images.h"
#include "worked_example.h"

namespace fs = std::filesystem;

namespace {

const std::string usageLine = "usage: tarvolin-cli [OPTION]... SOURCE OUTPUT";
const std::string deletionList = "_DELETE_THESE_OLD_FILES_FROM_SERVER.txt";

// The sizes line, from what the folders hold: b.jpg was left out, so it counts at its own size.
std::string workedExampleSizes(const fs::path& source, const fs::path& output) {
  ImageOptimizer::Result sizes;
  sizes.bytesBefore = fs::file_size(source / "a.png") + fs::file_size(source / "b.jpg");
  sizes.bytesAfter = fs::file_size(output / "a.jpg") + fs::file_size(source / "b.jpg");
  return run_log::bytesSavedText(sizes);
}

}  // namespace

TEST_F(CliTest, PrintsTheWindowsLogOfTheWorkedExampleAndTheSizes) {
  const fs::path source = workedExampleSource();
  const CliProcess::Ending ending = CliProcess::run({source, root_ / "out"});
  EXPECT_EQ(ending.exitStatus, 0) << ending.err;
  EXPECT_EQ(ending.err, "");
  std::vector<std::string> expected = workedExampleLog;
  expected.push_back(workedExampleSizes(source, root_ / "out"));
  EXPECT_EQ(linesOf(ending.out), expected);
  EXPECT_EQ(namesIn(root_ / "out"), (std::set<std::string>{"a.jpg", deletionList}));
}

TEST_F(CliTest, FullReplacementCopiesTheSmallImageAndListsNothing) {
  const fs::path source = workedExampleSource();
  const CliProcess::Ending ending =
      CliProcess::run({"--mode=full-replacement", "--jobs", "1", source, root_ / "out"});
  EXPECT_EQ(ending.exitStatus, 0) << ending.err;
  EXPECT_EQ(linesOf(ending.out), (std::vector<std::string>{"[1/2] a.png", "[2/2] b.jpg", "",
                                                           "Done. 1 resized/converted, 1 already small.",
                                                           workedExampleSizes(source, root_ / "out")}));
  EXPECT_EQ(namesIn(root_ / "out"), (std::set<std::string>{"a.jpg", "b.jpg"}));
  EXPECT_EQ(test_images::fingerprint(root_ / "out" / "b.jpg"), test_images::fingerprint(source / "b.jpg"));
}

TEST_F(CliTest, QuietPrintsOnlyNamedProblemsAndTheSummaryAndExitsWith3) {
  const fs::path source = workedExampleSource();
  test_images::writeBrokenImage(source / "c.jpg", 600000);
  const CliProcess::Ending ending = CliProcess::run({"--quiet", source, root_ / "out"});
  EXPECT_EQ(ending.exitStatus, 3) << ending.err;
  const std::vector<std::string> lines = linesOf(ending.out);
  ASSERT_FALSE(lines.empty());
  EXPECT_TRUE(lines[0].starts_with("c.jpg: could not re-encode (kept the original): ")) << lines[0];
  ImageOptimizer::Result result{1, 1, 0, {"a.png"}, 1};
  std::vector<std::string> expected{lines[0]};
  for (const std::string& line : run_log::closingLines(result))
    expected.push_back(line);
  EXPECT_EQ(lines, expected);
  EXPECT_TRUE(fs::exists(root_ / "out" / "c.jpg"));  // the original, kept
}

// The engine counts a deletion list it could not write apart from the files; old PNG files would stay
// on the server all the same.
TEST_F(CliTest, AnUnwritableDeletionListExitsWith3) {
  const fs::path source = workedExampleSource();
  fs::create_directories(root_ / "out" / deletionList);  // a folder in the list's way
  const CliProcess::Ending ending = CliProcess::run({"--quiet", source, root_ / "out"});
  EXPECT_EQ(ending.exitStatus, 3) << ending.out;
  const std::vector<std::string> lines = linesOf(ending.out);
  ASSERT_FALSE(lines.empty());
  EXPECT_TRUE(lines[0].starts_with("  could not write " + deletionList + ": ")) << lines[0];
}

TEST_F(CliTest, AnErrorThatEndsTheRunIsTheWindowsErrorLineOnStandardError) {
  const fs::path source = workedExampleSource();
  std::string expected;  // the engine's own description, as the window shows it
  try {
    ImageOptimizer::run(
        source, source, ImageOptimizer::OutputMode::changedOnly, [](const RunEvent&) {}, RunSettings{});
  } catch (const ImageOptimizer::RunError& error) {
    expected = run_log::errorLine(error) + "\n";
  }
  ASSERT_NE(expected, "");
  const CliProcess::Ending ending = CliProcess::run({source, source / "." / ""});
  EXPECT_EQ(ending.exitStatus, 1);
  EXPECT_EQ(ending.err, expected);
  EXPECT_EQ(ending.out, "");
  EXPECT_EQ(namesIn(source), (std::set<std::string>{"a.png", "b.jpg"}));
}

// A script sees exit status 0; the person at the terminal is told, even when the log goes to a file.
TEST_F(CliTest, NothingToDoIsSaidOnStandardError) {
  fs::create_directories(root_ / "source" / "photos");
  test_images::writeSmallJpeg(root_ / "source" / "photos" / "a.jpg");
  const CliProcess::Ending ending = CliProcess::run({root_ / "source", root_ / "out"});
  EXPECT_EQ(ending.exitStatus, 0);
  EXPECT_TRUE(ending.err.starts_with("No JPEG, PNG or GIF file is directly in the source folder"))
      << ending.err;
  EXPECT_EQ(linesOf(ending.out), (std::vector<std::string>{"Done. 0 resized/converted, 0 already small.",
                                                           run_log::bytesSavedText({})}));
}

TEST_F(CliTest, DoubleDashEndsTheOptions) {
  workedExampleSource("-images");
  const CliProcess::Ending ending = CliProcess::run({"--quiet", "--", "-images", "--out"}, root_);
  EXPECT_EQ(ending.exitStatus, 0) << ending.err;
  EXPECT_TRUE(fs::exists(root_ / "--out" / "a.jpg"));
}

TEST_F(CliTest, HelpAndVersionExitWith0) {
  const CliProcess::Ending help = CliProcess::run({"--help"});
  EXPECT_EQ(help.exitStatus, 0);
  EXPECT_TRUE(help.out.starts_with(usageLine + "\n")) << help.out;
  for (const std::string& line : linesOf(help.out))
    EXPECT_LE(line.size(), 80u) << line;
  EXPECT_EQ(CliProcess::run({"-h"}).out, help.out);
  const CliProcess::Ending version = CliProcess::run({"--version"});
  EXPECT_EQ(version.exitStatus, 0);
  const std::vector<std::string> lines = linesOf(version.out);
  ASSERT_EQ(lines.size(), 6u) << version.out;
  EXPECT_EQ(lines[0], "tarvolin-cli " TARVOLIN_VERSION);
  EXPECT_TRUE(lines[1].starts_with("Copyright (C) ")) << lines[1];
  EXPECT_TRUE(lines[2].starts_with("License GPLv3+")) << lines[2];
  EXPECT_EQ(lines[5], "Running on libvips " TARVOLIN_VIPS_VERSION ".");
  EXPECT_EQ(CliProcess::run({"-V"}).out, version.out);
}

// Short options may share one argument; --quiet's output opens with no blank line.
TEST_F(CliTest, ShortOptionsActAsTheirLongForms) {
  const fs::path source = workedExampleSource();
  fs::create_directories(source / "sub");
  test_images::writeSmallGif(source / "sub" / "c.gif");  // only -r looks in here
  const CliProcess::Ending ending = CliProcess::run({"-qrj", "2", source, root_ / "out"});
  EXPECT_EQ(ending.exitStatus, 0) << ending.err;
  std::vector<std::string> expected = workedExampleLog;
  expected.erase(expected.begin(), expected.begin() + 3);  // the lines per file and the blank line
  expected.insert(expected.begin() + 1, "1 GIF file(s) copied unchanged.");
  EXPECT_EQ(linesOf(ending.out), expected);
  EXPECT_TRUE(fs::is_regular_file(root_ / "out" / "sub" / "c.gif"));
}

// Arguments that cannot be run: the problem, the usage line and where to read more on standard error,
// exit status 2 and nothing done. SOURCE and OUTPUT stand for real folders, so that a run would leave an
// output folder.
class UsageErrorTest : public CliTest, public ::testing::WithParamInterface<std::vector<std::string>> {};

TEST_P(UsageErrorTest, PrintsTheUsageAndExitsWith2) {
  const fs::path source = workedExampleSource();
  std::vector<std::string> arguments;
  for (const std::string& argument : GetParam())
    arguments.push_back(argument == "SOURCE"   ? source.string()
                        : argument == "OUTPUT" ? (root_ / "out").string()
                                               : argument);
  const CliProcess::Ending ending = CliProcess::run(arguments);
  EXPECT_EQ(ending.exitStatus, 2);
  EXPECT_EQ(ending.out, "");
  const std::vector<std::string> lines = linesOf(ending.err);
  ASSERT_EQ(lines.size(), 3u) << ending.err;
  EXPECT_TRUE(lines[0].starts_with("tarvolin-cli: ")) << lines[0];
  EXPECT_EQ(lines[1], usageLine);
  EXPECT_EQ(lines[2], "Try 'tarvolin-cli --help' for more.");
  EXPECT_FALSE(fs::exists(root_ / "out"));
}

using Arguments = std::vector<std::string>;
INSTANTIATE_TEST_SUITE_P(
    Arguments, UsageErrorTest,
    ::testing::Values(Arguments{}, Arguments{"SOURCE"}, Arguments{"SOURCE", "OUTPUT", "extra"},
                      Arguments{"SOURCE", ""}, Arguments{"--fast", "SOURCE", "OUTPUT"},
                      Arguments{"--mode=changedOnly", "SOURCE", "OUTPUT"},
                      Arguments{"--jobs", "0", "SOURCE", "OUTPUT"},
                      Arguments{"--jobs=4x", "SOURCE", "OUTPUT"}, Arguments{"SOURCE", "OUTPUT", "--jobs"},
                      Arguments{"-j0", "SOURCE", "OUTPUT"}, Arguments{"-x", "SOURCE", "OUTPUT"}));
