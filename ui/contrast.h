#pragma once

#include <QColor>
#include <QPalette>

// How well one colour stands out from another, as the accessibility guidelines measure it: text needs
// 4.5:1 against what it is drawn on, a focus ring 3:1.

// The contrast ratio of two opaque colours, from 1 (the same) to 21 (black and white).
double contrastRatio(const QColor& first, const QColor& second);

constexpr double textContrast = 4.5;
constexpr double focusRingContrast = 3.0;

// Text that warns of a problem: an orange red, as dark as it must be on a light background (as light on
// a dark one) to read at 4.5:1 on `background`, which comes from the theme. The words say what went
// wrong; the colour only draws the eye to them.
QColor warningTextColor(const QColor& background);

// The theme's de-emphasised text (its placeholder colour), moved towards the window's text colour as far
// as it must go to read at 4.5:1 on the window.
QColor secondaryTextColor(const QPalette& palette);
