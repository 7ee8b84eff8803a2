#pragma once

#include <cstdint>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

// Generated fixtures for the engine's tests, the window's tests and the benches: real images written
// with libvips, sized to land on either side of the run's 512000-byte threshold.
namespace test_images {

// Starts libvips for the fixtures; the engine starts it on its own as well.
void startLibvips();

// Noise compresses badly, so these come out large for their pixel count.
void writeNoiseJpeg(const std::filesystem::path& file, int width, int height, int quality = 95);
void writeNoisePng(const std::filesystem::path& file, int width, int height);
// A noise PNG of at least 512000 bytes whose JPEG comes out much smaller: one the engine converts.
void writeLargePng(const std::filesystem::path& file);
// A file with an image extension that is no image at all.
void writeBrokenImage(const std::filesystem::path& file, std::uint64_t bytes);
// RGBA noise whose left half is fully transparent.
void writeHalfTransparentPng(const std::filesystem::path& file, int width, int height);
// Transparent black on the left half, opaque white on the right, padded above the size threshold: shrunk
// without care, the dark transparent pixels bleed into the edge.
void writeTransparentEdgePng(const std::filesystem::path& file, int width, int height);
// A flat colour: tiny files, well under the threshold.
void writeSmallJpeg(const std::filesystem::path& file);
void writeSmallPng(const std::filesystem::path& file);
void writeSmallGif(const std::filesystem::path& file);
// A JPEG whose re-encoded form at quality 80 is larger than the file itself.
void writeJpegThatGrows(const std::filesystem::path& file);
// A noise JPEG padded after its end marker to exactly `bytes` bytes.
void writeJpegOfExactSize(const std::filesystem::path& file, std::uint64_t bytes);
// Landscape pixels with an EXIF orientation tag that turns them into a portrait photo.
void writeRotatedJpeg(const std::filesystem::path& file, int width, int height, int orientation);
// Carries EXIF with a GPS position, XMP and a comment.
void writeJpegWithMetadata(const std::filesystem::path& file, int width, int height);
// Pure red (in sRGB terms) stored in the wide-gamut P3 space with its embedded ICC profile; padded
// above the size threshold.
void writeP3RedJpeg(const std::filesystem::path& file, int width, int height);
// Pure red stored as CMYK with an embedded CMYK profile; padded above the size threshold.
void writeCmykRedJpeg(const std::filesystem::path& file, int width, int height);
// A valid PNG start that claims width x height pixels, padded to `bytes` bytes.
void writePngBombHeader(const std::filesystem::path& file, std::uint32_t width, std::uint32_t height,
                        std::uint64_t bytes, int bitDepth = 8, bool interlaced = false);
// The marker structure of a JPEG without real image data: a frame of the given kind (0xC0 baseline,
// 0xC2 progressive, 0xC3 lossless, ...) and sample precision, three components at 4:4:4, `scans` scans
// and the end marker, padded to `bytes` bytes. Enough to be judged by its header alone.
void writeJpegSkeleton(const std::filesystem::path& file, int frameMarker, int precision, std::uint32_t width,
                       std::uint32_t height, int scans, std::uint64_t bytes);
// Files of other formats, padded to `bytes`: what a JPEG or PNG name may hide.
enum class OtherFormat { tiff, bmp, pdf, svg, gif, webp };
void writeOtherFormat(const std::filesystem::path& file, OtherFormat format, std::uint64_t bytes);

// The kinds of image a folder from the wild holds, each above the size threshold.
void write16BitPng(const std::filesystem::path& file, int width, int height);
void writeGreyAlphaPng(const std::filesystem::path& file, int width, int height);
void writePalettePngWithTransparency(const std::filesystem::path& file, int width, int height);
void writeInterlacedPng(const std::filesystem::path& file, int width, int height);
void writeProgressiveJpeg(const std::filesystem::path& file, int width, int height);
void writeAnimatedGif(const std::filesystem::path& file);
// A flat colour as a PNG or a JPEG of `bits` per sample, padded above the threshold. `values`: grey or sRGB,
// then alpha if any. `profile`: none (""), "srgb", "p3" (the pixels are then converted to it), "grey", or
// "srgb-gamma-1.8" (sRGB's primaries, a 1.8 tone curve; the pixels are left as they are);
// the profile is embedded whether it fits the image or not.
void writeFlatImage(const std::filesystem::path& file, const std::vector<double>& values, int bits,
                    const std::string& profile);
// zlib's compressed form of `bytes`, as PNG chunks hold it.
std::string compressed(const std::string& bytes);
// Puts a chunk into a PNG right after its header chunk (acTL, gAMA, zTXt, ...).
void insertPngChunk(const std::filesystem::path& file, const std::string& type, const std::string& data);
// Puts `count` segments of `size` bytes each into a JPEG right after its start marker (APP1, COM, ...).
void insertJpegSegments(const std::filesystem::path& file, int marker, int count, std::size_t size);
// Keeps the first `fraction` of a file's bytes, as an interrupted download would.
void truncate(const std::filesystem::path& file, double fraction);

void writeBytes(const std::filesystem::path& file, const std::string& bytes);
// The names of the entries directly in `folder`.
std::set<std::string> namesIn(const std::filesystem::path& folder);
std::string readBytes(const std::filesystem::path& file);
// Size and hash of a file's bytes: compares like the bytes, prints short.
std::string fingerprint(const std::filesystem::path& file);
// Appends zero bytes after a JPEG's end marker or a PNG's last chunk, where decoders stop reading.
void padTo(const std::filesystem::path& file, std::uint64_t bytes);

struct Pixels {
  int width = 0;
  int height = 0;
  int bands = 0;
};
Pixels dimensionsOf(const std::filesystem::path& image);
// Mean of each band over a rectangle.
std::vector<double> meanColour(const std::filesystem::path& image, int left, int top, int width, int height);
// Whether libvips finds a metadata field such as "exif-data" or "icc-profile-data".
bool hasMetadata(const std::filesystem::path& image, const std::string& field);
// How libvips describes a JPEG's coding: chroma subsampling ("4:2:0") and whether it is progressive.
std::string chromaSubsampling(const std::filesystem::path& jpeg);
bool isProgressive(const std::filesystem::path& jpeg);

}  // namespace test_images
