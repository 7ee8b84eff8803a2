// How much memory a run lets the images in hand take: enough for two heavy photos side by side on any
// machine, and no more than about an eighth of the machine.
#include "memory_budget.h"

#include <gtest/gtest.h>

#include "image_header.h"

namespace {

constexpr std::uint64_t gibibyte = 1ULL << 30;

// The heaviest photo of the bench's corpus: a 4224 x 3168 progressive JPEG at 4:2:0, whose decoder holds
// one and a half coefficients of two bytes per pixel.
ImageHeader heavyPhoto() {
  ImageHeader header;
  header.width = 4224;
  header.height = 3168;
  header.wholeImageDecode = true;
  header.bytesPerPixel = 3;
  header.decodeBuffer = 4224ULL * 3168 * 3;
  return header;
}

}  // namespace

TEST(MemoryForImages, LetsTwoHeavyPhotosGoOnSideBySideOnAnyMachine) {
  for (const std::uint64_t machine : {gibibyte / 2, 2 * gibibyte, 4 * gibibyte, 24 * gibibyte})
    EXPECT_GE(memoryForImages(machine), 2 * memoryInHand(heavyPhoto())) << machine;
}

TEST(MemoryForImages, FollowsTheMachineUpToAnEighthOfIt) {
  std::uint64_t smaller = 0;
  for (const std::uint64_t machine : {2 * gibibyte, 4 * gibibyte, 24 * gibibyte, 256 * gibibyte}) {
    EXPECT_LE(memoryForImages(machine), machine / 8) << machine;
    EXPECT_GT(memoryForImages(machine), smaller) << machine;
    smaller = memoryForImages(machine);
  }
}
