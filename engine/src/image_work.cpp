// The image work: the only code that talks to libvips.
#include "image_work.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <mutex>
#include <string>
#include <utility>
#include <vector>
#include <vips/vips8>

#include "file_contents.h"
#include "icc_profile.h"

using vips::VImage;
using vips::VOption;

namespace {

// Chosen by measurement on a corpus of real photographs: see bench/README.md.
constexpr bool progressiveJpeg = true;

// --- What can go wrong, in plain words ------------------------------------------------------------------

// Why an image could not be re-encoded once libvips has failed on it. libvips' own messages are never
// shown: they are the decoders' jargon, and its error buffer is shared by every thread of the process, so
// a message there may belong to another image. The reason is taken from what this file knows instead
// (and from the image's clock, for an image given up on time).
enum class WorkFailure { writeFailed, cutShort, jpegDamaged, pngDamaged };

constexpr std::pair<WorkFailure, const char*> plainWords[] = {
    {WorkFailure::writeFailed, "write error (%s)"},
    {WorkFailure::cutShort, "the file is cut short"},
    {WorkFailure::jpegDamaged, "the JPEG data is damaged"},
    {WorkFailure::pngDamaged, "the PNG data is damaged"},
};

StepError failure(WorkFailure kind, const std::string& detail = {}) {
  for (const auto& [failureKind, words] : plainWords) {
    if (failureKind != kind)
      continue;
    std::string text = words;
    if (const auto slot = text.find("%s"); slot != std::string::npos)
      text.replace(slot, 2, detail);
    return StepError::inWords(text);
  }
  return StepError::inWords("the image could not be decoded");
}

// --- libvips reads the source and writes the output through the run's own descriptors ------------------

struct SourceReading {
  const SourceFile* file;
  WorkClock* clock;
  // Where the image ends, as its inspection found: a decoder looking for one more marker in the zeros
  // after a cut-short image would read them to the end of the file.
  std::uint64_t end = 0;
  std::int64_t position = 0;
};

gint64 readSource(VipsSourceCustom*, void* buffer, gint64 length, SourceReading* reading) {
  if (reading->clock->expired())
    return -1;  // the decoder stops with an error at once
  const auto position = static_cast<std::uint64_t>(reading->position);
  if (position >= reading->end)
    return 0;
  const long long count = reading->file->readAt(
      position, buffer, static_cast<std::size_t>(std::min<std::uint64_t>(length, reading->end - position)));
  if (count < 0)
    return -1;
  reading->position += count;
  return count;
}

gint64 seekSource(VipsSourceCustom*, gint64 offset, int whence, SourceReading* reading) {
  const auto size = static_cast<std::int64_t>(reading->file->size());
  const std::int64_t base = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? reading->position : size;
  if (base + offset < 0)
    return -1;
  reading->position = base + offset;
  return reading->position;
}

// An image decoded whole (progressive JPEG, interlaced PNG) is decoded before libvips' pipeline reports
// any progress: only its reads can tell the decoder to give up. Every other image is read straight from
// the descriptor, which is cheaper; the pipeline's progress reports watch its time.
vips::VSource sourceFor(SourceReading& reading, bool decodedWhole) {
  if (!decodedWhole) {
    VipsSource* direct = vips_source_new_from_descriptor(reading.file->descriptor());
    if (direct == nullptr)
      throw vips::VError();
    return vips::VSource(direct);
  }
  VipsSourceCustom* custom = vips_source_custom_new();
  g_signal_connect(custom, "read", G_CALLBACK(readSource), &reading);
  g_signal_connect(custom, "seek", G_CALLBACK(seekSource), &reading);
  return vips::VSource(VIPS_SOURCE(custom));
}

struct OutputWriting {
  int descriptor;
  std::atomic<int> error{0};
};

gint64 writeOutput(VipsTargetCustom*, const void* data, gint64 length, OutputWriting* writing) {
  if (const int error =
          writeAll(writing->descriptor, {static_cast<const char*>(data), static_cast<std::size_t>(length)})) {
    writing->error = error;
    return -1;
  }
  return length;
}

gint endOutput(VipsTargetCustom*, OutputWriting*) {
  return 0;
}

vips::VTarget targetFor(OutputWriting& writing) {
  VipsTargetCustom* custom = vips_target_custom_new();
  g_signal_connect(custom, "write", G_CALLBACK(writeOutput), &writing);
  g_signal_connect(custom, "end", G_CALLBACK(endOutput), &writing);
  return vips::VTarget(VIPS_TARGET(custom));
}

// --- The pixels -----------------------------------------------------------------------------------------

bool isGrey(const VImage& image) {
  return image.interpretation() == VIPS_INTERPRETATION_B_W ||
         image.interpretation() == VIPS_INTERPRETATION_GREY16;
}

bool isCmyk(const VImage& image) {
  return image.interpretation() == VIPS_INTERPRETATION_CMYK;
}

// The colour space an embedded ICC profile says it describes, from its header: "RGB ", "GRAY", "CMYK".
std::string profileSpace(const VImage& image) {
  if (image.get_typeof(VIPS_META_ICC_NAME) == 0)
    return {};
  std::size_t length = 0;
  const auto* profile = static_cast<const char*>(image.get_blob(VIPS_META_ICC_NAME, &length));
  return length >= 20 ? std::string(profile + 16, 4) : std::string();
}

// A profile for another kind of image than this one (an RGB profile in a grey JPEG, say) is ignored, as
// browsers ignore it: the pixels are taken as sRGB (or plain grey) instead. A damaged profile of the right
// kind needs no check here: libvips falls back to sRGB for it.
bool hasUsableProfile(const VImage& image) {
  return profileSpace(image) == (isCmyk(image) ? "CMYK" : isGrey(image) ? "GRAY" : "RGB ");
}

// A usable profile that says more than "sRGB": only then are the colours converted.
bool needsColourConversion(const VImage& image) {
  if (!hasUsableProfile(image))
    return false;
  std::size_t length = 0;
  const auto* profile = static_cast<const char*>(image.get_blob(VIPS_META_ICC_NAME, &length));
  return !describesSrgb({profile, length});
}

// Shrinks while decoding where the format allows, upright per the EXIF orientation; never enlarges.
// Colour-managed to sRGB only when the image says it is in another space, so that sRGB photos, with the
// sRGB profile or without one, pay nothing for it.
VImage shrunkUpright(const vips::VSource& source, const VImage& header, int maxSize) {
  VOption* options = VImage::option()
                         ->set("height", maxSize)
                         ->set("size", VIPS_SIZE_DOWN)
                         ->set("option_string", "fail_on=truncated");
  if (needsColourConversion(header) || isCmyk(header)) {
    options->set("import_profile", isCmyk(header) ? "cmyk" : "srgb")->set("export_profile", "srgb");
  }
  return VImage::thumbnail_source(source, maxSize, options);
}

// Display value = sRGB((stored / max) ^ (1 / gamma)), as browsers show a PNG whose gAMA chunk is all it
// says about its colours: a table over every sample value, as cheap to apply as a copy.
VImage withGammaApplied(const VImage& image, double encodingGamma) {
  const bool deep = image.format() == VIPS_FORMAT_USHORT;
  const int top = deep ? 65535 : 255;
  std::vector<double> table(static_cast<std::size_t>(top) + 1);
  for (int stored = 0; stored <= top; ++stored) {
    const double linear = std::pow(stored / static_cast<double>(top), 1.0 / encodingGamma);
    const double shown = linear <= 0.0031308 ? 12.92 * linear : 1.055 * std::pow(linear, 1.0 / 2.4) - 0.055;
    table[static_cast<std::size_t>(stored)] = std::round(shown * top);
  }
  const VImage lookup = VImage::new_from_memory(table.data(), table.size() * sizeof(double), top + 1, 1, 1,
                                                VIPS_FORMAT_DOUBLE)
                            .cast(image.format())
                            .copy_memory();  // now, while the table is still there
  // Alpha is stored linear: only the colour samples are mapped.
  const int colours = image.has_alpha() ? image.bands() - 1 : image.bands();
  VImage mapped = image.extract_band(0, VImage::option()->set("n", colours)).maplut(lookup);
  if (colours < image.bands())
    mapped = mapped.bandjoin(image.extract_band(colours));
  return mapped.copy(VImage::option()->set("interpretation", image.interpretation()));
}

// Transparent images go onto white before they are shrunk: a JPEG has no alpha anyway, and flattening
// first spares the resampler its premultiplied floating-point pass, for the same pixels within rounding.
// PNGs that carry only a gamma take this road too: PNG has no shrink-on-load to lose.
VImage flattenedThenShrunk(VImage image, double encodingGamma, int maxSize) {
  if (encodingGamma > 0)
    image = withGammaApplied(image, encodingGamma);
  if (needsColourConversion(image)) {
    // At the image's own depth: the transform casts the alpha band to its output format without scaling
    // it, which would make every 16-bit alpha value above 255 fully opaque in an 8-bit result.
    image = image.icc_transform("srgb", VImage::option()
                                            ->set("embedded", true)
                                            ->set("input_profile", "srgb")
                                            ->set("depth", image.format() == VIPS_FORMAT_USHORT ? 16 : 8));
  }
  image = image.colourspace(isGrey(image) ? VIPS_INTERPRETATION_B_W : VIPS_INTERPRETATION_sRGB);
  if (image.has_alpha())
    image = image.flatten(VImage::option()->set("background", 255.0));
  return image.thumbnail_image(maxSize,
                               VImage::option()->set("height", maxSize)->set("size", VIPS_SIZE_DOWN));
}

// JPEG holds 8-bit grey or sRGB without alpha: transparent areas go onto white, as on a web page.
VImage webReady(VImage image) {
  image = image.colourspace(isGrey(image) ? VIPS_INTERPRETATION_B_W : VIPS_INTERPRETATION_sRGB);
  if (image.has_alpha())
    image = image.flatten(VImage::option()->set("background", 255.0));
  if (image.format() != VIPS_FORMAT_UCHAR)
    image = image.cast(VIPS_FORMAT_UCHAR);
  return image;
}

// Called as the pipeline computes; the kill flag ends the computation with an error.
void watchProgress(VipsImage* computed, VipsProgress*, WorkClock* clock) {
  if (clock->expired())
    vips_image_set_kill(computed, TRUE);
}

// The image's computation ends when the clock runs out.
void watchedBy(VImage& image, WorkClock& clock) {
  vips_image_set_progress(image.get_image(), TRUE);
  g_signal_connect(image.get_image(), "eval", G_CALLBACK(watchProgress), &clock);
}

void saveJpeg(VImage image, vips::VTarget& target, int quality, WorkClock& clock) {
  watchedBy(image, clock);
  image.jpegsave_target(target, VImage::option()
                                    ->set("Q", quality)
                                    ->set("strip", true)
                                    ->set("optimize_coding", true)
                                    ->set("interlace", progressiveJpeg)
                                    ->set("subsample_mode", VIPS_FOREIGN_SUBSAMPLE_ON));
}

StepError decodeFailure(const ImageHeader& header) {
  if (header.cutShort)
    return failure(WorkFailure::cutShort);
  return failure(header.format == ImageFormat::png ? WorkFailure::pngDamaged : WorkFailure::jpegDamaged);
}

// The process cannot open one more file: what made the image work fail, whatever libvips saw.
StepError descriptorsExhausted() {
  const int probe = ::dup(STDERR_FILENO);
  if (probe >= 0) {
    ::close(probe);
    return {};
  }
  return errno == EMFILE || errno == ENFILE ? StepError::ofErrno() : StepError();
}

// The lowest quality at which every AVIF kept (smaller than its JPEG) is at least as close to the source
// as the JPEG, by SSIM over the bench's photographs; it is then about 0.86 of the JPEG's bytes, where
// quality 78 was 0.55 but less close for 19 of its 25. Only the fastest speed keeps a run with AVIF
// within three times one without (bench/README.md). From 90 on, libvips would keep all the chroma.
constexpr int avifQuality = 89;
constexpr int avifEffort = 0;

void saveAvif(VImage image, vips::VTarget& target, WorkClock& clock) {
  watchedBy(image, clock);
  image.heifsave_target(target, VImage::option()
                                    ->set("compression", VIPS_FOREIGN_HEIF_COMPRESSION_AV1)
                                    ->set("Q", avifQuality)
                                    ->set("effort", avifEffort)
                                    // As deep as the pixels are, whatever a libvips' default: Debian 12's AV1
                                    // encoder aborts the whole process on 8-bit pixels saved at 10 bits.
                                    ->set("bitdepth", 8)
                                    ->set("strip", true));
}

// What one image's work writes: its JPEG, its AVIF, or both from one decode.
struct WorkOutputs {
  TempFile* jpeg = nullptr;
  AvifRequest* avif = nullptr;
  std::int64_t maxSize = 0;
  std::int64_t quality = 0;
};

// The AVIF from pixels in hand; its failure is its own.
void writeAvif(const VImage& pixels, AvifRequest& avif, WorkClock& clock) {
  OutputWriting writing{avif.output->descriptor()};
  try {
    vips::VTarget target = targetFor(writing);
    saveAvif(pixels, target, clock);
  } catch (const vips::VError&) {
    vips_error_clear();
    if (const StepError late = clock.failure())
      avif.failure = late;
    else if (const int code = writing.error.load())
      avif.failure =
          failure(WorkFailure::writeFailed, std::error_code(code, std::generic_category()).message());
    else
      avif.failure = StepError::inWords("the AVIF encoder refused the image");
  }
}

StepError work(const SourceFile& input, const ImageHeader& header, const WorkOutputs& outputs,
               const WorkLimits& limits) {
  WorkClock clock(limits, header.inspectionTime);
  SourceReading reading{&input, &clock, header.imageEnd};
  OutputWriting writing{outputs.jpeg ? outputs.jpeg->descriptor() : -1};
  try {
    const vips::VSource source = sourceFor(reading, header.wholeImageDecode);
    // Opened once to learn what the image holds; a transparent image is then shrunk from this same load.
    const VImage described = VImage::new_from_source(
        source, "",
        VImage::option()->set("access", VIPS_ACCESS_SEQUENTIAL)->set("fail_on", VIPS_FAIL_ON_TRUNCATED));
    const int bound = static_cast<int>(outputs.maxSize);
    const bool fromDescribed = described.has_alpha() || header.encodingGamma > 0;
    VImage ready = webReady(fromDescribed ? flattenedThenShrunk(described, header.encodingGamma, bound)
                                          : shrunkUpright(source, described, bound));
    // Decoded here, where a failure is the image's: then the pixels are held for both encodes.
    if (outputs.avif)
      ready = ready.copy_memory();
    if (outputs.jpeg) {
      vips::VTarget target = targetFor(writing);
      saveJpeg(ready, target, static_cast<int>(outputs.quality), clock);
    }
    if (outputs.avif)
      writeAvif(ready, *outputs.avif, clock);
    return {};
  } catch (const vips::VError&) {
    vips_error_clear();
    if (const StepError late = clock.failure())
      return late;
    if (const int error = writing.error.load())
      return failure(WorkFailure::writeFailed, std::error_code(error, std::generic_category()).message());
    // libvips says nothing of why; a process out of descriptors is the system's failure, not the file's.
    if (const StepError exhausted = descriptorsExhausted())
      return exhausted;
    return decodeFailure(header);
  }
}

}  // namespace

