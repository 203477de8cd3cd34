#include "app/StatusText.h"

#include <QPainter>
#include <QStyle>

#include <algorithm>

namespace varnel {

StatusText::StatusText(QWidget* parent) : QLabel(parent)
{
    setTextFormat(Qt::PlainText);
    setWordWrap(true);
}

void StatusText::paintEvent(QPaintEvent* event)
{
    const QRect area = contentsRect();
    const int needed = heightForWidth(width()) - (height() - area.height());
    if (!(alignment() & Qt::AlignBottom) || needed <= area.height()) {
        QLabel::paintEvent(event);
        return;
    }
    // Whole lines only: the lines scrolled out are a multiple of the line pitch.
    const int pitch = std::max(1, fontMetrics().lineSpacing());
    const int hidden = (needed - area.height() + pitch - 1) / pitch * pitch;
    QPainter painter(this);
    style()->drawItemText(&painter, QRect(area.left(), area.top() - hidden, area.width(), needed),
                          Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, palette(), isEnabled(), text(),
                          foregroundRole());
}

} // namespace varnel
