#pragma once

#include <QColor>
#include <QPalette>

// Contrast as the accessibility guidelines measure it: text needs 4.5:1 on its background, a focus ring 3:1.
constexpr double textContrast = 4.5;
constexpr double focusRingContrast = 3.0;

// From 1 (the same colour) to 21 (black and white), for opaque colours.
double contrastRatio(const QColor& first, const QColor& second);

// Text that warns of a problem: an orange red, darker on a light `background` (lighter on a dark one) as
// far as it must go to read at 4.5:1. The words say what went wrong; the colour only draws the eye.
QColor warningTextColor(const QColor& background);

// The theme's de-emphasised text (its placeholder colour), moved towards the window's text colour as far
// as it must go to read at 4.5:1 on the window.
QColor secondaryTextColor(const QPalette& palette);
