#pragma once

#include <QPlainTextEdit>

#include <cstdint>

namespace varnel {

// The read-only side panel: white text on dark blue across the whole panel,
// including the area below the last line. Colours are 0x00BBGGRR values.
class VarnelStatic : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit VarnelStatic(QWidget* parent = nullptr);

    void setBackgroundColour(std::uint32_t colour);
    void setTextColour(std::uint32_t colour);
    std::uint32_t getBackgroundColour() const { return backgroundColour; }
    std::uint32_t getTextColour() const { return textColour; }

    static QColor toQColor(std::uint32_t colour);

private:
    void applyColours();

    std::uint32_t textColour = 0x00FFFFFF;
    std::uint32_t backgroundColour = 0x00880000;
};

} // namespace varnel
