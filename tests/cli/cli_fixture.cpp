#include "cli_fixture.h"

#include <sys/stat.h>

#include <cstdlib>

#include "test_images.h"

namespace fs = std::filesystem;

void CliTest::SetUp() {
  std::string pattern = (fs::temp_directory_path() / "tarvolin-cli-test.XXXXXX").string();
  ASSERT_NE(mkdtemp(pattern.data()), nullptr);
  root_ = pattern;
}

fs::path CliTest::workedExampleSource(const std::string& name) {
  const fs::path source = root_ / name;
  fs::create_directories(source);
  test_images::writeLargePng(source / "a.png");
  test_images::writeSmallJpeg(source / "b.jpg");
  return source;
}

std::map<std::string, std::string> stampsOf(const fs::path& folder) {
  std::set<std::string> names = namesIn(folder);
  names.insert(".");
  std::map<std::string, std::string> stamps;
  for (const std::string& name : names) {
    struct stat status {};
    EXPECT_EQ(::lstat((folder / name).c_str(), &status), 0) << name;
    stamps[name] = std::to_string(status.st_ino) + " " + std::to_string(status.st_mtim.tv_sec) + "." +
                   std::to_string(status.st_mtim.tv_nsec);
  }
  return stamps;
}
