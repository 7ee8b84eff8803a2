#pragma once

#include <QColor>
#include <QList>

// How well one colour stands out from another, as the accessibility guidelines measure it: text needs
// 4.5:1 against what it is drawn on, a focus mark 3:1.

// The contrast ratio of two opaque colours, from 1 (the same) to 21 (black and white).
double contrastRatio(const QColor& first, const QColor& second);

constexpr double textContrast = 4.5;
constexpr double focusMarkContrast = 3.0;

// `preferred` (made opaque) where it stands out from each of `backgrounds` by `minimum`; otherwise black
// or white, whichever stands out more from the least favourable of them.
QColor legibleColor(const QColor& preferred, const QList<QColor>& backgrounds, double minimum);
