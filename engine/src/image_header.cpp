#include "image_header.h"

#include <zlib.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <span>
#include <vector>

#include "image_optimizer.h"
#include "run_log.h"
#include "source_file.h"

namespace {

// Reads a file front to back in blocks, through the descriptor the run opened, while the image's time
// lasts: once it is up, the file reads as ended.
class ByteReader {
 public:
  ByteReader(const SourceFile& file, WorkClock& clock) : file_(file), clock_(clock) {}

  const SourceFile& file() const { return file_; }
  std::uint64_t position() const { return offset_ - filled_ + at_; }
  bool timeIsUp() const { return timeIsUp_; }

  // Moves to the next 0xFF byte before `limit` without looking at the others one by one: most of a JPEG
  // is scan data. False when there is none.
  bool seekMarkerByte(std::uint64_t limit) {
    for (;;) {
      const std::uint64_t here = position();
      if (here >= limit)
        return false;
      const auto span = static_cast<std::size_t>(std::min<std::uint64_t>(filled_ - at_, limit - here));
      const void* found = std::memchr(buffer_.data() + at_, 0xFF, span);
      if (found != nullptr) {
        at_ = static_cast<std::size_t>(static_cast<const unsigned char*>(found) - buffer_.data());
        return true;
      }
      at_ += span;
      if (at_ == filled_ && !refill())
        return false;
    }
  }
  // The next byte, or -1 at the end of the file (or on a read error, which looks the same to a parser).
  int next() {
    if (at_ == filled_ && !refill())
      return -1;
    return buffer_[at_++];
  }
  bool read(unsigned char* out, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
      const int byte = next();
      if (byte < 0)
        return false;
      out[i] = static_cast<unsigned char>(byte);
    }
    return true;
  }
  // Up to `count` of the next bytes, straight from the buffer; none at the end of the file.
  std::span<const unsigned char> take(std::uint64_t count) {
    if (at_ == filled_ && !refill())
      return {};
    const auto length = static_cast<std::size_t>(std::min<std::uint64_t>(count, filled_ - at_));
    at_ += length;
    return {buffer_.data() + at_ - length, length};
  }
  // Skips `count` bytes; false when the file ends first.
  bool skip(std::uint64_t count) {
    const std::uint64_t buffered = filled_ - at_;
    if (count <= buffered) {
      at_ += static_cast<std::size_t>(count);
      return true;
    }
    offset_ += count - buffered;
    at_ = filled_ = 0;
    return offset_ <= file_.size();
  }

 private:
  bool refill() {
    if (clock_.expired()) {
      timeIsUp_ = true;
      return false;
    }
    const long long count = file_.readAt(offset_, buffer_.data(), buffer_.size());
    if (count <= 0)
      return false;
    offset_ += static_cast<std::uint64_t>(count);
    filled_ = static_cast<std::size_t>(count);
    at_ = 0;
    return true;
  }

  const SourceFile& file_;
  WorkClock& clock_;
  std::array<unsigned char, 1 << 16> buffer_{};
  std::uint64_t offset_ = 0;
  std::size_t filled_ = 0;
  std::size_t at_ = 0;
  bool timeIsUp_ = false;
};

std::uint32_t bigEndian(const unsigned char* bytes, int count) {
  std::uint32_t value = 0;
  for (int i = 0; i < count; ++i)
    value = value << 8 | bytes[i];
  return value;
}

// Metadata is held whole by the decoder and copied again by libvips: about three times over in all.
constexpr std::uint64_t metadataCopies = 3;

StepError checkPixels(const ImageHeader& header, const DecodeLimits& limits) {
  if (static_cast<std::uint64_t>(header.width) * header.height <= limits.maxPixels)
    return {};
  return StepError::inWords("the image is too large to decode safely (" + std::to_string(header.width) +
                            " x " + std::to_string(header.height) + " pixels)");
}

