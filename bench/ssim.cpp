// tarvolin-ssim REFERENCE IMAGE...
// For each IMAGE, its SSIM to REFERENCE (same size), one line each: the value and the file's name.
// SSIM as its authors published it (Wang, Bovik, Sheikh and Simoncelli, 2004): an 11-tap Gaussian window
// of sigma 1.5, K1 = 0.01, K2 = 0.03, L = 255, the mean over the positions where the window lies wholly
// inside the image; on luma (Rec. 601 weights of the 8-bit values), as most SSIM tools take a colour
// image. A measuring tool for bench/avif: nothing in the product measures quality.
#include <cmath>
#include <iostream>
#include <string>
#include <vector>
#include <vips/vips8>

using vips::VImage;

namespace {

constexpr int radius = 5;
constexpr double sigma = 1.5;

VImage luma(const VImage& image) {
  const VImage pixels = image.cast(VIPS_FORMAT_DOUBLE);
  if (image.bands() < 3)
    return pixels.extract_band(0);
  return pixels.extract_band(0, VImage::option()->set("n", 3))
      .recomb(VImage::new_matrixv(3, 1, 0.299, 0.587, 0.114));
}

VImage gaussianWindow() {
  std::vector<double> taps;
  double sum = 0;
  for (int at = -radius; at <= radius; ++at) {
    taps.push_back(std::exp(-at * at / (2 * sigma * sigma)));
    sum += taps.back();
  }
  for (double& tap : taps)
    tap /= sum;
  return VImage::new_matrix(static_cast<int>(taps.size()), 1, taps.data(), static_cast<int>(taps.size()));
}

VImage blurred(const VImage& image, const VImage& window) {
  return image.convsep(window, VImage::option()->set("precision", VIPS_PRECISION_FLOAT));
}

double ssim(const VImage& reference, const VImage& image) {
  const VImage window = gaussianWindow();
  const VImage x = luma(reference);
  const VImage y = luma(image);
  const VImage muX = blurred(x, window);
  const VImage muY = blurred(y, window);
  const VImage varX = blurred(x * x, window) - muX * muX;
  const VImage varY = blurred(y * y, window) - muY * muY;
  const VImage covariance = blurred(x * y, window) - muX * muY;
  constexpr double c1 = (0.01 * 255) * (0.01 * 255);
  constexpr double c2 = (0.03 * 255) * (0.03 * 255);
  const VImage map =
      ((muX * muY * 2 + c1) * (covariance * 2 + c2)) / ((muX * muX + muY * muY + c1) * (varX + varY + c2));
  // The window's edge positions see pixels libvips makes up beyond the border: left out, as the paper does.
  return map.crop(radius, radius, map.width() - 2 * radius, map.height() - 2 * radius).avg();
}

}  // namespace

int main(int argc, char** argv) {
  if (VIPS_INIT(argv[0]))
    vips_error_exit(nullptr);
  if (argc < 3) {
    std::cerr << "usage: tarvolin-ssim REFERENCE IMAGE...\n";
    return 2;
  }
  try {
    const VImage reference = VImage::new_from_file(argv[1]);
    for (int at = 2; at < argc; ++at) {
      const VImage image = VImage::new_from_file(argv[at]);
      if (image.width() != reference.width() || image.height() != reference.height()) {
        std::cerr << argv[at] << ": not the size of " << argv[1] << '\n';
        return 1;
      }
      std::cout << ssim(reference, image) << '\t' << argv[at] << '\n';
    }
  } catch (const vips::VError& error) {
    std::cerr << error.what();
    return 1;
  }
  return 0;
}
