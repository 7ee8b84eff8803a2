#include "run_fixture.h"

#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>

#include "run_log.h"
#include "test_images.h"

namespace fs = std::filesystem;

void RunFixture::SetUp() {
  const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string name = std::string(test->test_suite_name()) + "." + test->name();
  std::ranges::replace(name, '/', '_');
  root = fs::temp_directory_path() / ("tarvolin-test-" + std::to_string(::getpid()) + "-" + name);
  fs::remove_all(root);
  source = root / "source";
  output = root / "output";
  fs::create_directories(source);
}

void RunFixture::TearDown() {
  std::error_code ignored;
  fs::remove_all(root, ignored);
}

ImageOptimizer::Result RunFixture::runOptimizer(Mode mode, unsigned jobs, std::stop_token stop) {
  return runOptimizer(mode, RunSettings{std::move(stop), jobs});
}

ImageOptimizer::Result RunFixture::runOptimizer(Mode mode, const RunSettings& settings) {
  events.clear();
  lines.clear();
  const RunEventHandler record = [this](const RunEvent& event) {
    events.push_back(event);
    for (const std::string& line : run_log::linesOf(event))
      lines.push_back(line);
  };
  return ImageOptimizer::run(source, output, mode, record, settings);
}

std::vector<FileOutcome> RunFixture::outcomes() const {
  std::vector<FileOutcome> found;
  for (const RunEvent& event : events) {
    if (const auto* outcome = std::get_if<FileOutcome>(&event))
      found.push_back(*outcome);
  }
  return found;
}

const FileOutcome& RunFixture::outcomeOf(const std::string& name) const {
  for (const RunEvent& event : events) {
    if (const auto* outcome = std::get_if<FileOutcome>(&event); outcome && outcome->name == name)
      return *outcome;
  }
  throw std::out_of_range("no outcome for " + name);
}

std::vector<std::string> RunFixture::namesIn(const fs::path& folder) {
  std::vector<std::string> names;
  for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
    std::error_code notAFolder;
    names.push_back(entry.path().filename().string() + (entry.is_directory(notAFolder) ? "/" : ""));
  }
  std::ranges::sort(names);
  return names;
}

std::map<std::string, std::string> RunFixture::contentsOf(const fs::path& folder) {
  std::map<std::string, std::string> contents;
  for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
    std::error_code notAFile;  // dangling links and link loops included
    if (entry.is_regular_file(notAFile))
      contents[entry.path().filename().string()] = test_images::fingerprint(entry.path());
  }
  return contents;
}

void RunFixture::expectNoTemporaryFiles() const {
  if (!fs::exists(output))
    return;
  for (const std::string& name : namesIn(output))
    EXPECT_FALSE(name.starts_with(".tarvolin-")) << name;
}

namespace {

FileFate fateOf(FileHandling handling) {
  switch (handling) {
    case FileHandling::reencode:
      return FileFate::reencoded;
    case FileHandling::small:
      return FileFate::small;
    case FileHandling::copy:
      return FileFate::copied;
    case FileHandling::keepOwnName:
      return FileFate::keptOwnName;
    case FileHandling::unchanged:
      return FileFate::unchanged;
    case FileHandling::notWritten:
      return FileFate::notWritten;
  }
  return FileFate::failed;
}

}  // namespace

void RunFixture::expectRunCarriedOut(const PlannedRun& plan, const ImageOptimizer::Result& result) const {
  const std::vector<FileOutcome> done = outcomes();
  ASSERT_EQ(done.size(), plan.files.size());
  Names listed;
  for (std::size_t at = 0; at < done.size(); ++at) {
    const PlannedFile& planned = plan.files[at];
    const FileOutcome& outcome = done[at];
    EXPECT_EQ(outcome.name, planned.name);
    const bool originalInstead =
        planned.handling == FileHandling::reencode && outcome.fate != FileFate::reencoded;
    if (originalInstead) {
      EXPECT_TRUE(outcome.fate == FileFate::grew || outcome.fate == FileFate::failed ||
                  outcome.fate == FileFate::keptAnimation)
          << planned.name;
      EXPECT_TRUE(outcome.outputName.empty() || outcome.outputName == planned.name) << planned.name;
    } else {
      EXPECT_EQ(outcome.fate, fateOf(planned.handling)) << planned.name;
      EXPECT_EQ(outcome.outputName, planned.outputName) << planned.name;
    }
    if (planned.listedForDeletion && !originalInstead)
      listed.push_back(planned.name);
  }
  EXPECT_EQ(result.renamedFiles, listed);
}

void markAsMadeByARun(const std::filesystem::path& file, const std::string& sourceName) {
  const std::string record = "2 changed-only/q80/1920px/e1 jpeg 1 1 1 1 1 " + sourceName;
  ASSERT_EQ(::setxattr(file.c_str(), "user.tarvolin.made-from", record.data(), record.size(), 0), 0) << file;
}