StepError checkMetadata(const ImageHeader& header, const DecodeLimits& limits) {
  if (header.metadataBytes <= limits.maxMetadata)
    return {};
  return StepError::inWords("the file carries more than " + run_log::sizeText(limits.maxMetadata) +
                            " of text, profiles and camera data, far more than any real image needs");
}

// --- JPEG ---------------------------------------------------------------------------------------------

struct JpegComponent {
  int horizontal = 1;
  int vertical = 1;
};

struct JpegFrame {
  int precision = 8;
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  std::vector<JpegComponent> components;
  bool progressive = false;
};

// libjpeg keeps every coefficient of a multi-scan image: 64 of 2 bytes per 8 x 8 block, per component,
// with the blocks padded to whole MCUs.
std::uint64_t coefficientBytes(const JpegFrame& frame) {
  int maxHorizontal = 1;
  int maxVertical = 1;
  for (const JpegComponent& component : frame.components) {
    maxHorizontal = std::max(maxHorizontal, component.horizontal);
    maxVertical = std::max(maxVertical, component.vertical);
  }
  const std::uint64_t mcuColumns = (frame.width + 8ULL * maxHorizontal - 1) / (8ULL * maxHorizontal);
  const std::uint64_t mcuRows = (frame.height + 8ULL * maxVertical - 1) / (8ULL * maxVertical);
  std::uint64_t blocks = 0;
  for (const JpegComponent& component : frame.components)
    blocks += mcuColumns * component.horizontal * mcuRows * component.vertical;
  return blocks * 64 * 2;
}

// What the decoder here cannot read at all, in words a user can follow.
StepError unreadableFrame(int marker, const JpegFrame& frame) {
  if (marker == 0xC3 || marker == 0xC7 || marker == 0xCB || marker == 0xCF)
    return StepError::inWords("a lossless JPEG, which cannot be read");
  if (marker == 0xC5 || marker == 0xC6 || marker == 0xCD || marker == 0xCE)
    return StepError::inWords("a hierarchical JPEG, which cannot be read");
  if (frame.precision != 8)
    return StepError::inWords("a " + std::to_string(frame.precision) + "-bit JPEG, which cannot be read");
  if (frame.width == 0 || frame.height == 0 || frame.components.empty() || frame.components.size() > 4)
    return StepError::inWords("the JPEG data is damaged");
  return {};
}

bool readFrame(ByteReader& reader, std::uint32_t length, JpegFrame& frame) {
  unsigned char fixed[6];
  if (length < 8 || !reader.read(fixed, sizeof fixed))
    return false;
  frame.precision = fixed[0];
  frame.height = bigEndian(fixed + 1, 2);
  frame.width = bigEndian(fixed + 3, 2);
  const unsigned count = fixed[5];
  if (length != 8 + 3 * count)
    return false;
  for (unsigned i = 0; i < count; ++i) {
    unsigned char component[3];
    if (!reader.read(component, sizeof component))
      return false;
    const int horizontal = component[1] >> 4;
    const int vertical = component[1] & 0x0F;
    if (horizontal < 1 || horizontal > 4 || vertical < 1 || vertical > 4)
      return false;
    frame.components.push_back({horizontal, vertical});
  }
  return true;
}

// No scan can hold more than about 27 bits per coefficient, twice that with every 0xFF byte stuffed, and a
// restart marker per block: 8 bytes a coefficient leaves room. Bytes past that are no part of the image
// (the zeros of an unfinished download, say): decoders have what they need by then, and so has this
// inspection.
std::uint64_t largestScan(const JpegFrame& frame) {
  return 4 * coefficientBytes(frame) + (1 << 16);
}

bool isMetadataSegment(int marker) {
  return (marker >= 0xE0 && marker <= 0xEF) || marker == 0xFE;  // APPn, comments
}

