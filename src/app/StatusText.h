#pragma once

#include <QLabel>

namespace varnel {

// The plain static text of the pages' status and progress. When bottom
// aligned and taller than its place, it shows its newest lines, whole, and
// drops the oldest: QLabel alone stops laying out lines at its lower edge,
// so it would show the oldest lines and cut the newest. A path in a line
// (a backup's name) is kept whole, on a line of its own when need be.
class StatusText : public QLabel {
    Q_OBJECT
public:
    explicit StatusText(QWidget* parent = nullptr);

    int heightForWidth(int width) const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    // The text as drawn: the same characters, with no line break allowed inside a path.
    QString shownText() const;
};

} // namespace varnel
