// -n: the engine's plan in the mode asked for, through its formatter or as JSON, and nothing written:
// an output folder that is not there stays absent, one that is there keeps every entry as it was.
#include <nlohmann/json.hpp>

#include "cli_fixture.h"
#include "cli_process.h"
#include "image_optimizer.h"
#include "run_log.h"
#include "test_images.h"

namespace fs = std::filesystem;
using Json = nlohmann::json;
using OutputMode = ImageOptimizer::OutputMode;

TEST_F(CliTest, DryRunPrintsThePlanAndWritesNothing) {
  const fs::path source = workedExampleSource();  // a.png converts, b.jpg is small
  test_images::writeSmallGif(source / "c.gif");
  const fs::path out = root_ / "out";
  const auto planOf = [&](OutputMode mode) {
    return run_log::plannedLines(ImageOptimizer::plan(source, out, mode), mode);
  };
  const CliProcess::Ending full = CliProcess::run({"-n", "--mode", "full-replacement", source, out});
  EXPECT_EQ(full.exitStatus, 0) << full.err;
  EXPECT_FALSE(fs::exists(out));
  EXPECT_EQ(linesOf(full.out), planOf(OutputMode::fullReplacement));

  ASSERT_EQ(CliProcess::run({"--quiet", source, out}).exitStatus, 0);
  const auto stamps = stampsOf(out);
  const CliProcess::Ending json = CliProcess::run({"--dry-run", "--json", source, out});
  EXPECT_EQ(json.exitStatus, 0) << json.err;
  EXPECT_EQ(stampsOf(out), stamps);
  const std::vector<std::string> plan = planOf(OutputMode::changedOnly);
  ASSERT_EQ(plan[0], "[1/3] a.png: re-encode as a.jpg, listed for deletion");
  EXPECT_EQ(linesOf(json.err), plan);
  std::vector<Json> objects;
  for (const std::string& line : linesOf(json.out))
    objects.push_back(Json::parse(line));
  ASSERT_EQ(objects.size(), 4u) << json.out;
  EXPECT_EQ(objects[0], Json::parse(R"({"type": "file", "number": 1, "total": 3, "name": "a.png",
      "action": "reencode", "output": "a.jpg", "listedForDeletion": true, "bytes": )" +
                                    std::to_string(fs::file_size(source / "a.png")) + "}"));
  EXPECT_EQ(objects[1]["action"], "small");
  EXPECT_TRUE(objects[1]["output"].is_null());  // left out in changed-only mode
  EXPECT_EQ(objects[2]["action"], "copy");
  EXPECT_EQ(objects[3], Json::parse(R"({"type": "summary", "dryRun": true, "images": 3, "subfolders": 0,
      "listedForDeletion": ["a.png"], "removesDeletionList": false, "leftOut": {},
      "recordsUnavailable": false})"));

  // Quiet: only the files that would keep their own name (none here), then the rest of the plan.
  const CliProcess::Ending quiet = CliProcess::run({"-qn", source, out});
  EXPECT_EQ(linesOf(quiet.out), std::vector<std::string>(plan.begin() + 4, plan.end()));
}

// A plan nobody could read ends as a run does: the reason, then its last line, on standard error.
TEST_F(CliTest, ADryRunIntoAFullDiskSaysWhyAndHowItEndedOnStandardError) {
  const fs::path source = workedExampleSource();
  const CliProcess::Ending ending = CliProcess({"-n", source, root_ / "out"}, {}, "/dev/full").finish();
  EXPECT_EQ(ending.exitStatus, 1);
  const std::vector<std::string> plan = run_log::plannedLines(
      ImageOptimizer::plan(source, root_ / "out", OutputMode::changedOnly), OutputMode::changedOnly);
  EXPECT_EQ(linesOf(ending.err),
            (std::vector<std::string>{
                "tarvolin-cli: cannot write to standard output: No space left on device", plan.back()}));
}
