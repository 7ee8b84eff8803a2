#include <gtest/gtest.h>

#include <type_traits>

#include "image_optimizer.h"

using Mode = ImageOptimizer::OutputMode;
using Result = ImageOptimizer::Result;

TEST(OptimizerModel, ResultStartsEmptyEitherWay) {
  const Result plain;
  const Result memberwise{};
  for (const Result& result : {plain, memberwise}) {
    EXPECT_EQ(result.processed, 0);
    EXPECT_EQ(result.skippedSmall, 0);
    EXPECT_EQ(result.grew, 0);
    EXPECT_TRUE(result.renamedFiles.empty());
    EXPECT_EQ(result.failed, 0);
    EXPECT_EQ(result.bytesBefore, 0u);
    EXPECT_EQ(result.bytesAfter, 0u);
    EXPECT_FALSE(result.deletionListFailed);
  }
  const Result given{3, 2, 1, {"logo.png"}};
  EXPECT_EQ(given.processed, 3);
  EXPECT_EQ(given.skippedSmall, 2);
  EXPECT_EQ(given.grew, 1);
  EXPECT_EQ(given.renamedFiles, std::vector<std::string>{"logo.png"});
  EXPECT_EQ(given.failed, 0);
}

TEST(OptimizerModel, ConstantsAndTheirTypes) {
  static_assert(std::is_same_v<decltype(ImageOptimizer::maxDimension), const std::int64_t>);
  static_assert(std::is_same_v<decltype(ImageOptimizer::jpegQuality), const std::int64_t>);
  static_assert(std::is_same_v<decltype(ImageOptimizer::skipUnderBytes), const std::uint64_t>);
  static_assert(!std::is_default_constructible_v<ImageOptimizer>);
  EXPECT_EQ(ImageOptimizer::maxDimension, 1920);
  EXPECT_EQ(ImageOptimizer::jpegQuality, 80);
  EXPECT_EQ(ImageOptimizer::skipUnderBytes, 500u * 1024u);
}
