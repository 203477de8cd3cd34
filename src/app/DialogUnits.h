#pragma once

#include <QFont>
#include <QRect>
#include <QSize>

namespace varnel {

// Converts dialog-template coordinates to pixels the way the Windows dialog
// manager does: horizontal units are a quarter of the average character
// width, vertical units an eighth of the character height, both measured on
// the dialog's template font.
class DialogUnits {
public:
    explicit DialogUnits(const QFont& templateFont);
    explicit DialogUnits(QSize baseUnits);

    QSize baseUnits() const { return base; }
    QRect toPixels(int left, int top, int width, int height) const;
    QSize toPixels(int width, int height) const;

    // a * b / c rounded to the nearest integer, halves away from zero.
    static int mulDiv(int a, int b, int c);

private:
    QSize base;
};

} // namespace varnel
