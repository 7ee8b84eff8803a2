#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <set>
#include <string>

#include "test_images.h"

// A fresh temporary folder for each test, removed with everything in it afterwards.
class CliTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override { std::filesystem::remove_all(root_); }

  // The source folder of the window's worked example: a.png, large, and b.jpg, small.
  std::filesystem::path workedExampleSource(const std::string& name = "source");

  std::filesystem::path root_;
};

using test_images::namesIn;

// Each entry of `folder`, and the folder itself as ".", with its inode and modification time: equal
// stamps mean that nothing in it was created, replaced or written.
std::map<std::string, std::string> stampsOf(const std::filesystem::path& folder);
