#pragma once

#include <filesystem>
#include <string_view>
#include <system_error>

// Filling a file that already exists (a fresh temporary file) with bytes. Plain system calls rather than
// streams or std::filesystem::copy_file, so that a failure carries the system's own reason ("No space
// left on device") instead of a generic input/output error.

// Copies the bytes and the permission bits of `source`.
std::error_code copyFileContents(const std::filesystem::path& source, const std::filesystem::path& destination);
std::error_code writeFileContents(const std::filesystem::path& destination, std::string_view bytes);
