#pragma once

#include <gtest/gtest.h>

#include <filesystem>
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
