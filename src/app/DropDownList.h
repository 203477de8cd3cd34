#pragma once

#include <QComboBox>

namespace varnel {

// A drop-down list whose open list stays inside the dialog's window: the
// styles open it below the field or centred on the chosen entry, so a list
// low in the window, or a long one, would reach past its bottom edge.
class DropDownList : public QComboBox {
    Q_OBJECT
public:
    explicit DropDownList(QWidget* parent = nullptr);

    void showPopup() override;
};

} // namespace varnel
