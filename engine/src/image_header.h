#pragma once

#include <cstdint>
#include <string>

#include "step_error.h"

class SourceFile;

enum class ImageFormat { jpeg, png };

// What a JPEG or PNG file says about itself, read from its own structure without decoding a pixel:
// enough to refuse, before the decoder runs, what no decoder should be given.
struct ImageHeader {
  ImageFormat format = ImageFormat::jpeg;
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  // A progressive (multi-scan) JPEG or an interlaced PNG: decoding holds the whole image at once.
  bool wholeImageDecode = false;
  std::uint64_t scans = 0;  // JPEG only
  // The file ends before its end marker: a decoder failure then means a cut-short file.
  bool cutShort = false;
  // What decoding needs at the most, in bytes, beyond the small working set of every image.
  std::uint64_t decodeBuffer = 0;
  // Bytes of a decoded pixel: the JPEG's components, or the PNG's samples as libvips decodes them.
  std::uint32_t bytesPerPixel = 0;
};

// The limits every image is held to before it is decoded.
struct DecodeLimits {
  std::uint64_t maxPixels = 16383ULL * 16383ULL;
  std::uint64_t maxScans = 100;
  std::uint64_t maxDecodeMemory = 1ULL << 30;
};

// Reads the header and the structure of `file`. Fails, with the words the log shows, for a file that is
// neither a JPEG nor a PNG, that no decoder here can read (12-bit, lossless or hierarchical JPEG), or
// that exceeds `limits`.
StepError inspectImage(const SourceFile& file, const DecodeLimits& limits, ImageHeader& header);

// What re-encoding the image needs in all, its working set included: an estimate, measured per kind of
// image, that errs on the high side.
std::uint64_t memoryToDecode(const ImageHeader& header);

// Memory as the log states it: "2.1 GiB".
std::string memoryText(std::uint64_t bytes);
