#include "icc_profile.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <optional>

namespace {

std::uint32_t bigEndian(std::string_view bytes, std::size_t at, int count) {
  std::uint32_t value = 0;
  for (int i = 0; i < count; ++i)
    value = value << 8 | static_cast<unsigned char>(bytes[at + static_cast<std::size_t>(i)]);
  return value;
}

double s15Fixed16(std::string_view bytes, std::size_t at) {
  return static_cast<std::int32_t>(bigEndian(bytes, at, 4)) / 65536.0;
}

// A tag's data, or nothing where the profile does not hold it whole.
std::optional<std::string_view> tag(std::string_view profile, std::string_view signature) {
  if (profile.size() < 132)
    return std::nullopt;
  const std::uint32_t count = bigEndian(profile, 128, 4);
  for (std::uint32_t i = 0; i < count && 132 + 12 * (i + 1) <= profile.size(); ++i) {
    const std::size_t entry = 132 + 12 * static_cast<std::size_t>(i);
    if (profile.substr(entry, 4) != signature)
      continue;
    const std::uint32_t offset = bigEndian(profile, entry + 4, 4);
    const std::uint32_t size = bigEndian(profile, entry + 8, 4);
    if (offset > profile.size() || size > profile.size() - offset)
      return std::nullopt;
    return profile.substr(offset, size);
  }
  return std::nullopt;
}

// sRGB's primaries as an ICC profile holds them, adapted to the D50 white of the profile connection
// space. Profiles of sRGB round them differently, by up to 0.0003; 0.0005 takes them all and is far
// from any other space's primaries.
constexpr std::array<std::pair<const char*, std::array<double, 3>>, 3> srgbColorants{{
    {"rXYZ", {0.4360747, 0.2225045, 0.0139322}},
    {"gXYZ", {0.3850649, 0.7168786, 0.0971045}},
    {"bXYZ", {0.1430804, 0.0606169, 0.7141733}},
}};

bool hasSrgbColorant(std::string_view profile, const char* signature, const std::array<double, 3>& xyz) {
  const std::optional<std::string_view> data = tag(profile, signature);
  if (!data || data->size() < 20 || data->substr(0, 4) != "XYZ ")
    return false;
  for (std::size_t i = 0; i < 3; ++i) {
    if (std::abs(s15Fixed16(*data, 8 + 4 * i) - xyz[i]) > 0.0005)
      return false;
  }
  return true;
}

// A tone curve at a stored value x (0 to 1): the linear light it stands for. A table ('curv', linear
// between its entries) or one of the ICC's five functions ('para'); none for a curve of fewer than two
// entries, which is no curve or a plain gamma, not sRGB's.
std::optional<double> linearOf(std::string_view curve, double x) {
  if (curve.size() >= 12 && curve.substr(0, 4) == "curv") {
    const std::uint32_t count = bigEndian(curve, 8, 4);
    if (count < 2 || curve.size() < 12 + 2ULL * count)
      return std::nullopt;
    const auto entry = [&](std::size_t i) { return bigEndian(curve, 12 + 2 * i, 2) / 65535.0; };
    const double at = x * (count - 1);
    const auto below = std::min<std::size_t>(static_cast<std::size_t>(at), count - 2);
    return entry(below) + (at - static_cast<double>(below)) * (entry(below + 1) - entry(below));
  }
  constexpr std::array<std::size_t, 5> parameters{1, 3, 4, 5, 7};
  if (curve.size() < 12 || curve.substr(0, 4) != "para")
    return std::nullopt;
  const std::uint32_t type = bigEndian(curve, 8, 2);
  if (type >= parameters.size() || curve.size() < 12 + 4 * parameters[type])
    return std::nullopt;
  std::array<double, 7> p{};
  for (std::size_t i = 0; i < parameters[type]; ++i)
    p[i] = s15Fixed16(curve, 12 + 4 * i);
  const double g = p[0], a = p[1], b = p[2];
  switch (type) {
    case 0:
      return std::pow(x, g);
    case 1:
      return x >= -b / a ? std::pow(a * x + b, g) : 0.0;
    case 2:
      return x >= -b / a ? std::pow(a * x + b, g) + p[3] : p[3];
    case 3:
      return x >= p[4] ? std::pow(a * x + b, g) : p[3] * x;
    default:
      return x >= p[4] ? std::pow(a * x + b, g) + p[5] : p[3] * x + p[6];
  }
}

double srgbEncoded(double linear) {
  return linear <= 0.0031308 ? 12.92 * linear : 1.055 * std::pow(linear, 1 / 2.4) - 0.055;
}

// Every 8-bit value taken through the curve and back through sRGB's lands on itself after rounding.
bool hasSrgbToneCurve(std::string_view profile, const char* signature) {
  const std::optional<std::string_view> curve = tag(profile, signature);
  if (!curve)
    return false;
  for (int level = 0; level <= 255; ++level) {
    const std::optional<double> linear = linearOf(*curve, level / 255.0);
    if (!linear || !std::isfinite(*linear) || std::abs(srgbEncoded(*linear) * 255 - level) >= 0.5)
      return false;
  }
  return true;
}

}  // namespace

bool describesSrgb(std::string_view profile) {
  if (profile.size() < 132 || profile.substr(16, 4) != "RGB " || profile.substr(20, 4) != "XYZ ")
    return false;
  // Tables that describe the conversion would be taken instead of the primaries and curves.
  for (const char* table : {"A2B0", "A2B1", "A2B2", "D2B0", "D2B1", "D2B2"}) {
    if (tag(profile, table))
      return false;
  }
  for (const auto& [signature, xyz] : srgbColorants) {
    if (!hasSrgbColorant(profile, signature, xyz))
      return false;
  }
  for (const char* curve : {"rTRC", "gTRC", "bTRC"}) {
    if (!hasSrgbToneCurve(profile, curve))
      return false;
  }
  return true;
}
