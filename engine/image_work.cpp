// The image work: the only code that talks to libvips.
#include <mutex>
#include <stdexcept>
#include <string>
#include <utility>
#include <vips/vips8>

#include "image_optimizer.h"

namespace fs = std::filesystem;
using vips::VImage;
using vips::VOption;

namespace {

// Chosen by measurement on a corpus of real photographs: see bench/README.md.
constexpr bool progressiveJpeg = true;

// libvips is started once per process; its operation cache is off because every file is different.
void startImageLibrary() {
  static std::once_flag once;
  static std::string failure;
  std::call_once(once, [] {
    if (VIPS_INIT("tarvolin") != 0) {
      failure = vips_error_buffer();
      vips_error_clear();
      if (failure.empty())
        failure = "unknown reason";
      return;
    }
    vips_cache_set_max(0);
    // A damaged file is reported on its own line in the log; libvips' warnings on stderr would only
    // repeat it where no user looks.
    g_log_set_handler(
        "VIPS", G_LOG_LEVEL_WARNING, [](const gchar*, GLogLevelFlags, const gchar*, gpointer) {}, nullptr);
  });
  if (!failure.empty())
    throw std::runtime_error("The image library could not be started: " + failure);
}

// libvips reports "VipsJpeg: Premature end of JPEG file\nVipsJpeg: out of order read ..." or
// "/out/.tarvolin-1f.tmp: write error\nunix error: No space left on device\n...": keep the first line
// without the domain or file in front of it, plus the system's reason when it gave one.
std::string oneLineReason(const std::string& message) {
  std::string line = message.substr(0, message.find('\n'));
  const auto colon = line.find(": ");
  if (colon != std::string::npos && (line.find(' ') > colon || line.starts_with('/')))
    line.erase(0, colon + 2);
  // The decoders' own words for the commonest damage, said plainly.
  static constexpr std::pair<const char*, const char*> plainWords[] = {
      {"is not a known file format", "not a readable image file"},
      {"Premature end of", "the file is cut short"},
      {"libpng read error", "the PNG data is damaged or cut short"},
  };
  for (const auto& [words, plain] : plainWords) {
    if (line.find(words) != std::string::npos)
      return plain;
  }
  if (line.empty())
    line = "the image could not be decoded";

  const std::string systemPrefix = "\nunix error: ";
  const auto system = message.find(systemPrefix);
  if (system != std::string::npos) {
    const auto start = system + systemPrefix.size();
    const std::string detail = message.substr(start, message.find('\n', start) - start);
    if (!detail.starts_with("Unknown error"))
      line += " (" + detail + ")";
  }
  return line;
}

std::string tooLargeReason(const VImage& header) {
  return "the image is too large to decode safely (" + std::to_string(header.width()) + " x " +
         std::to_string(header.height()) + " pixels)";
}

bool hasIccProfile(const VImage& image) {
  return image.get_typeof(VIPS_META_ICC_NAME) != 0;
}

// Shrinks while decoding, upright per the EXIF orientation; never enlarges. Colour-managed to sRGB only
// when the image says it is in another space, so that plain sRGB photos pay nothing for it.
VImage shrunkUpright(const fs::path& input, const VImage& header, int maxSize) {
  VOption* options = VImage::option()
                         ->set("height", maxSize)
                         ->set("size", VIPS_SIZE_DOWN)
                         ->set("fail_on", VIPS_FAIL_ON_TRUNCATED);
  if (hasIccProfile(header) || header.interpretation() == VIPS_INTERPRETATION_CMYK) {
    options->set("import_profile", header.interpretation() == VIPS_INTERPRETATION_CMYK ? "cmyk" : "srgb")
        ->set("export_profile", "srgb");
  }
  return VImage::thumbnail(input.c_str(), maxSize, options);
}

// JPEG holds 8-bit grey or sRGB without alpha: transparent areas go onto white, as on a web page.
VImage webReady(VImage image) {
  const bool grey = image.interpretation() == VIPS_INTERPRETATION_B_W ||
                    image.interpretation() == VIPS_INTERPRETATION_GREY16;
  image = image.colourspace(grey ? VIPS_INTERPRETATION_B_W : VIPS_INTERPRETATION_sRGB);
  if (image.has_alpha())
    image = image.flatten(VImage::option()->set("background", 255.0));
  if (image.format() != VIPS_FORMAT_UCHAR)
    image = image.cast(VIPS_FORMAT_UCHAR);
  return image;
}

}  // namespace

ImageOptimizer::Failure ImageOptimizer::runSips(const fs::path& input, const fs::path& output,
                                                std::int64_t maxSize, std::int64_t quality) {
  startImageLibrary();
  try {
    const VImage header =
        VImage::new_from_file(input.c_str(), VImage::option()->set("access", VIPS_ACCESS_SEQUENTIAL));
    if (static_cast<std::uint64_t>(header.width()) * static_cast<std::uint64_t>(header.height()) >
        maxDecodedPixels) {
      return tooLargeReason(header);
    }
    const VImage image = webReady(shrunkUpright(input, header, static_cast<int>(maxSize)));
    image.jpegsave(output.c_str(), VImage::option()
                                       ->set("Q", static_cast<int>(quality))
                                       ->set("strip", true)
                                       ->set("optimize_coding", true)
                                       ->set("interlace", progressiveJpeg)
                                       ->set("subsample_mode", VIPS_FOREIGN_SUBSAMPLE_ON));
    return std::nullopt;
  } catch (const vips::VError& error) {
    vips_error_clear();
    return oneLineReason(error.what());
  }
}
