#pragma once

#include <QFont>
#include <QRect>
#include <QSize>

// Dialog units as the Windows dialog manager maps them: x in quarters of the
// font's average character width, y in eighths of its character height. The
// layout then keeps its proportions at any font size or screen scale.
struct DialogBaseUnits {
    int cx = 0; // average character width in pixels
    int cy = 0; // character height in pixels
};

DialogBaseUnits BaseUnitsOf(const QFont& font);

// Rounds to nearest like MulDiv.
int DialogUnitsToPixelsX(const DialogBaseUnits& units, int x);
int DialogUnitsToPixelsY(const DialogBaseUnits& units, int y);
QRect DialogRect(const DialogBaseUnits& units, int x, int y, int w, int h);
QSize DialogSize(const DialogBaseUnits& units, int w, int h);

// The font of both templates: "MS Sans Serif" 8 point, or the closest sans face.
QFont DialogFont();
