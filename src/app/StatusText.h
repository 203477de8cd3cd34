#pragma once

#include <QLabel>

namespace varnel {

// The plain static text of the pages' status and progress. When bottom
// aligned and taller than its place, it shows its newest lines, whole, and
// drops the oldest: QLabel alone stops laying out lines at its lower edge,
// so it would show the oldest lines and cut the newest.
class StatusText : public QLabel {
    Q_OBJECT
public:
    explicit StatusText(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
};

} // namespace varnel
