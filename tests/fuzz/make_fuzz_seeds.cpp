// make_fuzz_seeds FOLDER: small images of every kind the engine meets, as the fuzzer's starting points.
#include <filesystem>
#include <functional>
#include <string>
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
      // What the header inspection looks into beyond the pixels: an animation, metadata that inflates
      // far beyond its stored size, a gamma, and a JPEG heavy with APPn segments.
      {"animated.png",
       [](const fs::path& file) {
         writeNoisePng(file, width, height);
         insertPngChunk(file, "acTL", std::string("\0\0\0\2\0\0\0\0", 8));
       }},
      {"text-chunks.png",
       [](const fs::path& file) {
         writeNoisePng(file, width, height);
         const std::string inflating = compressed(std::string(1 << 18, ' '));
         insertPngChunk(file, "zTXt", std::string("Comment\0\0", 9) + inflating);
         insertPngChunk(file, "iTXt", std::string("XML:com.adobe.xmp\0\1\0\0\0", 22) + inflating);
         insertPngChunk(file, "iCCP", std::string("icc\0\0", 5) + inflating);
         insertPngChunk(file, "tEXt", std::string("Title\0a title", 13));
         insertPngChunk(file, "gAMA", std::string("\0\0\xD9\x04", 4));
       }},
      {"segments.jpg",
       [](const fs::path& file) {
         writeNoiseJpeg(file, width, height);
         insertJpegSegments(file, 0xE1, 8, 2000);
         insertJpegSegments(file, 0xFE, 4, 500);
       }},
  };
  for (const auto& [name, write] : seeds)
    write(folder / name);
  return 0;
}
