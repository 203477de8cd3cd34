#pragma once

#include "app/DialogUnits.h"

#include <QFont>

#include <vector>

class QComboBox;
class QDialog;
class QLabel;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QWidget;

namespace varnel {

class RuntimeChart;
class VarnelStatic;

// The dialog template: the one set of controls all pages share, placed in
// dialog units of the template's font. Which of them a page shows, and what
// they say, is the page machine's business.
class DialogLayout {
public:
    static constexpr int rows = 3;             // pack rows on page 4
    static constexpr int quantityEntries = 10; // "0" to "9" in each quantity list

    // Creates the controls as children of the dialog and fixes its size.
    explicit DialogLayout(QDialog& dialog);

    const DialogUnits& getDialogUnits() const { return units; }
    const QFont& getFont() const { return font; }

    // Hides every control but the side panel and disables Back and Next.
    void resetControls();
    // Gives the main text the height its text needs, down to the first control shown below it.
    void fitMainText();
    // Widens a radio button to its caption, never past the dialog's right margin.
    static void fitCaption(QRadioButton* radio);
    // Shows the runtime chart in its place on page 4 (between the text and the
    // pack rows) or page 5 (below the status lines); resetControls hides it.
    void showRuntimeChart(int page);
    void hideRuntimeChart();
    // Every control a page may show, in screen order (top to bottom, left to
    // right), which is also the order Tab walks them.
    std::vector<QWidget*> controlsInScreenOrder() const;

    VarnelStatic* sidePanel = nullptr;
    QLabel* mainText = nullptr;
    QRadioButton* httpChoice = nullptr;
    QRadioButton* ftpChoice = nullptr;
    QRadioButton* localFileChoice = nullptr;
    std::vector<QComboBox*> quantityCombos;
    std::vector<QComboBox*> typeCombos;
    QComboBox* deviceCombo = nullptr;
    QPushButton* internalOnlyButton = nullptr;
    QPushButton* backButton = nullptr;
    QPushButton* nextButton = nullptr;
    QPushButton* cancelButton = nullptr;
    QProgressBar* busyIndicator = nullptr;
    RuntimeChart* runtimeChart = nullptr;

private:
    // Moves the chart below the text the main text area needs, or leaves it out when too little room is left.
    void fitRuntimeChart(int textBottom);

    QFont font;
    DialogUnits units;
    int chartPage = 0; // the page whose place the chart takes; 0 while it is not wanted
};

} // namespace varnel
