#pragma once

#include <QColor>

#include "contrast.h"

class QPainter;
class QRectF;

// The keyboard focus mark of the window's own controls: a ring drawn inside the control. Its colour
// stands out from what it is drawn on by at least 3:1, the contrast that a focus indicator needs to be
// seen with low vision, whatever colours the theme, light or dark, gives the control.

// `preferred` where it stands out from `background` enough; otherwise black or white, whichever
// stands out more.
QColor focusMarkColor(const QColor& preferred, const QColor& background);

void paintFocusMark(QPainter& painter, const QRectF& ring, const QColor& color);
