#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include "step_error.h"
#include "work_clock.h"

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
  // Text, profiles and camera data that a decoder holds in memory whole: PNG chunks counted as stored
  // and as inflated, JPEG APPn and comment segments.
  std::uint64_t metadataBytes = 0;
  // An animated PNG: a JPEG could hold only one of its pictures.
  bool animated = false;
  // The exponent that a PNG's gAMA chunk says its samples were encoded with, where no sRGB or iCCP chunk
  // overrides it; 0 when the samples are sRGB already (or a profile says what they are).
  double encodingGamma = 0;
  // Where the image's bytes end: after its end marker, or where a cut-short image stops being one. Nothing
  // after it is read.
  std::uint64_t imageEnd = 0;
  // How long reading the structure took: the image's time limit counts it.
  std::chrono::steady_clock::duration inspectionTime{};
};

// The limits every image is held to before it is decoded.
struct DecodeLimits {
  std::uint64_t maxPixels = 16383ULL * 16383ULL;
  std::uint64_t maxScans = 100;
  std::uint64_t maxDecodeMemory = 1'000'000'000;  // 1 GB, as the log shows it
  // ImageHeader::metadataBytes. Real photos carry well under a megabyte; a file made of little else is
  // a bomb, since decoders hold it all in memory (some of it three times over).
  std::uint64_t maxMetadata = 32'000'000;
  // The image's time, which reading its structure counts against too.
  WorkLimits time{};
};

// Reads the header and the structure of `file`, no further than a decoder would: to a JPEG's end marker,
// a PNG's last chunk. Fails, with the words the log shows, for a file that is neither a JPEG nor a PNG,
// that no decoder here can read (12-bit, lossless or hierarchical JPEG), that exceeds `limits`, or whose
// time runs out while it is read.
StepError inspectImage(const SourceFile& file, const DecodeLimits& limits, ImageHeader& header);

// What re-encoding the image needs in all, its working set included: an estimate, measured per kind of
// image, that errs on the high side.
std::uint64_t memoryToDecode(const ImageHeader& header);

// What the image takes from the run's memory budget while it is worked on: its estimate, and what
// every image in hand adds beside it when several are, which the estimate, measured one image at a
// time, leaves out (their threads' buffers and the holes they leave each other in the heap).
std::uint64_t memoryInHand(const ImageHeader& header);