std::string imageLibraryVersion() {
  return std::to_string(vips_version(0)) + "." + std::to_string(vips_version(1)) + "." +
         std::to_string(vips_version(2));
}

StepError startImageLibrary() {
  static std::once_flag once;
  static std::string problem;
  std::call_once(once, [] {
    if (VIPS_INIT("tarvolin") != 0) {
      problem = vips_error_buffer();
      vips_error_clear();
      if (problem.empty())
        problem = "unknown reason";
      return;
    }
    vips_cache_set_max(0);  // every file is different
    // Only the two decoders this program needs may ever run, whatever a file's bytes claim to be: the
    // others (PDF, SVG, TIFF, ...) are more code for a hostile file to reach.
    vips_operation_block_set("VipsForeignLoad", TRUE);
    vips_operation_block_set("VipsForeignLoadJpegSource", FALSE);
    vips_operation_block_set("VipsForeignLoadPngSource", FALSE);
    // A damaged file is reported on its own line in the log; libvips' warnings on stderr would only
    // repeat it where no user looks.
    g_log_set_handler(
        "VIPS", G_LOG_LEVEL_WARNING, [](const gchar*, GLogLevelFlags, const gchar*, gpointer) {}, nullptr);
  });
  if (!problem.empty())
    return StepError::inWords("The image library could not be started: " + problem);
  return {};
}