void finishJpeg(const JpegFrame& frame, ImageHeader& header) {
  header.bytesPerPixel = static_cast<std::uint32_t>(frame.components.size());
  header.wholeImageDecode = frame.progressive || header.scans > 1;
  header.decodeBuffer = header.wholeImageDecode ? coefficientBytes(frame) : 0;
}

// Walks the marker segments and the entropy-coded data between them up to the end marker, counting the
// scans. Counting stops as soon as the limit is passed: a bomb need not be read to its end.
// Walks the marker segments and the entropy-coded data between them up to the end marker, counting the
// scans and the metadata. Counting stops as soon as a limit is passed: a bomb need not be read to its end.
StepError inspectJpeg(ByteReader& reader, const DecodeLimits& limits, ImageHeader& header) {
  JpegFrame frame;
  bool seenFrame = false;
  std::uint64_t scanEnd = std::numeric_limits<std::uint64_t>::max();
  for (;;) {
    // Past scan data, or junk between segments that decoders skip too; a scan that goes on past anything
    // it can hold ends the image there, as the end of the file does.
    if (!reader.seekMarkerByte(scanEnd))
      break;
    int byte = reader.next();
    if (byte < 0)
      break;
    do {
      byte = reader.next();
    } while (byte == 0xFF);  // fill bytes
    if (byte < 0)
      break;
    if (byte == 0x00 || (byte >= 0xD0 && byte <= 0xD8) || byte == 0x01)
      continue;  // a stuffed 0xFF in scan data, a restart marker, the start marker or TEM: no segment follows
    if (byte == 0xD9) {  // the end marker: the file is whole
      if (!seenFrame || header.scans == 0)
        return StepError::inWords("the JPEG data is damaged");
      finishJpeg(frame, header);
      return {};
    }
    unsigned char lengthBytes[2];
    if (!reader.read(lengthBytes, 2))
      break;
    const std::uint32_t length = bigEndian(lengthBytes, 2);
    if (length < 2)
      return StepError::inWords("the JPEG data is damaged");
    const bool isFrame = byte >= 0xC0 && byte <= 0xCF && byte != 0xC4 && byte != 0xC8 && byte != 0xCC;
    if (isFrame && !seenFrame) {
      seenFrame = true;
      if (!readFrame(reader, length, frame))
        return StepError::inWords("the JPEG data is damaged");
      frame.progressive = byte == 0xC2 || byte == 0xC6 || byte == 0xCA || byte == 0xCE;
      if (const StepError refused = unreadableFrame(byte, frame))
        return refused;
      header.width = frame.width;
      header.height = frame.height;
      if (const StepError refused = checkPixels(header, limits))
        return refused;
      continue;
    }
    if (isMetadataSegment(byte)) {
      header.metadataBytes += length;
      if (const StepError refused = checkMetadata(header, limits))
        return refused;
    }
    if (byte == 0xDA) {
      if (!seenFrame)
        return StepError::inWords("the JPEG data is damaged");
      if (++header.scans > limits.maxScans) {
        return StepError::inWords("the JPEG is built from more than " + std::to_string(limits.maxScans) +
                                  " scans, far more than any real photo needs");
      }
    }
    if (!reader.skip(length - 2))
      break;
    if (byte == 0xDA)
      scanEnd = reader.position() + largestScan(frame);
  }
  header.cutShort = true;
  if (!seenFrame)
    return StepError::inWords("the file is cut short");
  finishJpeg(frame, header);
  return {};
}

// --- PNG ----------------------------------------------------------------------------------------------

constexpr unsigned char pngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

// Bytes per pixel as libvips decodes it: a palette becomes RGB, or RGBA with transparency.
unsigned decodedBytesPerPixel(int colourType, int bitDepth, bool transparency) {
  unsigned samples = 4;
  switch (colourType) {
    case 0:
      samples = transparency ? 2 : 1;
      break;
    case 2:
    case 3:
      samples = transparency ? 4 : 3;
      break;
    case 4:
      samples = 2;
      break;
    default:
      break;
  }
  return samples * (bitDepth == 16 ? 2 : 1);
}

