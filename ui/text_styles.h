#pragma once

#include <QColor>
#include <QFont>

class QPalette;

// The named text styles of the window, derived from the desktop's application font so that a larger
// desktop font scales the whole window with it.
enum class TextStyle { title2Bold, subheadlineBold, callout, caption, captionMonospaced };

QFont styledFont(TextStyle style, const QFont& base);

// De-emphasised text: the primary text colour at reduced opacity, the way desktop themes draw
// secondary labels. Derived from the given primary colour rather than taken from a separate palette
// role, so that it can never clash with a theme (dark or light) that leaves such a role unset.
QColor secondaryTextColor(const QColor& primary);

// Text that warns of a problem: an orange red, as dark as it must be on a light background (as light
// on a dark one) to read at 4.5:1 on `background`, which comes from the theme's palette. The words say
// what went wrong; the colour only draws the eye to them.
QColor warningTextColor(const QColor& background);
