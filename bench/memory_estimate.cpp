// tarvolin-estimate FILE...
// For each JPEG or PNG file: the engine's memory estimate for re-encoding it, its kind and its size, one
// tab-separated line each. bench/estimate sets these against the memory a run really takes. A measuring
// tool, not a user feature: it looks behind the engine's API.
#include <iostream>
#include <limits>
#include <string>

#include "image_header.h"
#include "source_file.h"

namespace {

std::string kindOf(const ImageHeader& header) {
  if (header.format == ImageFormat::jpeg)
    return header.wholeImageDecode ? "progressive-jpeg" : "baseline-jpeg";
  return header.wholeImageDecode ? "interlaced-png" : "png";
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::cerr << "usage: tarvolin-estimate FILE...\n";
    return 2;
  }
  // Nothing is refused for its memory here: the estimate of an image above the limit is wanted too.
  const DecodeLimits limits{.maxDecodeMemory = std::numeric_limits<std::uint64_t>::max()};
  int status = 0;
  for (int at = 1; at < argc; ++at) {
    StepError error;
    const SourceFile file = SourceFile::open(argv[at], error);
    ImageHeader header;
    if (!error)
      error = inspectImage(file, limits, header);
    if (error) {
      std::cerr << argv[at] << ": " << error.reason() << '\n';
      status = 1;
      continue;
    }
    std::cout << memoryToDecode(header) << '\t' << kindOf(header) << '\t' << header.width << '\t'
              << header.height << '\t' << header.bytesPerPixel << '\t' << argv[at] << '\n';
  }
  return status;
}
