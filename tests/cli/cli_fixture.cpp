#include "cli_fixture.h"

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
