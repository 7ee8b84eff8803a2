#include "image_fixtures.h"

#include <fstream>
#include <stdexcept>
#include <string>
#include <vips/vips8>

namespace {

// Each band and each image gets its own seed: equal seeds give equal noise, which compresses well.
vips::VImage noisyRgb(int side) {
  if (VIPS_INIT("tarvolin-tests") != 0)
    throw std::runtime_error("libvips could not be started");
  static int seed = 0;
  const auto noise = [side] {
    return vips::VImage::gaussnoise(side, side,
                                    vips::VImage::option()->set("sigma", 50.0)->set("seed", ++seed));
  };
  return noise().bandjoin({noise(), noise()}).cast(VIPS_FORMAT_UCHAR);
}

}  // namespace

void writeLargePng(const std::filesystem::path& file) {
  noisyRgb(640).pngsave(file.c_str());
  if (std::filesystem::file_size(file) < 512000)
    throw std::logic_error("fixture PNG too small: " + file.string());
}

void writeSmallJpeg(const std::filesystem::path& file) {
  noisyRgb(32).jpegsave(file.c_str());
}

void writeBrokenImage(const std::filesystem::path& file, std::uint64_t bytes) {
  std::ofstream(file, std::ios::binary) << std::string(bytes, 'x');
}

void writeText(const std::filesystem::path& file, const char* text) {
  std::ofstream(file) << text;
}
