#pragma once

#include <chrono>
#include <cstdint>
#include <stop_token>

#include "image_header.h"
#include "source_file.h"
#include "step_error.h"
#include "temp_file.h"

// How long one image may take, and what a stop of the run does to it.
struct WorkLimits {
  // Time the image work may take in all, decoding included.
  std::chrono::steady_clock::duration budget = std::chrono::seconds(60);
  // Once the run is asked to stop, an image in hand may take this much longer before it is given up.
  std::chrono::steady_clock::duration stopGrace = std::chrono::seconds(5);
  std::stop_token stop;
};

// Starts libvips once per process: only its JPEG and PNG decoders may run, its operation cache is off,
// and its warnings stay out of the terminal. Fails when libvips cannot start.
StepError startImageLibrary();

// The image work: writes the image in `input` (inspected as `header`) into `output` as a JPEG that fits
// within maxSize x maxSize pixels and is never enlarged, at `quality`: upright, in sRGB (or grey), on
// white where it was transparent, without metadata. Fails, in plain words, when the image cannot be
// decoded, takes too long, or cannot be written.
StepError reencodeImage(const SourceFile& input, const ImageHeader& header, TempFile& output,
                        std::int64_t maxSize, std::int64_t quality, const WorkLimits& limits);
