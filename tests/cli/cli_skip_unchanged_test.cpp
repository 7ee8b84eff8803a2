// --skip-unchanged: a re-run over a folder that did not change writes nothing at all and keeps the
// deletion list whole; a source touched since is redone, and only it.
#include <algorithm>

#include "cli_fixture.h"
#include "cli_process.h"
#include "test_images.h"

namespace fs = std::filesystem;

TEST_F(CliTest, SkipUnchangedLeavesUpToDateOutputsAloneAndRedoesATouchedSource) {
  const fs::path source = workedExampleSource();  // a.png converts, b.jpg is small and left out
  test_images::writeSmallGif(source / "c.gif");
  const fs::path out = root_ / "out";
  const std::string deletionList = "_DELETE_THESE_OLD_FILES_FROM_SERVER.txt";
  ASSERT_EQ(CliProcess::run({"--skip-unchanged", source, out}).exitStatus, 0);
  const auto stamps = stampsOf(out);
  ASSERT_EQ(namesIn(out), (std::set<std::string>{"a.jpg", "c.gif", deletionList}));

  const CliProcess::Ending again = CliProcess::run({"--skip-unchanged", source, out});
  EXPECT_EQ(again.exitStatus, 0) << again.err;
  const std::vector<std::string> lines = linesOf(again.out);
  EXPECT_EQ(std::ranges::count(lines, "  unchanged since the last run"), 2) << again.out;
  EXPECT_EQ(std::ranges::count(lines, "2 unchanged since the last run -- left as they are."), 1) << again.out;
  auto restamps = stampsOf(out);
  EXPECT_EQ(restamps, stamps) << "a re-run that changed nothing wrote into the output folder";
  EXPECT_EQ(test_images::readBytes(out / deletionList), "a.png\n");

  fs::last_write_time(source / "a.png", fs::last_write_time(out / "a.jpg") + std::chrono::seconds(1));
  const CliProcess::Ending touched = CliProcess::run({"--skip-unchanged", source, out});
  EXPECT_EQ(touched.exitStatus, 0) << touched.err;
  EXPECT_EQ(std::ranges::count(linesOf(touched.out), "Done. 1 resized/converted, 1 already small."), 1)
      << touched.out;
  restamps = stampsOf(out);
  EXPECT_NE(restamps["a.jpg"], stamps.at("a.jpg"));
  EXPECT_EQ(restamps["c.gif"], stamps.at("c.gif"));
  EXPECT_EQ(test_images::readBytes(out / deletionList), "a.png\n");
}
