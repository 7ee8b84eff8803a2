#include "cli_fixture.h"

#include <cstdlib>
#include <fstream>
#include <stdexcept>

#include "test_images.h"

namespace fs = std::filesystem;

void CliTest::SetUp() {
  std::string pattern = (fs::temp_directory_path() / "tarvolin-cli-test.XXXXXX").string();
  if (!mkdtemp(pattern.data()))
    throw std::runtime_error("cannot make a temporary folder");
  root_ = pattern;
}

void CliTest::TearDown() {
  fs::remove_all(root_);
}

fs::path CliTest::workedExampleSource(const std::string& name) {
  const fs::path source = root_ / name;
  fs::create_directories(source);
  test_images::writeLargePng(source / "a.png");
  test_images::writeSmallJpeg(source / "b.jpg");
  return source;
}

std::set<std::string> namesIn(const fs::path& folder) {
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder))
    names.insert(entry.path().filename().string());
  return names;
}

std::set<std::string> lineSetOf(const fs::path& file) {
  std::set<std::string> lines;
  std::ifstream in(file);
  for (std::string line; std::getline(in, line);)
    lines.insert(line);
  return lines;
}