// An interlaced PNG is decoded whole before its first row comes out.
void finishPng(bool interlaced, unsigned bytesPerPixel, ImageHeader& header) {
  header.bytesPerPixel = bytesPerPixel;
  header.wholeImageDecode = interlaced;
  header.decodeBuffer = interlaced ? std::uint64_t{header.width} * header.height * bytesPerPixel : 0;
}

// A chunk's type is four ASCII letters; anything else (the zeros of an unfinished download, say) is no
// part of a PNG, and no decoder reads on.
bool isChunkType(const std::string& type) {
  return std::ranges::all_of(type, [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); });
}

// Text chunks and colour profiles are held in memory whole by the decoder; a compressed one is counted as
// stored and as inflated.
bool isMetadataChunk(const std::string& type) {
  return type == "tEXt" || type == "zTXt" || type == "iTXt" || type == "iCCP" || type == "eXIf";
}

// What the zlib stream in the next `length` bytes inflates to, counted up to `cap`: a bomb is inflated
// only as far as it takes to tell. The stream's bytes are consumed.
std::uint64_t inflatedSize(ByteReader& reader, std::uint64_t length, std::uint64_t cap) {
  z_stream stream{};
  if (inflateInit(&stream) != Z_OK)
    return 0;
  std::vector<unsigned char> scratch(1 << 16);
  std::uint64_t inflated = 0;
  int status = Z_OK;
  while (status == Z_OK && length > 0 && inflated <= cap) {
    const std::span<const unsigned char> input = reader.take(std::min<std::uint64_t>(length, 1 << 16));
    if (input.empty())
      break;
    length -= input.size();
    stream.next_in = const_cast<unsigned char*>(input.data());
    stream.avail_in = static_cast<uInt>(input.size());
    do {
      stream.next_out = scratch.data();
      stream.avail_out = static_cast<uInt>(scratch.size());
      status = inflate(&stream, Z_NO_FLUSH);
      inflated += scratch.size() - stream.avail_out;
    } while (status == Z_OK && stream.avail_out == 0 && inflated <= cap);
    if (status == Z_BUF_ERROR)
      status = Z_OK;  // it needs the next bytes of the stream
  }
  inflateEnd(&stream);
  reader.skip(length);
  return inflated;
}

// Reads up to and including a zero byte, as long as the chunk lasts: a keyword, a language tag.
bool skipText(ByteReader& reader, std::uint64_t& left) {
  while (left > 0) {
    --left;
    const int byte = reader.next();
    if (byte <= 0)
      return byte == 0;
  }
  return false;
}

// Moves to the compressed bytes of a zTXt, iTXt or iCCP chunk, past its keyword and flags; `left` is
// then what remains of the chunk. False for a chunk that holds nothing compressed.
bool skipToCompressed(ByteReader& reader, const std::string& type, std::uint64_t& left) {
  if (!skipText(reader, left) || left == 0)
    return false;
  if (type != "iTXt") {
    --left;
    return reader.skip(1);  // the compression method
  }
  unsigned char flags[2];  // compressed or not, and the method
  if (left < 2 || !reader.read(flags, 2))
    return false;
  left -= 2;
  return flags[0] == 1 && skipText(reader, left) && skipText(reader, left);  // language, translated keyword
}

// Counts one metadata chunk's data; the reader stands after it (before its CRC) once it has been read.
void countMetadata(ByteReader& reader, const std::string& type, std::uint32_t length,
                   const DecodeLimits& limits, ImageHeader& header) {
  header.metadataBytes += length;
  std::uint64_t left = length;
  if (type == "tEXt" || type == "eXIf" || !skipToCompressed(reader, type, left) ||
      header.metadataBytes > limits.maxMetadata) {
    reader.skip(left);
    return;
  }
  header.metadataBytes += inflatedSize(reader, left, limits.maxMetadata - header.metadataBytes);
}

