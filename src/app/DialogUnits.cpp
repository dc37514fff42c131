#include "DialogUnits.h"

#include <QFontMetrics>

namespace {

int MulDiv(int number, int numerator, int denominator) {
    const long long product = static_cast<long long>(number) * numerator;
    const long long half = denominator / 2;
    return static_cast<int>(product >= 0 ? (product + half) / denominator
                                         : (product - half) / denominator);
}

} // namespace

DialogBaseUnits BaseUnitsOf(const QFont& font) {
    // The dialog manager's own measure: the alphabet twice over, halved and rounded.
    const QFontMetrics metrics(font);
    const int width = metrics.horizontalAdvance(
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    return DialogBaseUnits{(width / 26 + 1) / 2, metrics.height()};
}

int DialogUnitsToPixelsX(const DialogBaseUnits& units, int x) {
    return MulDiv(x, units.cx, 4);
}

int DialogUnitsToPixelsY(const DialogBaseUnits& units, int y) {
    return MulDiv(y, units.cy, 8);
}

QRect DialogRect(const DialogBaseUnits& units, int x, int y, int w, int h) {
    return QRect(DialogUnitsToPixelsX(units, x), DialogUnitsToPixelsY(units, y),
                 DialogUnitsToPixelsX(units, w), DialogUnitsToPixelsY(units, h));
}

QSize DialogSize(const DialogBaseUnits& units, int w, int h) {
    return QSize(DialogUnitsToPixelsX(units, w), DialogUnitsToPixelsY(units, h));
}

QFont DialogFont() {
    QFont font(QStringLiteral("MS Sans Serif"), 8);
    font.setStyleHint(QFont::SansSerif);
    font.setWeight(QFont::Normal);
    font.setItalic(false);
    return font;
}
