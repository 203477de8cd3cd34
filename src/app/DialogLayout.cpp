#include "app/DialogLayout.h"

#include "app/DropDownList.h"
#include "app/StatusText.h"
#include "app/VarnelStatic.h"
#include "chart/RuntimeChart.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>

#include <algorithm>

namespace varnel {

namespace {

constexpr int kDialogWidth = 600;
constexpr int kDialogHeight = 300;

struct ControlPlace {
    const char* id;
    int left, top, width, height;
};

// The dialog template, in dialog units: left, top, width, height. The
// drop-down lists take the height their font needs.
constexpr ControlPlace kSidePanel{"1004", 0, 0, 198, 300};
constexpr ControlPlace kMainText{"1005", 210, 6, 378, 118};
constexpr ControlPlace kHttpChoice{"1006", 240, 150, 134, 10};
constexpr ControlPlace kFtpChoice{"1007", 240, 180, 132, 10};
constexpr ControlPlace kLocalChoice{"1008", 239, 179, 136, 13};
constexpr ControlPlace kQuantityCombos[DialogLayout::rows] = {
    {"1016", 210, 138, 30, 12}, {"1018", 210, 168, 30, 12}, {"1019", 210, 198, 30, 12}};
constexpr ControlPlace kTypeCombos[DialogLayout::rows] = {
    {"1017", 252, 138, 270, 12}, {"1020", 252, 168, 270, 12}, {"1021", 252, 198, 270, 12}};
constexpr ControlPlace kDeviceCombo{"1022", 210, 150, 312, 12};
constexpr ControlPlace kInternalOnly{"1009", 204, 270, 132, 18};
constexpr ControlPlace kBack{"1002", 342, 270, 78, 18};
constexpr ControlPlace kNext{"1001", 426, 270, 78, 18};
constexpr ControlPlace kCancel{"1000", 510, 270, 78, 18};
// Not in the template: a thin bar above the buttons while a blocking step runs.
constexpr ControlPlace kBusyIndicator{"busyIndicator", 210, 256, 378, 7};
// Not in the template either: the runtime chart, in room the pages leave free.
// On page 4 it sits between the unit's description and the pack rows, on page
// 5 below the status lines; the text keeps priority over it on both.
constexpr ControlPlace kChartPage4{"runtimeChart", 210, 60, 378, 74};
constexpr ControlPlace kChartPage5{"runtimeChart", 210, 128, 378, 124};
constexpr int kChartPointSize = 7;
// Below this the plot area is too small to read.
constexpr int kChartMinimumHeight = 48;
// Between the main text and a control below it.
constexpr int kTextGap = 4;

// The template's font sets the dialog units; every control then gets the
// bold face. Where the Windows faces are missing, fontconfig's
// metric-compatible substitutes stand in.
QFont templateFont()
{
    QFont::insertSubstitutions("MS Shell Dlg",
                               {"Tahoma", "Microsoft Sans Serif", "Liberation Sans", "Arial"});
    QFont result("MS Shell Dlg");
    result.setPointSize(8);
    result.setStyleHint(QFont::SansSerif);
    return result;
}

QFont controlFont()
{
    QFont result("Arial");
    result.setPointSize(10);
    result.setWeight(QFont::Bold);
    result.setStyleHint(QFont::SansSerif);
    return result;
}

} // namespace

DialogLayout::DialogLayout(QDialog& dialog) : font(controlFont()), units(templateFont())
{
    dialog.setFont(font);
    auto place = [this](QWidget* widget, const ControlPlace& where) {
        widget->setObjectName(where.id);
        widget->setGeometry(units.toPixels(where.left, where.top, where.width, where.height));
        widget->setFont(font);
    };
    // Drop-down lists and radio buttons are never cut below what their text needs.
    auto atLeastHint = [](QWidget* widget) {
        widget->resize(widget->width(), std::max(widget->height(), widget->sizeHint().height()));
    };

    sidePanel = new VarnelStatic(&dialog);
    place(sidePanel, kSidePanel);
    mainText = new StatusText(&dialog);
    mainText->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    place(mainText, kMainText);

    httpChoice = new QRadioButton("Download Via HTTP", &dialog);
    place(httpChoice, kHttpChoice);
    ftpChoice = new QRadioButton("Download Via FTP", &dialog);
    place(ftpChoice, kFtpChoice);
    localFileChoice = new QRadioButton("Use Local File", &dialog);
    place(localFileChoice, kLocalChoice);
    auto* group = new QButtonGroup(&dialog);
    for (QRadioButton* radio : {httpChoice, ftpChoice, localFileChoice}) {
        group->addButton(radio);
        atLeastHint(radio);
    }
    // Their captions come from the message file and are set later; let them
    // grow to the dialog's right margin rather than cut the text.
    const int rightMargin = units.toPixels(kDialogWidth - 12, 0).width();
    for (QRadioButton* radio : {httpChoice, ftpChoice, localFileChoice})
        radio->setProperty("maxWidth", rightMargin - radio->x());

    for (int row = 0; row < rows; ++row) {
        auto* quantity = new DropDownList(&dialog);
        place(quantity, kQuantityCombos[row]);
        atLeastHint(quantity);
        quantityCombos.push_back(quantity);
        auto* type = new DropDownList(&dialog);
        place(type, kTypeCombos[row]);
        atLeastHint(type);
        typeCombos.push_back(type);
    }
    deviceCombo = new DropDownList(&dialog);
    place(deviceCombo, kDeviceCombo);
    atLeastHint(deviceCombo);

    internalOnlyButton = new QPushButton("Use Internal Batteries Only", &dialog);
    place(internalOnlyButton, kInternalOnly);
    backButton = new QPushButton("< Back", &dialog);
    place(backButton, kBack);
    nextButton = new QPushButton("Next >", &dialog);
    place(nextButton, kNext);
    cancelButton = new QPushButton("Cancel", &dialog);
    place(cancelButton, kCancel);
    // Return goes on to the next page whenever Next is enabled, wherever the focus is.
    for (QPushButton* button : {internalOnlyButton, backButton, nextButton, cancelButton}) {
        button->setAutoDefault(false);
        button->setDefault(button == nextButton);
    }

    busyIndicator = new QProgressBar(&dialog);
    place(busyIndicator, kBusyIndicator);
    busyIndicator->setRange(0, 0);
    busyIndicator->setTextVisible(false);
    busyIndicator->hide();

    runtimeChart = new RuntimeChart(&dialog);
    place(runtimeChart, kChartPage4);
    // It shares the dialog with the page's text and lists: smaller, plain texts.
    QFont chartFont = font;
    chartFont.setPointSize(kChartPointSize);
    chartFont.setWeight(QFont::Normal);
    runtimeChart->setFont(chartFont);
    runtimeChart->hide();
    // A picture, not a control: Tab passes it by.
    runtimeChart->setFocusPolicy(Qt::NoFocus);

    const std::vector<QWidget*> order = controlsInScreenOrder();
    for (std::size_t i = 1; i < order.size(); ++i)
        QWidget::setTabOrder(order[i - 1], order[i]);

    dialog.setFixedSize(units.toPixels(kDialogWidth, kDialogHeight));
}

void DialogLayout::resetControls()
{
    nextButton->setEnabled(false);
    backButton->setEnabled(false);
    mainText->hide();
    internalOnlyButton->hide();
    httpChoice->hide();
    ftpChoice->hide();
    localFileChoice->hide();
    for (std::size_t row = 0; row < quantityCombos.size(); ++row) {
        quantityCombos[row]->hide();
        typeCombos[row]->hide();
    }
    deviceCombo->hide();
    hideRuntimeChart();
}

void DialogLayout::fitMainText()
{
    const QRect base = units.toPixels(kMainText.left, kMainText.top, kMainText.width, kMainText.height);
    const int needed = mainText->heightForWidth(base.width());
    fitRuntimeChart(base.top() + needed);
    // Long status logs grow into the empty space below, never over a control that is shown there.
    int floor = units.toPixels(0, kBack.top - 6, 0, 0).top();
    std::vector<QWidget*> below{httpChoice,  ftpChoice,          localFileChoice,
                                deviceCombo, internalOnlyButton, runtimeChart};
    below.insert(below.end(), quantityCombos.begin(), quantityCombos.end());
    below.insert(below.end(), typeCombos.begin(), typeCombos.end());
    for (QWidget* control : below)
        if (!control->isHidden())
            floor = std::min(floor, control->y() - units.toPixels(0, kTextGap).height());
    // The chart may stand closer than the template's text height; the text then stops above it.
    const int room = floor - base.top();
    mainText->setGeometry(base.left(), base.top(), base.width(),
                          std::clamp(needed, std::min(base.height(), room), room));
    // When even that is too little, the newest lines are the ones to keep in sight.
    mainText->setAlignment(Qt::AlignLeft | (needed > room ? Qt::AlignBottom : Qt::AlignTop));
}

std::vector<QWidget*> DialogLayout::controlsInScreenOrder() const
{
    std::vector<QWidget*> order{httpChoice, localFileChoice, ftpChoice, deviceCombo};
    for (std::size_t row = 0; row < quantityCombos.size(); ++row) {
        order.push_back(quantityCombos[row]);
        order.push_back(typeCombos[row]);
    }
    order.insert(order.end(), {internalOnlyButton, backButton, nextButton, cancelButton});
    return order;
}

void DialogLayout::showRuntimeChart(int page)
{
    chartPage = page;
    fitMainText();
}

void DialogLayout::hideRuntimeChart()
{
    chartPage = 0;
    runtimeChart->hide();
}

void DialogLayout::fitRuntimeChart(int textBottom)
{
    if (chartPage == 0)
        return;
    const ControlPlace& home = chartPage == 4 ? kChartPage4 : kChartPage5;
    const QRect place = units.toPixels(home.left, home.top, home.width, home.height);
    const int top = std::max(place.top(), textBottom + units.toPixels(0, kTextGap).height());
    if (place.bottom() + 1 - top < units.toPixels(0, kChartMinimumHeight).height()) {
        runtimeChart->hide();
        return;
    }
    runtimeChart->setGeometry(place.left(), top, place.width(), place.bottom() + 1 - top);
    runtimeChart->show();
}

void DialogLayout::fitCaption(QRadioButton* radio)
{
    int allowed = radio->property("maxWidth").toInt();
    int wanted = std::min(radio->sizeHint().width(), allowed);
    if (wanted > radio->width())
        radio->resize(wanted, radio->height());
}

} // namespace varnel
