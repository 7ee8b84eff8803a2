#pragma once

#include <string_view>

// Whether an embedded ICC profile says no more than "sRGB": an RGB matrix profile with sRGB's primaries
// and tone curves, and no tables that a colour engine would take instead. Converting from it to sRGB
// changes no pixel value by rounding, so that work can be left out; the many photos that carry the
// standard sRGB profile then cost what those without a profile do.
bool describesSrgb(std::string_view profile);