// Where no sRGB or iCCP chunk says what the samples are, a gAMA chunk does. One of about 1/2.2 means sRGB
// as near as makes no difference, and files that carry it are left as they always were.
double encodingGamma(std::uint32_t gamaValue, bool colourSpaceGiven) {
  const double gamma = gamaValue / 100000.0;
  if (colourSpaceGiven || gamma <= 0.01 || gamma >= 10 || std::abs(gamma * 2.2 - 1) < 0.02)
    return 0;
  return gamma;
}

StepError inspectPng(ByteReader& reader, const DecodeLimits& limits, ImageHeader& header) {
  reader.skip(sizeof pngSignature);
  int bitDepth = 8;
  int colourType = 2;
  bool interlaced = false;
  bool transparency = false;
  bool seenHeader = false;
  bool seenImageData = false;
  bool colourSpaceGiven = false;
  std::uint32_t gamaValue = 0;
  const auto finish = [&] {
    finishPng(interlaced, decodedBytesPerPixel(colourType, bitDepth, transparency), header);
    header.encodingGamma = encodingGamma(gamaValue, colourSpaceGiven);
  };
  for (;;) {
    unsigned char chunk[8];
    if (!reader.read(chunk, sizeof chunk))
      break;
    const std::uint32_t length = bigEndian(chunk, 4);
    const std::string type(reinterpret_cast<const char*>(chunk + 4), 4);
    if (seenHeader && !isChunkType(type))
      break;
    if (length > 0x7FFFFFFFu)
      return StepError::inWords("the PNG data is damaged");
    if (!seenHeader) {
      unsigned char fields[13];
      if (type != "IHDR" || length != sizeof fields)
        return StepError::inWords("the PNG data is damaged");
      if (!reader.read(fields, sizeof fields))
        break;
      header.width = bigEndian(fields, 4);
      header.height = bigEndian(fields + 4, 4);
      bitDepth = fields[8];
      colourType = fields[9];
      interlaced = fields[12] == 1;
      seenHeader = true;
      if (header.width == 0 || header.height == 0)
        return StepError::inWords("the PNG data is damaged");
      if (const StepError refused = checkPixels(header, limits))
        return refused;
      if (!reader.skip(4))
        break;
      continue;
    }
    if (type == "tRNS")
      transparency = true;
    if (type == "acTL" && !seenImageData)  // after the image data it does not make an animation
      header.animated = true;
    if (type == "sRGB" || type == "iCCP")
      colourSpaceGiven = true;
    seenImageData = seenImageData || type == "IDAT";
    if (type == "IEND") {
      reader.skip(4);  // its checksum
      finish();
      return {};
    }
    if (type == "gAMA" && length == 4) {
      unsigned char value[4];
      if (!reader.read(value, sizeof value))
        break;
      gamaValue = bigEndian(value, 4);
    } else if (isMetadataChunk(type)) {
      countMetadata(reader, type, length, limits, header);
      if (const StepError refused = checkMetadata(header, limits))
        return refused;
    } else if (!reader.skip(length)) {
      break;
    }
    if (!reader.skip(4))
      break;
  }
  header.cutShort = true;
  if (!seenHeader)
    return StepError::inWords("the file is cut short");
  finish();
  return {};
}

// Tells the format from the file's first bytes and reads the structure of that format.
StepError inspectStructure(ByteReader& reader, const DecodeLimits& limits, ImageHeader& header) {
  unsigned char start[8] = {};
  const long long count = reader.file().readAt(0, start, sizeof start);
  if (count < 0)
    return StepError::ofErrno();
  if (count >= 3 && start[0] == 0xFF && start[1] == 0xD8 && start[2] == 0xFF) {
    header.format = ImageFormat::jpeg;
    return inspectJpeg(reader, limits, header);
  }
  if (count == 8 && std::memcmp(start, pngSignature, 8) == 0) {
    header.format = ImageFormat::png;
    return inspectPng(reader, limits, header);
  }
  return StepError::inWords("not a JPEG or PNG image");
}

}  // namespace

