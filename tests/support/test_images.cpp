#include "test_images.h"

#include <lcms2.h>
#include <zlib.h>

#include <array>
#include <fstream>
#include <iterator>
#include <mutex>
#include <sstream>
#include <stdexcept>
#include <vector>
#include <vips/vips8>

namespace fs = std::filesystem;
using vips::VImage;

namespace test_images {

void startLibvips() {
  static std::once_flag once;
  std::call_once(once, [] {
    if (VIPS_INIT("tarvolin-tests") != 0)
      throw std::runtime_error("libvips did not start");
  });
}

namespace {

void startVips() {
  startLibvips();
}

// Through libvips' source loaders: the engine allows no others in its process.
VImage load(const fs::path& image) {
  startVips();
  return VImage::new_from_source(vips::VSource::new_from_file(image.c_str()), "");
}

VImage noise(int width, int height, int bands) {
  startVips();
  std::vector<VImage> channels;
  for (int band = 0; band < bands; ++band) {
    channels.push_back(
        VImage::gaussnoise(width, height, VImage::option()->set("sigma", 60.0)->set("mean", 128.0)));
  }
  return VImage::bandjoin(channels)
      .cast(VIPS_FORMAT_UCHAR)
      .copy(VImage::option()->set("interpretation",
                                  bands >= 3 ? VIPS_INTERPRETATION_sRGB : VIPS_INTERPRETATION_B_W));
}

VImage flat(int width, int height, std::vector<double> colour) {
  startVips();
  return (VImage::black(width, height, VImage::option()->set("bands", static_cast<int>(colour.size()))) +
          colour)
      .cast(VIPS_FORMAT_UCHAR)
      .copy(VImage::option()->set("interpretation", VIPS_INTERPRETATION_sRGB));
}

// Big-endian helpers for the hand-made PNG header.
void appendUint32(std::string& out, std::uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8)
    out.push_back(static_cast<char>((value >> shift) & 0xFF));
}

void appendChunk(std::string& png, const std::string& type, const std::string& data) {
  appendUint32(png, static_cast<std::uint32_t>(data.size()));
  const std::string body = type + data;
  png += body;
  appendUint32(png, static_cast<std::uint32_t>(::crc32(0, reinterpret_cast<const Bytef*>(body.data()),
                                                       static_cast<uInt>(body.size()))));
}

// A minimal EXIF block: IFD0 with one pointer to a GPS IFD holding GPSLatitudeRef "N".
std::string exifWithGps() {
  std::string tiff = std::string("II*\0", 4);
  auto u16 = [&](std::uint16_t v) { tiff.push_back(char(v & 0xFF)), tiff.push_back(char(v >> 8)); };
  auto u32 = [&](std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
      tiff.push_back(char((v >> (8 * i)) & 0xFF));
  };
  u32(8);                                                  // IFD0 offset
  u16(1);                                                  // one entry
  u16(0x8825), u16(4), u32(1), u32(26);                    // GPSInfo pointer, LONG, -> GPS IFD at 26
  u32(0);                                                  // no next IFD
  u16(1);                                                  // GPS IFD: one entry
  u16(0x0001), u16(2), u32(2), tiff.append("N\0\0\0", 4);  // GPSLatitudeRef = "N"
  u32(0);
  return std::string("Exif\0\0", 6) + tiff;
}

}  // namespace

void writeBytes(const fs::path& file, const std::string& bytes) {
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out << bytes;
  if (!out)
    throw std::runtime_error("cannot write " + file.string());
}

std::set<std::string> namesIn(const fs::path& folder) {
  std::set<std::string> names;
  for (const fs::directory_entry& entry : fs::directory_iterator(folder))
    names.insert(entry.path().filename().string());
  return names;
}

