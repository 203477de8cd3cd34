#include "app/DialogUnits.h"

#include <QFontMetrics>

#include <algorithm>
#include <cstdint>

namespace varnel {

namespace {

constexpr const char* kAlphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";

QSize measure(const QFont& font)
{
    QFontMetrics metrics(font);
    // The alphabet's width over 26 letters, rounded, as the dialog manager averages it.
    int width = (metrics.horizontalAdvance(QString::fromLatin1(kAlphabet)) / 26 + 1) / 2;
    return QSize(std::max(width, 1), std::max(metrics.height(), 1));
}

} // namespace

DialogUnits::DialogUnits(const QFont& templateFont) : base(measure(templateFont)) {}

DialogUnits::DialogUnits(QSize baseUnits)
    : base(std::max(baseUnits.width(), 1), std::max(baseUnits.height(), 1))
{
}

int DialogUnits::mulDiv(int a, int b, int c)
{
    if (c == 0)
        return -1;
    std::int64_t product = static_cast<std::int64_t>(a) * b;
    std::int64_t half = (c < 0 ? -c : c) / 2;
    std::int64_t rounded = product < 0 ? product - half : product + half;
    return static_cast<int>(rounded / c);
}

QRect DialogUnits::toPixels(int left, int top, int width, int height) const
{
    return QRect(mulDiv(left, base.width(), 4), mulDiv(top, base.height(), 8), mulDiv(width, base.width(), 4),
                 mulDiv(height, base.height(), 8));
}

QSize DialogUnits::toPixels(int width, int height) const
{
    return QSize(mulDiv(width, base.width(), 4), mulDiv(height, base.height(), 8));
}

} // namespace varnel
