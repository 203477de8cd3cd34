#include "app/VarnelStatic.h"

namespace varnel {

VarnelStatic::VarnelStatic(QWidget* parent) : QPlainTextEdit(parent)
{
    setReadOnly(true);
    setFrameShape(QFrame::NoFrame);
    setFocusPolicy(Qt::NoFocus);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setTextInteractionFlags(Qt::NoTextInteraction);
    applyColours();
}

QColor VarnelStatic::toQColor(std::uint32_t colour)
{
    return QColor(colour & 0xFF, (colour >> 8) & 0xFF, (colour >> 16) & 0xFF);
}

void VarnelStatic::setBackgroundColour(std::uint32_t colour)
{
    backgroundColour = colour;
    applyColours();
}

void VarnelStatic::setTextColour(std::uint32_t colour)
{
    textColour = colour;
    applyColours();
}

void VarnelStatic::applyColours()
{
    QPalette pal = palette();
    for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        pal.setColor(group, QPalette::Base, toQColor(backgroundColour));
        pal.setColor(group, QPalette::Window, toQColor(backgroundColour));
        pal.setColor(group, QPalette::Text, toQColor(textColour));
    }
    setPalette(pal);
    viewport()->setAutoFillBackground(true);
    setAutoFillBackground(true);
    viewport()->update();
}

} // namespace varnel