std::string readBytes(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string fingerprint(const fs::path& file) {
  const std::string bytes = readBytes(file);
  return std::to_string(bytes.size()) + " bytes, hash " + std::to_string(std::hash<std::string>{}(bytes));
}

void padTo(const fs::path& file, std::uint64_t bytes) {
  std::string content = readBytes(file);
  if (content.size() > bytes)
    throw std::runtime_error("file already larger than requested size");
  content.resize(bytes, '\0');
  writeBytes(file, content);
}

void writeNoiseJpeg(const fs::path& file, int width, int height, int quality) {
  noise(width, height, 3).jpegsave(file.c_str(), VImage::option()->set("Q", quality));
}

void writeNoisePng(const fs::path& file, int width, int height) {
  noise(width, height, 3).pngsave(file.c_str(), VImage::option()->set("compression", 1));
}

void writeLargePng(const fs::path& file) {
  writeNoisePng(file, 640, 640);
  if (fs::file_size(file) < 512000)
    throw std::logic_error("fixture PNG too small: " + file.string());
}

void writeBrokenImage(const fs::path& file, std::uint64_t bytes) {
  writeBytes(file, std::string(bytes, 'x'));
}

void writeHalfTransparentPng(const fs::path& file, int width, int height) {
  startVips();
  const VImage alpha = VImage::black(width, height)
                           .insert(flat(width / 2, height, {255}), width - width / 2, 0)
                           .cast(VIPS_FORMAT_UCHAR);
  // Dark noise underneath: flattening onto black instead of white would show at once.
  const VImage dark = (noise(width, height, 3) / 4).cast(VIPS_FORMAT_UCHAR);
  dark.bandjoin(alpha)
      .copy(VImage::option()->set("interpretation", VIPS_INTERPRETATION_sRGB))
      .pngsave(file.c_str(), VImage::option()->set("compression", 1));
}

void writeTransparentEdgePng(const fs::path& file, int width, int height) {
  const VImage white = flat(width - width / 2, height, {255, 255, 255, 255});
  flat(width, height, {0, 0, 0, 0}).insert(white, width / 2, 0).pngsave(file.c_str());
  padTo(file, 600000);
}

void write16BitPng(const fs::path& file, int width, int height) {
  (noise(width, height, 3).cast(VIPS_FORMAT_USHORT) * 256)
      .cast(VIPS_FORMAT_USHORT)
      .copy(VImage::option()->set("interpretation", VIPS_INTERPRETATION_RGB16))
      .pngsave(file.c_str(), VImage::option()->set("compression", 1)->set("bitdepth", 16));
}

void writeGreyAlphaPng(const fs::path& file, int width, int height) {
  noise(width, height, 2)
      .copy(VImage::option()->set("interpretation", VIPS_INTERPRETATION_B_W))
      .pngsave(file.c_str(), VImage::option()->set("compression", 1));
}

void writePalettePngWithTransparency(const fs::path& file, int width, int height) {
  const VImage alpha = VImage::black(width, height)
                           .insert(flat(width / 2, height, {255}), width - width / 2, 0)
                           .cast(VIPS_FORMAT_UCHAR);
  noise(width, height, 3)
      .bandjoin(alpha)
      .copy(VImage::option()->set("interpretation", VIPS_INTERPRETATION_sRGB))
      .pngsave(file.c_str(), VImage::option()->set("palette", true)->set("compression", 1));
}

void writeInterlacedPng(const fs::path& file, int width, int height) {
  noise(width, height, 3)
      .pngsave(file.c_str(), VImage::option()->set("interlace", true)->set("compression", 1));
}

void writeProgressiveJpeg(const fs::path& file, int width, int height) {
  noise(width, height, 3).jpegsave(file.c_str(), VImage::option()->set("interlace", true)->set("Q", 95));
}

void writeAnimatedGif(const fs::path& file) {
  VImage frames = noise(120, 3 * 90, 3).copy();
  frames.set("page-height", 90);
  frames.gifsave(file.c_str());
}

void truncate(const fs::path& file, double fraction) {
  std::string content = readBytes(file);
  content.resize(static_cast<std::size_t>(static_cast<double>(content.size()) * fraction));
  writeBytes(file, content);
}

void writeSmallJpeg(const fs::path& file) {
  flat(64, 48, {200, 120, 40}).jpegsave(file.c_str());
}
void writeSmallPng(const fs::path& file) {
  flat(64, 48, {20, 120, 240}).pngsave(file.c_str());
}
void writeSmallGif(const fs::path& file) {
  flat(32, 32, {0, 200, 0}).gifsave(file.c_str());
}

void writeJpegThatGrows(const fs::path& file) {
  // Low quality noise stays under 1920 px, so the quality-80 re-encode spends far more bytes on it.
  noise(1900, 1900, 3).jpegsave(file.c_str(), VImage::option()->set("Q", 25));
}

void writeJpegOfExactSize(const fs::path& file, std::uint64_t bytes) {
  writeNoiseJpeg(file, 420, 420, 90);
  padTo(file, bytes);
}

void writeRotatedJpeg(const fs::path& file, int width, int height, int orientation) {
  VImage image = noise(width, height, 3).copy();
  image.set("orientation", orientation);
  image.jpegsave(file.c_str(), VImage::option()->set("Q", 95));
}

void writeJpegWithMetadata(const fs::path& file, int width, int height) {
  VImage image = noise(width, height, 3).copy();
  const std::string exif = exifWithGps();
  vips_image_set_blob_copy(image.get_image(), "exif-data", exif.data(), exif.size());
  const std::string xmp =
      "<x:xmpmeta xmlns:x='adobe:ns:meta/'><rdf:RDF xmlns:rdf='http://www.w3.org/1999/02/22-rdf-syntax-ns#'>"
      "<rdf:Description xmlns:exif='http://ns.adobe.com/exif/1.0/' exif:GPSLatitude='52,31.0N'/>"
      "</rdf:RDF></x:xmpmeta>";
  vips_image_set_blob_copy(image.get_image(), "xmp-data", xmp.data(), xmp.size());
  image.jpegsave(file.c_str(), VImage::option()->set("Q", 95));
}

namespace {

// Pure sRGB red, stored in the space of `profile` with the profile embedded, padded above the threshold.
void writeRedJpegIn(const char* profile, const fs::path& file, int width, int height) {
  flat(width, height, {255, 0, 0})
      .icc_transform(profile, VImage::option()->set("input_profile", "srgb")->set("embedded", false))
      .jpegsave(file.c_str(), VImage::option()->set("Q", 95));
  if (fs::file_size(file) < 600000)
    padTo(file, 600000);  // the CMYK profile alone is nearly 1 MB
}

}  // namespace

void writeP3RedJpeg(const fs::path& file, int width, int height) {
  writeRedJpegIn("p3", file, width, height);
}

void writeCmykRedJpeg(const fs::path& file, int width, int height) {
  writeRedJpegIn("cmyk", file, width, height);
}

namespace {

// lcms' sRGB profile (libpng drops libvips' own from a PNG), a grey one with a 2.2 tone curve, or one
// with sRGB's primaries and a 1.8 tone curve ("srgb-gamma-1.8").
std::string lcmsProfile(const std::string& name) {
  cmsToneCurve* curve = cmsBuildGamma(nullptr, name == "grey" ? 2.2 : 1.8);
  cmsHPROFILE made = nullptr;
  if (name == "srgb") {
    made = cmsCreate_sRGBProfile();
  } else if (name == "grey") {
    made = cmsCreateGrayProfile(cmsD50_xyY(), curve);
  } else {
    const cmsCIExyY white{0.3127, 0.3290, 1};
    const cmsCIExyYTRIPLE primaries{{0.64, 0.33, 1}, {0.30, 0.60, 1}, {0.15, 0.06, 1}};
    cmsToneCurve* const curves[3] = {curve, curve, curve};
    made = cmsCreateRGBProfile(&white, &primaries, curves);
  }
  cmsUInt32Number length = 0;
  cmsSaveProfileToMem(made, nullptr, &length);
  std::string icc(length, '\0');
  cmsSaveProfileToMem(made, icc.data(), &length);
  cmsCloseProfile(made);
  cmsFreeToneCurve(curve);
  return icc;
}

}  // namespace

void writeFlatImage(const fs::path& file, const std::vector<double>& values, int bits,
                    const std::string& profile) {
  startVips();
  const bool deep = bits == 16;
  const VipsInterpretation kinds[2][2] = {{VIPS_INTERPRETATION_B_W, VIPS_INTERPRETATION_GREY16},
                                          {VIPS_INTERPRETATION_sRGB, VIPS_INTERPRETATION_RGB16}};
  VImage image =
      ((VImage::black(64, 64, VImage::option()->set("bands", static_cast<int>(values.size()))) + values) *
       (deep ? 257 : 1))
          .cast(deep ? VIPS_FORMAT_USHORT : VIPS_FORMAT_UCHAR)
          .copy(VImage::option()->set("interpretation", kinds[values.size() > 2][deep]));
  if (profile == "p3")
    image = image.icc_transform("p3", VImage::option()->set("input_profile", "srgb")->set("depth", bits));
  std::string icc = profile == "grey" || profile.starts_with("srgb") ? lcmsProfile(profile) : "";
  if (profile == "p3") {
    VipsBlob* blob = nullptr;
    vips_profile_load(profile.c_str(), &blob, nullptr);
    std::size_t length = 0;
    icc.assign(static_cast<const char*>(vips_blob_get(blob, &length)), length);
    vips_area_unref(VIPS_AREA(blob));
  }
  if (!icc.empty())
    vips_image_set_blob_copy(image.get_image(), VIPS_META_ICC_NAME, icc.data(), icc.size());
  if (file.extension() == ".png")
    image.pngsave(file.c_str(), VImage::option()->set("bitdepth", bits));
  else
    image.jpegsave(file.c_str());
  padTo(file, 600000);
}

std::string compressed(const std::string& bytes) {
  std::string out(compressBound(static_cast<uLong>(bytes.size())), '\0');
  uLongf length = static_cast<uLongf>(out.size());
  ::compress(reinterpret_cast<Bytef*>(out.data()), &length, reinterpret_cast<const Bytef*>(bytes.data()),
             static_cast<uLong>(bytes.size()));
  out.resize(length);
  return out;
}

void insertPngChunk(const fs::path& file, const std::string& type, const std::string& data) {
  std::string png = readBytes(file);
  std::string chunk;
  appendChunk(chunk, type, data);
  png.insert(33, chunk);  // signature 8, IHDR 25
  writeBytes(file, png);
}

void insertJpegSegments(const fs::path& file, int marker, int count, std::size_t size) {
  std::string segment{'\xFF', static_cast<char>(marker), static_cast<char>((size + 2) >> 8),
                      static_cast<char>((size + 2) & 0xFF)};
  segment.resize(4 + size, 'm');
  std::string segments;
  for (int index = 0; index < count; ++index)
    segments += segment;
  std::string jpeg = readBytes(file);
  writeBytes(file, jpeg.insert(2, segments));
}

void writePngBombHeader(const fs::path& file, std::uint32_t width, std::uint32_t height, std::uint64_t bytes,
                        int bitDepth, bool interlaced) {
  std::string ihdr = "IHDR";
  appendUint32(ihdr, width);
  appendUint32(ihdr, height);
  // RGB, deflate, no filter
  ihdr += {static_cast<char>(bitDepth), '\x02', '\x00', '\x00', static_cast<char>(interlaced ? 1 : 0)};
  std::string png = "\x89PNG\r\n\x1a\n";
  appendChunk(png, "IHDR", ihdr.substr(4));
  // One real compressed row, so that the header reads as a complete, plausible PNG start.
  const std::string row(1 + 3 * 64, '\0');
  std::string compressed(compressBound(static_cast<uLong>(row.size())), '\0');
  uLongf length = static_cast<uLongf>(compressed.size());
  ::compress(reinterpret_cast<Bytef*>(compressed.data()), &length, reinterpret_cast<const Bytef*>(row.data()),
             static_cast<uLong>(row.size()));
  compressed.resize(length);
  appendChunk(png, "IDAT", compressed);
  writeBytes(file, png);
  padTo(file, bytes);
}

void writeJpegSkeleton(const fs::path& file, int frameMarker, int precision, std::uint32_t width,
                       std::uint32_t height, int scans, std::uint64_t bytes) {
  auto segment = [](int marker, const std::string& body) {
    const std::size_t length = body.size() + 2;
    return std::string{'\xFF', static_cast<char>(marker), static_cast<char>(length >> 8),
                       static_cast<char>(length & 0xFF)} +
           body;
  };
  std::string frame{static_cast<char>(precision),     static_cast<char>(height >> 8),
                    static_cast<char>(height & 0xFF), static_cast<char>(width >> 8),
                    static_cast<char>(width & 0xFF),  '\x03'};
  for (char component = 1; component <= 3; ++component)
    frame += {component, '\x11', '\x00'};
  std::string jpeg = "\xFF\xD8";
  jpeg += segment(frameMarker, frame);
  const std::string scan = segment(0xDA, std::string("\x01\x01\x00\x00\x3F\x00", 6)) + "\x12\x34\xFF\x00\x56";
  for (int index = 0; index < scans; ++index)
    jpeg += scan;
  jpeg += "\xFF\xD9";
  writeBytes(file, jpeg);
  if (bytes > jpeg.size())
    padTo(file, bytes);
}

void writeOtherFormat(const fs::path& file, OtherFormat format, std::uint64_t bytes) {
  switch (format) {
    case OtherFormat::tiff:
      flat(64, 48, {10, 200, 30}).tiffsave(file.c_str());
      break;
    case OtherFormat::gif:
      flat(64, 48, {10, 200, 30}).gifsave(file.c_str());
      break;
    case OtherFormat::bmp:
      writeBytes(file, std::string("BM\x46\x00\x00\x00\x00\x00\x00\x00\x36\x00\x00\x00\x28\x00\x00\x00", 18));
      break;
    case OtherFormat::pdf:
      writeBytes(file, "%PDF-1.4\n1 0 obj << /Type /Catalog /Pages 2 0 R >> endobj\n%%EOF\n");
      break;
    case OtherFormat::svg:
      writeBytes(file,
                 "<svg xmlns='http://www.w3.org/2000/svg' width='4000' height='3000'>"
                 "<rect width='4000' height='3000' fill='red'/></svg>\n");
      break;
    case OtherFormat::webp:
      writeBytes(file, std::string("RIFF\x24\x00\x00\x00WEBPVP8 ", 16));
      break;
  }
  padTo(file, bytes);
}

Pixels dimensionsOf(const fs::path& image) {
  const VImage loaded = load(image);
  return {loaded.width(), loaded.height(), loaded.bands()};
}

std::vector<double> meanColour(const fs::path& image, int left, int top, int width, int height) {
  const VImage area = load(image).extract_area(left, top, width, height);
  std::vector<double> means;
  for (int band = 0; band < area.bands(); ++band)
    means.push_back(area.extract_band(band).avg());
  return means;
}

bool hasMetadata(const fs::path& image, const std::string& field) {
  return load(image).get_typeof(field.c_str()) != 0;
}

std::string chromaSubsampling(const fs::path& jpeg) {
  return load(jpeg).get_string("jpeg-chroma-subsample");
}

bool isProgressive(const fs::path& jpeg) {
  return load(jpeg).get_int("jpeg-multiscan") != 0;
}

}  // namespace test_images
