// make_fuzz_seeds FOLDER: small images of every kind the engine meets, as the fuzzer's starting points.
#include <filesystem>

#include "test_images.h"

namespace fs = std::filesystem;
using namespace test_images;

int main(int argc, char** argv) {
  if (argc != 2)
    return 2;
  const fs::path folder = argv[1];
  fs::create_directories(folder);
  writeNoiseJpeg(folder / "baseline.jpg", 40, 30);
  writeProgressiveJpeg(folder / "progressive.jpg", 40, 30);
  writeRotatedJpeg(folder / "rotated.jpg", 40, 30, 6);
  writeJpegWithMetadata(folder / "metadata.jpg", 40, 30);
  writeNoisePng(folder / "plain.png", 40, 30);
  writeInterlacedPng(folder / "interlaced.png", 40, 30);
  write16BitPng(folder / "deep.png", 40, 30);
  writeGreyAlphaPng(folder / "grey-alpha.png", 40, 30);
  writePalettePngWithTransparency(folder / "palette.png", 40, 30);
  writeHalfTransparentPng(folder / "transparent.png", 40, 30);
  writeJpegSkeleton(folder / "skeleton.jpg", 0xC2, 8, 40, 30, 3, 0);
  return 0;
}
