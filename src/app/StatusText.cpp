#include "app/StatusText.h"

#include <QPainter>
#include <QRegularExpression>
#include <QStyle>

#include <algorithm>

namespace varnel {

namespace {

constexpr int kFlags = Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap;
// Longer than a line, a path must break somewhere after all.
constexpr qsizetype kLongestWholePath = 80;
const QChar kWordJoiner(0x2060);

} // namespace

StatusText::StatusText(QWidget* parent) : QLabel(parent)
{
    setTextFormat(Qt::PlainText);
    setWordWrap(true);
}

QString StatusText::shownText() const
{
    // The line breaker may break after '-' and '/'; inside a file name that
    // reads as two names. A word joiner after each keeps the name in one piece.
    static const QRegularExpression path(R"([^\s]*[/\\][^\s]*)");
    QString shown = text();
    qsizetype offset = 0;
    for (const QRegularExpressionMatch& match : path.globalMatch(text())) {
        if (match.capturedLength() > kLongestWholePath)
            continue;
        QString joined;
        for (const QChar c : match.captured()) {
            joined += c;
            if (c == '-' || c == '/' || c == '\\')
                joined += kWordJoiner;
        }
        shown.replace(match.capturedStart() + offset, match.capturedLength(), joined);
        offset += joined.size() - match.capturedLength();
    }
    return shown;
}

int StatusText::heightForWidth(int width) const
{
    const QMargins margins = contentsMargins();
    const int inner = std::max(1, width - margins.left() - margins.right());
    return fontMetrics().boundingRect(QRect(0, 0, inner, 1 << 20), kFlags, shownText()).height() +
           margins.top() + margins.bottom();
}

void StatusText::paintEvent(QPaintEvent*)
{
    const QRect area = contentsRect();
    const int needed = heightForWidth(width()) - (height() - area.height());
    int hidden = 0;
    if ((alignment() & Qt::AlignBottom) && needed > area.height()) {
        // Whole lines only: the lines scrolled out are a multiple of the line pitch.
        const int pitch = std::max(1, fontMetrics().lineSpacing());
        hidden = (needed - area.height() + pitch - 1) / pitch * pitch;
    }
    QPainter painter(this);
    style()->drawItemText(
        &painter, QRect(area.left(), area.top() - hidden, area.width(), std::max(needed, area.height())),
        kFlags, palette(), isEnabled(), shownText(), foregroundRole());
}

} // namespace varnel