void setThreadsPerImage(int threads) {
  vips_concurrency_set(std::max(1, threads));
}

StepError reencodeImage(const SourceFile& input, const ImageHeader& header, TempFile& output,
                        std::int64_t maxSize, std::int64_t quality, const WorkLimits& limits) {
  return work(input, header, {.jpeg = &output, .avif = nullptr, .maxSize = maxSize, .quality = quality},
              limits);
}

StepError reencodeImageWithAvif(const SourceFile& input, const ImageHeader& header, TempFile& output,
                                AvifRequest& avif, std::int64_t maxSize, std::int64_t quality,
                                const WorkLimits& limits) {
  return work(input, header, {.jpeg = &output, .avif = &avif, .maxSize = maxSize, .quality = quality},
              limits);
}

StepError avifOfImage(const SourceFile& input, const ImageHeader& header, TempFile& output,
                      std::int64_t maxSize, const WorkLimits& limits) {
  AvifRequest avif{.output = &output, .failure = {}};
  if (const StepError error =
          work(input, header, {.jpeg = nullptr, .avif = &avif, .maxSize = maxSize, .quality = 0}, limits))
    return error;
  return avif.failure;
}

std::uint64_t memoryToEncodeAvif(std::int64_t width, std::int64_t height) {
  // The AV1 encoder's frames and its analysis of them, and the pixels held in memory for both encodes:
  // above what bench/avif measures for outputs of 0.1 to 3.7 megapixels, by 4 % at 1920 x 1920
  // (bench/README.md).
  const auto pixels =
      static_cast<std::uint64_t>(std::max<std::int64_t>(width, 1) * std::max<std::int64_t>(height, 1));
  return (12ULL << 20) + pixels * 20;
}
