#pragma once

#include <cstdint>
#include <filesystem>

// Images generated into test folders. Noise makes a PNG large (no compression to speak of) while the
// JPEG of it stays much smaller, so the engine converts it.
void writeLargePng(const std::filesystem::path& file, int side = 640);
void writeSmallJpeg(const std::filesystem::path& file);
// A file with an image extension that no decoder accepts, at least `bytes` large.
void writeBrokenImage(const std::filesystem::path& file, std::uint64_t bytes);
