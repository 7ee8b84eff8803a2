#pragma once

#include <cstdint>
#include <string>

#include "image_header.h"
#include "source_file.h"
#include "step_error.h"
#include "temp_file.h"
#include "work_clock.h"

// The version of what reencodeImage writes for the same image and limits: raised whenever a change of
// the encoding (its options, colours, metadata) should make a re-run redo outputs made before it.
inline constexpr int encodingVersion = 1;

// "8.14.1": the libvips this process runs on.
std::string imageLibraryVersion();

// Starts libvips once per process: only its JPEG and PNG decoders may run, its operation cache is off,
// and its warnings stay out of the terminal. Fails when libvips cannot start.
StepError startImageLibrary();

// How many threads libvips gives each image: with as many images at once as there are processors, one
// each, as a second would only wait for a processor and cost its hand-over (bench/README.md).
void setThreadsPerImage(int threads);

// The image work: writes the image in `input` (inspected as `header`) into `output` as a JPEG that fits
// within maxSize x maxSize pixels and is never enlarged, at `quality`: upright, in sRGB (or grey), on
// white where it was transparent, without metadata. Fails, in plain words, when the image cannot be
// decoded, takes too long (the time its inspection took counts), or cannot be written.
StepError reencodeImage(const SourceFile& input, const ImageHeader& header, TempFile& output,
                        std::int64_t maxSize, std::int64_t quality, const WorkLimits& limits);

// The AVIF beside a JPEG, asked of the image work with it: where it goes, and why none was written.
struct AvifRequest {
  TempFile* output = nullptr;
  StepError failure;
};

// As reencodeImage, and from the very pixels its JPEG is made of, in the same pass, an AVIF into
// `avif.output` (sRGB, no metadata). An AVIF that cannot be made fails on its own, in `avif.failure`: the
// JPEG stands without it.
StepError reencodeImageWithAvif(const SourceFile& input, const ImageHeader& header, TempFile& output,
                                AvifRequest& avif, std::int64_t maxSize, std::int64_t quality,
                                const WorkLimits& limits);

// The AVIF of a JPEG that is copied unchanged, shrunk as a re-encode would be.
StepError avifOfImage(const SourceFile& input, const ImageHeader& header, TempFile& output,
                      std::int64_t maxSize, const WorkLimits& limits);

// The memory an AVIF encode of an image of this size takes beside its pixels (the AV1 encoder's own).
std::uint64_t memoryToEncodeAvif(std::int64_t width, std::int64_t height);
