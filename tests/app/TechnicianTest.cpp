// The wizard as a technician drives it: telling units apart, the keyboard,
// and what page 5 shows once a save has gone wrong.
#include "app/WizardHarness.h"

#include "chart/RuntimeChart.h"
#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>

#include <filesystem>

namespace varnel::test {
namespace {

class Technician : public Wizard {
protected:
    QWidget* focus() const { return window().focusWidget(); }
    QString focusName() const { return focus() != nullptr ? focus()->objectName() : QString("none"); }
    // A key as the window system delivers it: to the focus, and up to the dialog when refused there.
    void press(int key)
    {
        QWidget* target = focus() != nullptr ? focus() : &window();
        QKeyEvent down(QEvent::KeyPress, key, Qt::NoModifier, key == Qt::Key_Space ? " " : "");
        QApplication::sendEvent(target, &down);
        QKeyEvent up(QEvent::KeyRelease, key, Qt::NoModifier, key == Qt::Key_Space ? " " : "");
        QApplication::sendEvent(focus() != nullptr ? focus() : &window(), &up);
    }
};

TEST_F(Technician, UnitsThatReadTheSameNameTheirPorts)
{
    ASSERT_TRUE(readLocalFile(distFile("sample-batterydata.xml").string()));
    discover({{"Acme", "Twin", 2, 0, true, "/dev/ttyUSB0"},
              {"Acme", "Twin", 3, 0, true, "/dev/ttyUSB1"},
              {"Bolt", "Single", 2, 0, true, "/dev/ttyS0"},
              {"Acme", "Rack", 2, 0, true, "/dev/a/ttyS4"},
              {"Acme", "Rack", 2, 0, true, "/dev/b/ttyS4"}});
    EXPECT_EQ(comboEntries("1022"),
              (QStringList{"Acme : Twin (ttyUSB0)", "Acme : Twin (ttyUSB1)", "Bolt : Single",
                           "Acme : Rack (/dev/a/ttyS4)", "Acme : Rack (/dev/b/ttyS4)"}));
    combo("1022")->setCurrentIndex(1);
    button("1001")->click();
    ASSERT_EQ(window().getPage(), 4);
    EXPECT_TRUE(mainText().startsWith(qt("label.currentdevice") + " Acme : Twin (ttyUSB1)\n"))
        << mainText().toStdString();
    EXPECT_EQ(window().getSelectedDevice()->getInternalBatteryCount(), 3);

    // The question on the way back names the same unit.
    auto no = ModalAnswer::question(QMessageBox::No);
    button("1002")->click();
    ASSERT_TRUE(no->answered);
    EXPECT_TRUE(no->text.startsWith(qt("label.currentdevice") + " Acme : Twin (ttyUSB1)\n"));
}

// From page 1 to page 5 by Return alone; after every step the focus is on
// the page's first control, or Next, never on Cancel.
TEST_F(Technician, ReturnWalksThePagesAndTheFocusStaysOffCancel)
{
    open();
    EXPECT_EQ(focusName(), "1008"); // the checked source
    auto file = ModalAnswer::file(distFile("sample-batterydata.xml").string());
    press(Qt::Key_Return);
    ASSERT_TRUE(file->answered);
    ASSERT_EQ(window().getPage(), 2);
    EXPECT_EQ(focusName(), "1017"); // the packs the file offers

    dialog->units = {{"Acme", "One", 4, 0, false}}; // its save fails
    press(Qt::Key_Return);
    ASSERT_EQ(window().getPage(), 3);
    EXPECT_EQ(focusName(), "1001");
    // Space on the focus goes on as well.
    press(Qt::Key_Space);
    ASSERT_EQ(window().getPage(), 4);
    EXPECT_EQ(focusName(), "1016");
    press(Qt::Key_Return); // Next is disabled until packs are chosen
    EXPECT_EQ(window().getPage(), 4);

    // Tab walks the shown controls in screen order, Next left out while disabled.
    QStringList walked;
    for (int i = 0; i < 9; ++i) {
        press(Qt::Key_Tab);
        walked << focusName();
    }
    EXPECT_EQ(walked, (QStringList{"1017", "1018", "1020", "1019", "1021", "1009", "1002", "1000", "1016"}));

    combo("1016")->setCurrentIndex(2);
    combo("1017")->setCurrentIndex(1);
    auto no = ModalAnswer::question(QMessageBox::No);
    press(Qt::Key_Return);
    ASSERT_EQ(window().getPage(), 5);
    ASSERT_TRUE(no->answered);
    EXPECT_EQ(no->title, window().windowTitle());
    EXPECT_FALSE(no->title.isEmpty());
    EXPECT_NE(focusName(), "1000");
    EXPECT_TRUE(window().isVisible());

    EXPECT_EQ(focusName(), "1002");
    button("1002")->click();
    ASSERT_EQ(window().getPage(), 4);
    EXPECT_EQ(focusName(), "1016");
}

// The lowest quantity list, ten entries long, and the unit list open inside the window.
TEST_F(Technician, DropDownListsOpenInsideTheWindow)
{
    ASSERT_TRUE(readLocalFile(distFile("sample-batterydata.xml").string()));
    discover({{"Acme", "One", 4, 0}});
    button("1001")->click();
    ASSERT_EQ(window().getPage(), 4);
    const QRect inside(window().mapToGlobal(QPoint(0, 0)), window().size());
    for (const char* id : {"1019", "1021", "1016"}) {
        SCOPED_TRACE(id);
        QComboBox* list = combo(id);
        list->showPopup(); // on its first entry, as the page leaves it
        QWidget* popup = list->view()->window();
        ASSERT_TRUE(popup->isVisible());
        EXPECT_TRUE(inside.contains(popup->geometry()))
            << popup->geometry().top() << ".." << popup->geometry().bottom() << " not within " << inside.top()
            << ".." << inside.bottom();
        list->hidePopup();
    }
}

// After the update, the chart beside the scanned table shows only what the
// unit is known to hold, and the estimate only for packs it is known to count;
// a computed table that did not reach it is not drawn.
TEST_F(Technician, Page5DrawsWhatTheUnitHolds)
{
    struct Case {
        const char* name;
        bool saves;
        bool validates;
        QStringList series;
        bool notWritten;
    };
    const Case cases[] = {
        {"saved and checked", true, true, {"label.chart.before", "label.chart.readback", "estimate"}, false},
        {"save failed", false, true, {"label.chart.before"}, true},
        {"check failed, nothing read back", true, false, {"label.chart.before"}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SetUp();
        ASSERT_TRUE(readLocalFile(distFile("sample-batterydata.xml").string()));
        discover({{"Acme", "UPS 1500", 4, 0, c.saves}});
        button("1001")->click();
        combo("1016")->setCurrentIndex(2);
        combo("1017")->setCurrentIndex(1);
        dialog->validateResult = c.validates;
        auto no = ModalAnswer::question(QMessageBox::No); // no writing back
        button("1001")->click();
        ASSERT_EQ(window().getPage(), 5);
        RuntimeChart* view = window().findChild<RuntimeChart*>("runtimeChart");
        ASSERT_NE(view, nullptr);
        EXPECT_TRUE(view->isVisible());
        const QStringList names = view->seriesNames();
        QStringList expected;
        for (const QString& key : c.series)
            expected << (key == "estimate" ? qt("label.chart.estimate").replace("%u", "12")
                                           : qt(key.toLatin1().constData()));
        EXPECT_EQ(names, expected);
        EXPECT_EQ(mainText().contains(qt("msg.chart.notwritten")), c.notWritten);
        dialog.reset();
        std::filesystem::remove_all("backups");
    }
}

} // namespace
} // namespace varnel::test
