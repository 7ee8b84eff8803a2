// make_fuzz_seeds FOLDER: small images of every kind the engine meets, as the fuzzer's starting points.
#include <filesystem>
#include <functional>
#include <utility>

#include "test_images.h"

namespace fs = std::filesystem;
using namespace test_images;

int main(int argc, char** argv) {
  if (argc != 2)
    return 2;
  const fs::path folder = argv[1];
  fs::create_directories(folder);
  constexpr int width = 40;
  constexpr int height = 30;
  using Writer = std::function<void(const fs::path&)>;
  const std::pair<const char*, Writer> seeds[] = {
      {"baseline.jpg", [](const fs::path& file) { writeNoiseJpeg(file, width, height); }},
      {"progressive.jpg", [](const fs::path& file) { writeProgressiveJpeg(file, width, height); }},
      {"rotated.jpg", [](const fs::path& file) { writeRotatedJpeg(file, width, height, 6); }},
      {"metadata.jpg", [](const fs::path& file) { writeJpegWithMetadata(file, width, height); }},
      {"skeleton.jpg", [](const fs::path& file) { writeJpegSkeleton(file, 0xC2, 8, width, height, 3, 0); }},
      {"plain.png", [](const fs::path& file) { writeNoisePng(file, width, height); }},
      {"interlaced.png", [](const fs::path& file) { writeInterlacedPng(file, width, height); }},
      {"deep.png", [](const fs::path& file) { write16BitPng(file, width, height); }},
      {"grey-alpha.png", [](const fs::path& file) { writeGreyAlphaPng(file, width, height); }},
      {"palette.png", [](const fs::path& file) { writePalettePngWithTransparency(file, width, height); }},
      {"transparent.png", [](const fs::path& file) { writeHalfTransparentPng(file, width, height); }},
  };
  for (const auto& [name, write] : seeds)
    write(folder / name);
  return 0;
}
