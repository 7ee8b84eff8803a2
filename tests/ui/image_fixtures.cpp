#include "image_fixtures.h"

#include <fstream>
#include <stdexcept>
#include <string>
#include <vips/vips8>

namespace {

void startImageLibrary() {
  if (VIPS_INIT("tarvolin-tests") != 0)
    throw std::runtime_error("libvips could not be started");
}

// Each band and each image gets its own seed: equal seeds give equal noise, which compresses well.
vips::VImage noisyRgb(int side) {
  static int seed = 0;
  const auto noise = [side] {
    return vips::VImage::gaussnoise(
        side, side, vips::VImage::option()->set("mean", 128.0)->set("sigma", 50.0)->set("seed", ++seed));
  };
  return noise().bandjoin({noise(), noise()}).cast(VIPS_FORMAT_UCHAR);
}

}  // namespace

void writeLargePng(const std::filesystem::path& file, int side) {
  startImageLibrary();
  noisyRgb(side).pngsave(file.c_str());
  if (std::filesystem::file_size(file) < 512000)
    throw std::logic_error("fixture PNG came out too small: " + file.string());
}

void writeSmallJpeg(const std::filesystem::path& file) {
  startImageLibrary();
  noisyRgb(32).jpegsave(file.c_str());
}

void writeBrokenImage(const std::filesystem::path& file, std::uint64_t bytes) {
  std::ofstream out(file, std::ios::binary);
  const std::string chunk(4096, 'x');
  for (std::uint64_t written = 0; written < bytes; written += chunk.size())
    out << chunk;
}
