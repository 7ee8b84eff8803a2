#pragma once

#include <cstdint>
#include <filesystem>

// Images generated into test folders. Noise makes a PNG large (it hardly compresses) while its JPEG
// stays much smaller, so the engine converts it.
void writeLargePng(const std::filesystem::path& file);
void writeSmallJpeg(const std::filesystem::path& file);
// A file with an image extension that no decoder accepts.
void writeBrokenImage(const std::filesystem::path& file, std::uint64_t bytes);
void writeText(const std::filesystem::path& file, const char* text);
