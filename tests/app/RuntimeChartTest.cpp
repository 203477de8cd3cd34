// The runtime chart of pages 4 and 5: there once packs are chosen and after a
// computation, with both tables, in room no other control takes; and drawn so
// that a reader sees what it says.
#include "chart/RuntimeChart.h"
#include "app/WizardHarness.h"

#include <QComboBox>
#include <QImage>
#include <QPainter>
#include <QPushButton>

#include <set>

namespace varnel::test {
namespace {

class RuntimeChartPages : public Wizard {
protected:
    RuntimeChart* view() const { return dialog->findChild<RuntimeChart*>("runtimeChart"); }

    // Shown with both tables, against the load in watts, over no other control;
    // on page 5 the second is what the check read back.
    void expectChartWithBothTables(const char* secondKey = "label.chart.after") const
    {
        RuntimeChart* chart = view();
        ASSERT_NE(chart, nullptr);
        ASSERT_TRUE(chart->isVisible());
        EXPECT_EQ(chart->seriesNames(), (QStringList{qt("label.chart.before"), qt(secondKey)}));
        EXPECT_EQ(chart->loadTitle(), qt("label.chart.loadwatts"));
        EXPECT_EQ(chart->valueTitle(),
                  qt("label.chart.runtimeminutes")); // the sample file's scalars scale back
        for (QWidget* other : dialog->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            if (other != chart && other->isVisible()) {
                EXPECT_FALSE(other->geometry().intersects(chart->geometry()))
                    << other->objectName().toStdString();
            }
        }
    }
};

TEST_F(RuntimeChartPages, ShowsOnPage4OncePacksAreChosenAndOnPage5AfterTheComputation)
{
    ASSERT_TRUE(readLocalFile(distFile("sample-batterydata.xml").string()));
    discover({{"Acme", "UPS 1500", 4, 0}});
    button("1001")->click();
    ASSERT_EQ(dialog->getPage(), 4);
    ASSERT_NE(view(), nullptr);
    EXPECT_FALSE(view()->isVisible());

    combo("1016")->setCurrentIndex(2);
    combo("1017")->setCurrentIndex(1);
    expectChartWithBothTables();
    EXPECT_EQ(dialog->getSelectedDevice()->getExternalBatteryCount(), 0); // only a look ahead
    combo("1016")->setCurrentIndex(0);
    EXPECT_FALSE(view()->isVisible());

    combo("1016")->setCurrentIndex(2);
    button("1001")->click();
    ASSERT_EQ(dialog->getPage(), 5);
    EXPECT_TRUE(mainText().contains(qt("msg.calculationscomplete"))) << mainText().toStdString();
    expectChartWithBothTables("label.chart.readback");
}

// The colours a rendering of the chart holds in its plot, each counted once.
std::set<QRgb> coloursIn(const QImage& image)
{
    std::set<QRgb> colours;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            colours.insert(image.pixel(x, y));
    return colours;
}

QImage render(const RuntimeChart& chart, const QPalette& palette, qreal ratio)
{
    QImage image(QSize(360, 200) * ratio, QImage::Format_RGB32);
    image.setDevicePixelRatio(ratio);
    QPainter painter(&image);
    // Without antialiasing each line keeps its own colour, pixel for pixel.
    chart.paint(painter, QRectF(0, 0, 360, 200), palette, chart.font());
    return image;
}

// What a reader sees: the lines in their own colours where the tables differ,
// axes titled with their units, and the note when only the count changes;
// alike in a light and a dark palette, at 100 and 200 %.
TEST_F(RuntimeChartPages, TellsTheReaderWhatIsDrawn)
{
    ASSERT_TRUE(readLocalFile(distFile("sample-batterydata.xml").string()));
    discover({{"Acme", "UPS 1500", 4, 0}});
    const VarnelDevice& unit = *dialog->getSelectedDevice();
    std::vector<std::uint8_t> low(20, 4), high(20, 8);
    const auto light = QPalette(Qt::white);
    QPalette dark(QColor(40, 40, 40));
    dark.setColor(QPalette::Base, QColor(20, 20, 20));
    dark.setColor(QPalette::Text, QColor(230, 230, 230));
    dark.setColor(QPalette::Highlight, QColor(90, 160, 255));

    struct Case {
        const char* name;
        std::vector<std::uint8_t> after;
        QStringList series;
        bool unchanged;
    };
    const Case cases[] = {
        {"a new table", high, {qt("label.chart.before"), qt("label.chart.after")}, false},
        {"the same table", low, {qt("label.chart.before"), qt("label.chart.after")}, true},
        {"nothing computed", {}, {qt("label.chart.before")}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RuntimeChart chart;
        VarnelController& controller = dialog->getController();
        chart.setPicture(controller.runtimePicture(unit, low, c.after), controller.getMessages());
        EXPECT_EQ(chart.seriesNames(), c.series);
        EXPECT_TRUE(chart.valueTitle().endsWith("(s)")) << chart.valueTitle().toStdString();
        EXPECT_TRUE(chart.loadTitle().endsWith("(W)")) << chart.loadTitle().toStdString();
        EXPECT_EQ(chart.note(), c.unchanged ? qt("msg.chart.unchanged") : QString());
        for (const QPalette& palette : {light, dark})
            for (qreal ratio : {1.0, 2.0}) {
                const std::set<QRgb> colours = coloursIn(render(chart, palette, ratio));
                EXPECT_EQ(colours.count(palette.color(QPalette::Highlight).rgb()),
                          c.series.size() == 2 ? 1U : 0U)
                    << "ratio " << ratio;
                EXPECT_EQ(colours.count(palette.color(QPalette::Text).rgb()), 1U); // the texts
            }
    }
}

} // namespace
} // namespace varnel::test
