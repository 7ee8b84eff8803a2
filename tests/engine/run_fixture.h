#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "image_optimizer.h"

using Names = std::vector<std::string>;

// Spelled out here rather than taken from the engine, so that a changed name fails the tests.
inline const std::string deletionList = "_DELETE_THESE_OLD_FILES_FROM_SERVER.txt";

// Test names and failure messages show the mode by name.
inline void PrintTo(ImageOptimizer::OutputMode mode, std::ostream* out) {
  *out << (mode == ImageOptimizer::OutputMode::changedOnly ? "changedOnly" : "fullReplacement");
}

// A fresh source and output folder per test, and a run that records its progress lines.
class RunFixture : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  ImageOptimizer::Result runOptimizer(ImageOptimizer::OutputMode mode);

  // Names in a folder, sorted; "name/" for a folder.
  static std::vector<std::string> namesIn(const std::filesystem::path& folder);
  // Every file in a folder with the fingerprint of its bytes, to compare before and after a run.
  static std::map<std::string, std::string> contentsOf(const std::filesystem::path& folder);
  void expectNoTemporaryFiles() const;

  std::filesystem::path root;
  std::filesystem::path source;
  std::filesystem::path output;
  std::vector<std::string> lines;
};
