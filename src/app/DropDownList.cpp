#include "app/DropDownList.h"

#include <QAbstractItemView>

#include <algorithm>

namespace varnel {

DropDownList::DropDownList(QWidget* parent) : QComboBox(parent) {}

void DropDownList::showPopup()
{
    const QWidget* dialog = window();
    const QRect inside(dialog->mapToGlobal(QPoint(0, 0)), dialog->size());
    // As many entries as the window's height holds, less the list's frame.
    const int rowHeight = view()->sizeHintForRow(0);
    if (rowHeight > 0)
        setMaxVisibleItems(std::max(1, (inside.height() - 2 * rowHeight) / rowHeight));
    QComboBox::showPopup();

    QWidget* popup = view()->window();
    QRect place = popup->geometry();
    place.setHeight(std::min(place.height(), inside.height()));
    if (place.bottom() > inside.bottom())
        place.moveBottom(inside.bottom());
    if (place.top() < inside.top())
        place.moveTop(inside.top());
    if (place != popup->geometry())
        popup->setGeometry(place);
}

} // namespace varnel
