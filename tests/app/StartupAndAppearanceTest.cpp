#include "app/DialogUnits.h"
#include "app/VarnelStatic.h"
#include "app/WizardHarness.h"
#include "settings/LicenceNotice.h"

#include <QComboBox>
#include <QFontInfo>
#include <QImage>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>

#include <filesystem>

namespace varnel::test {
namespace {

TEST_F(Wizard, NormalStartOffersHttpAndLocalFileWithLocalChosen)
{
    open();
    EXPECT_EQ(dialog->windowTitle(), "Varnel Version " VARNEL_VERSION);
    EXPECT_EQ(dialog->getPage(), 1);
    EXPECT_TRUE(radio("1006")->isVisible());
    EXPECT_FALSE(radio("1006")->isChecked());
    EXPECT_EQ(radio("1006")->text(), qt("label.httpdownload"));
    EXPECT_TRUE(radio("1008")->isVisible());
    EXPECT_TRUE(radio("1008")->isChecked());
    EXPECT_FALSE(radio("1007")->isVisible());
    EXPECT_EQ(mainText(), qt("label.welcome"));
    EXPECT_TRUE(button("1001")->isEnabled());
    EXPECT_FALSE(button("1002")->isEnabled());
    EXPECT_FALSE(button("1009")->isVisible());
    auto* panel = dialog->findChild<QPlainTextEdit*>("1004");
    ASSERT_NE(panel, nullptr);
    EXPECT_EQ(panel->toPlainText(), qt("label.techsupport") + "\n\nVersion " VARNEL_VERSION "\n" +
                                        copyrightNotice + "\n\n" + licenceNotice);

    // The radio buttons are one group.
    radio("1006")->click();
    EXPECT_FALSE(radio("1008")->isChecked());
}

// Each broken start leaves its fixed text under the loading line and only Cancel to press.
TEST_F(Wizard, StartUpFailuresLeaveOnlyCancel)
{
    struct Case {
        const char* name;
        std::function<void()> breakFiles;
        const char* shown;
    };
    const Case cases[] = {
        {"no settings file", [] { std::filesystem::remove("varnel.ini"); },
         "There was an error parsing the internal configuration file.\nPlease contact technical support."},
        {"comments only", [] { writeFile("varnel.ini", "# nothing\nno equals sign here\n"); },
         "There was an error parsing the internal configuration file.\nPlease contact technical support."},
        {"empty locale name", [] { writeFile("varnel.ini", "locale.name =\nlocale.strings = en\n"); },
         "The application's configuration file has become corrupted.\nPlease contact technical support."},
        {"missing message file",
         [] { writeFile("varnel.ini", "locale.name = English\nlocale.strings = xx\n"); },
         "The application's message file is missing or cannot be read.\nPlease contact technical support."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SetUp();
        c.breakFiles();
        open();
        EXPECT_EQ(mainText(), QString("Loading Application...\n") + c.shown);
        EXPECT_FALSE(button("1001")->isEnabled());
        EXPECT_FALSE(button("1002")->isEnabled());
        EXPECT_TRUE(button("1000")->isEnabled());
        EXPECT_FALSE(radio("1006")->isVisible());
        EXPECT_FALSE(radio("1008")->isVisible());
        dialog.reset();
        std::filesystem::remove("varnel.ini");
        std::filesystem::remove("varnelstrings.en");
    }
}

TEST(DialogUnits, RoundsLikeTheDialogManager)
{
    EXPECT_EQ(DialogUnits::mulDiv(3, 13, 8), 5);  // 4.875
    EXPECT_EQ(DialogUnits::mulDiv(1, 4, 8), 1);   // a half rounds up
    EXPECT_EQ(DialogUnits::mulDiv(-1, 4, 8), -1); // and away from zero below it
    EXPECT_EQ(DialogUnits::mulDiv(5, 3, 4), 4);   // 3.75
    EXPECT_EQ(DialogUnits::mulDiv(1, 1, 0), -1);

    // Tahoma 8 pt at 96 dpi: 6 by 13 base units give the familiar 900 by 488 dialog.
    DialogUnits units(QSize(6, 13));
    EXPECT_EQ(units.toPixels(600, 300), QSize(900, 488));
    EXPECT_EQ(units.toPixels(342, 270, 78, 18), QRect(513, 439, 117, 29));
}

TEST(DialogUnits, BaseUnitsFollowTheFont)
{
    QFont small("Liberation Sans");
    small.setPointSize(8);
    QFont large = small;
    large.setPointSize(16);
    QSize a = DialogUnits(small).baseUnits();
    QSize b = DialogUnits(large).baseUnits();
    EXPECT_GT(a.width(), 0);
    EXPECT_GT(b.width(), a.width());
    EXPECT_GT(b.height(), a.height());
}

TEST_F(Wizard, ControlsCarryTheirIdsAndSitWhereTheTemplatePutsThem)
{
    open();
    const DialogUnits& units = dialog->getDialogUnits();
    EXPECT_EQ(dialog->size(), units.toPixels(600, 300));
    EXPECT_EQ(dialog->minimumSize(), dialog->maximumSize());
    EXPECT_FALSE(dialog->windowFlags() & Qt::WindowCloseButtonHint);
    EXPECT_FALSE(dialog->windowFlags() & Qt::WindowSystemMenuHint);
    EXPECT_FALSE(dialog->windowIcon().isNull());
    EXPECT_FALSE(dialog->windowIcon().availableSizes().isEmpty());

    for (const char* id : {"1000", "1001", "1002", "1009"})
        EXPECT_NE(button(id), nullptr) << id;
    for (const char* id : {"1006", "1007", "1008"})
        EXPECT_NE(radio(id), nullptr) << id;
    for (const char* id : {"1016", "1017", "1018", "1019", "1020", "1021", "1022"})
        EXPECT_NE(combo(id), nullptr) << id;
    EXPECT_NE(dialog->findChild<VarnelStatic*>("1004"), nullptr);
    EXPECT_NE(mainTextLabel(), nullptr);

    // Widths and left edges come straight from the template; heights may grow to fit the font.
    EXPECT_EQ(button("1001")->geometry(), units.toPixels(426, 270, 78, 18));
    EXPECT_EQ(dialog->findChild<QWidget*>("1004")->geometry(), units.toPixels(0, 0, 198, 300));
    QRect type3 = combo("1021")->geometry();
    EXPECT_EQ(type3.topLeft(), units.toPixels(252, 198, 0, 0).topLeft());
    EXPECT_EQ(type3.width(), units.toPixels(270, 0).width());

    // Buttons stand in one row, left to right, without overlapping, inside the dialog.
    QRect previous;
    for (const char* id : {"1009", "1002", "1001", "1000"}) {
        QRect r = button(id)->geometry();
        EXPECT_TRUE(dialog->rect().contains(r)) << id;
        EXPECT_FALSE(r.intersects(previous)) << id;
        EXPECT_GT(r.left(), previous.left()) << id;
        previous = r;
    }
}

TEST_F(Wizard, EveryControlUsesTheBoldArialFamily)
{
    open();
    QList<QWidget*> controls = dialog->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly);
    int checked = 0;
    for (QWidget* control : controls) {
        // Not in the template: the busy bar shows no text, the chart draws its own smaller ones.
        if (control->objectName().isEmpty() || control->objectName() == "busyIndicator" ||
            control->objectName() == "runtimeChart")
            continue;
        QFontInfo info(control->font());
        SCOPED_TRACE(control->objectName().toStdString());
        EXPECT_TRUE(info.family() == "Arial" || info.family() == "Liberation Sans")
            << info.family().toStdString();
        EXPECT_TRUE(info.bold());
        EXPECT_EQ(control->font().pointSize(), 10);
        ++checked;
    }
    EXPECT_EQ(checked, 16);
}

TEST_F(Wizard, SidePanelIsWhiteOnDarkBlueDownToItsBottom)
{
    open();
    QWidget* panel = dialog->findChild<QWidget*>("1004");
    QImage image = panel->grab().toImage();
    const QColor darkBlue(0, 0, 0x88);
    // Below the last line of text, and in the last column.
    EXPECT_EQ(image.pixelColor(image.width() / 2, image.height() - 3), darkBlue);
    EXPECT_EQ(image.pixelColor(image.width() - 2, image.height() / 2), darkBlue);
    int white = 0;
    for (int y = 0; y < image.height() / 3; ++y)
        for (int x = 0; x < image.width(); ++x)
            white += image.pixelColor(x, y) == QColor(Qt::white);
    EXPECT_GT(white, 50);

    // The main text keeps the ordinary colours.
    QImage text = mainTextLabel()->grab().toImage();
    EXPECT_NE(text.pixelColor(text.width() - 2, text.height() - 2), darkBlue);
}

TEST_F(Wizard, StatusTextsAppendOnTheSameOrANewLine)
{
    open();
    mainTextLabel()->setText("first");
    dialog->appendStatus("second", 0);
    dialog->appendStatus(nullptr, 1);
    dialog->appendStatus("third", 1);
    dialog->showStatus("fourth", 1);
    EXPECT_EQ(mainText(), "firstsecond\nthird\nfourth");
}

// A blocking step reports from its own thread; its texts still arrive, in order, before it returns.
TEST_F(Wizard, StatusFromABlockingStepArrivesInOrder)
{
    open();
    mainTextLabel()->setText("start");
    StatusCallback callback = dialog->statusCallback();
    bool during = false;
    bool result = dialog->runBlocking([&] {
        callback("one", 1);
        callback("two", 0);
        callback(nullptr, 1);
        sleepMs(30);
        during = dialog->isBusy();
        return true;
    });
    EXPECT_TRUE(result);
    EXPECT_TRUE(during);
    EXPECT_FALSE(dialog->isBusy());
    EXPECT_EQ(mainText(), "start\nonetwo");
    EXPECT_FALSE(dialog->runBlocking([] { return false; }));
}

} // namespace
} // namespace varnel::test