StepError inspectImage(const SourceFile& file, const DecodeLimits& limits, ImageHeader& header) {
  header = {};
  WorkClock clock(limits.time);
  ByteReader reader(file, clock);
  const StepError error = inspectStructure(reader, limits, header);
  header.imageEnd = std::min(reader.position(), file.size());
  header.inspectionTime = clock.elapsed();
  if (reader.timeIsUp())
    return clock.failure();
  if (error)
    return error;
  const std::uint64_t needed = memoryToDecode(header);
  if (needed > limits.maxDecodeMemory) {
    return StepError::inWords("the image needs about " + run_log::sizeText(needed) +
                              " of memory to decode, more than the " +
                              run_log::sizeText(limits.maxDecodeMemory) + " allowed");
  }
  return {};
}

namespace {

// The factor by which libvips' thumbnail shrinks a JPEG while decoding it, from the whole shrink the
// image needs: a power of two that leaves at least a factor of two for the resize after it.
double jpegShrinkOnLoad(double shrink) {
  return shrink >= 16 ? 8 : shrink >= 8 ? 4 : shrink >= 4 ? 2 : 1;
}

}  // namespace

// Everything that re-encoding the image adds to a run's peak memory, its own working set included,
// fitted one image at a time on real photographs and on the largest images allowed (bench/estimate,
// bench/README.md): the peak of a run over the image alone less that of a run that starts libvips and
// decodes nothing. Besides what a whole-image decode holds (its decode buffer), the memory follows the
// rows that the decoder and the resize hold, in bytes of a decoded row, and for a baseline JPEG the
// output's coefficients, which a progressive JPEG encoder keeps whole.
std::uint64_t memoryToDecode(const ImageHeader& header) {
  const double width = header.width;
  const double pixels = width * header.height;
  const double bytesPerPixel = std::max<std::uint32_t>(header.bytesPerPixel, 1);
  const double shrink = std::max(
      1.0, std::max<double>(header.width, header.height) / static_cast<double>(ImageOptimizer::maxDimension));
  // In MiB: a fixed part, per megapixel, and per kB of a decoded row, as fitted for each kind.
  double mebibytes = 0;
  if (header.format == ImageFormat::jpeg) {
    const double loadShrink = jpegShrinkOnLoad(shrink);
    const double decodedRowKB = width / loadShrink * bytesPerPixel / 1000;
    if (header.wholeImageDecode) {
      mebibytes = 8.63 + 0.238 * pixels / (loadShrink * loadShrink) / 1e6 + 1.22 * decodedRowKB;
    } else {
      const double outputMegapixels = pixels / (shrink * shrink) / 1e6;
      mebibytes = 9.76 + 1.32 * outputMegapixels + (shrink > 1 ? 1.00 * decodedRowKB : 0);
    }
  } else {
    // Rows past 2560 pixels cost less: the resize of a wider image holds fewer of them.
    constexpr double wide = 2560;
    mebibytes = 3.27 + 2.28 * std::min(width, wide) * bytesPerPixel / 1000 +
                1.22 * std::max(width - wide, 0.0) * bytesPerPixel / 1000;
  }
  return static_cast<std::uint64_t>(mebibytes * (1 << 20)) + header.decodeBuffer +
         metadataCopies * header.metadataBytes;
}

// Fitted at 16 jobs on the corpus ten times over with the cap of a 4 GB machine: 16 MiB still let the
// peak pass the cap by up to 28 MiB, 24 MiB kept it 26 to 46 MiB below (bench/README.md).
std::uint64_t memoryInHand(const ImageHeader& header) {
  constexpr std::uint64_t besideEachImage = 24ULL << 20;
  return memoryToDecode(header) + besideEachImage;
}
