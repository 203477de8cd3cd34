// The runtime chart drawn so that a reader sees what it says, on every
// platform the wizard is built for: the same suite runs under Wine.
#include "chart/RuntimeChart.h"
#include "controller/VarnelController.h"
#include "device/VarnelDevice.h"
#include "settings/I18N.h"
#include "support/TestSupport.h"

#include <QImage>
#include <QPainter>

#include <gtest/gtest.h>

#include <set>

namespace varnel::test {
namespace {

// Four internal batteries of the sample file's first type, its scalar and wattage tables 0.
class Unit : public VarnelDevice {
public:
    Unit()
    {
        setInternalBatteryCount(4);
        setInternalBatteryType(1);
        setConfigurationInfo(0x01u);
    }
    bool load(CAnyPort&, const StatusCallback&, const I18N*) override { return false; }
    bool save() override { return false; }
};

class Chart : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (const char* name : {"varnel.ini", "varnelstrings.en"})
            std::filesystem::copy_file(distFile(name), name);
        ASSERT_TRUE(controller.init(nullptr));
        ASSERT_TRUE(controller.loadDataFile(distFile("sample-batterydata.xml").string()));
    }

    QString qt(const char* key) const
    {
        return QString::fromLocal8Bit(controller.getMessages()->lookup(key));
    }

    TempDir dir;
    VarnelController controller;
    Unit unit;
};

// The colours a rendering of the chart holds, each counted once.
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
// axes titled with their units, the note when only the count changes and the
// estimate named with its batteries; alike in a light and a dark palette, at
// 100 and 200 %.
TEST_F(Chart, TellsTheReaderWhatIsDrawn)
{
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
        std::int32_t added = 0; // batteries in packs: the estimate for them and the unit's 4
    };
    const QString estimate = qt("label.chart.estimate").replace("%u", "12");
    const Case cases[] = {
        {"a new table", high, {qt("label.chart.before"), qt("label.chart.after")}, false},
        {"the same table", low, {qt("label.chart.before"), qt("label.chart.after")}, true},
        {"nothing computed", {}, {qt("label.chart.before")}, false},
        {"the same table with packs",
         low,
         {qt("label.chart.before"), qt("label.chart.after"), estimate},
         true,
         8},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RuntimeChart chart;
        RuntimePicture picture = controller.runtimePicture(unit, low, c.after);
        picture.estimateWith(unit.getInternalBatteryCount(), c.added);
        chart.setPicture(picture, controller.getMessages());
        EXPECT_EQ(chart.seriesNames(), c.series);
        EXPECT_TRUE(chart.valueTitle().endsWith("(s)")) << chart.valueTitle().toStdString();
        EXPECT_TRUE(chart.loadTitle().endsWith("(W)")) << chart.loadTitle().toStdString();
        EXPECT_EQ(chart.note(), c.unchanged ? qt("msg.chart.unchanged") : QString());
        for (const QPalette& palette : {light, dark})
            for (qreal ratio : {1.0, 2.0}) {
                const std::set<QRgb> colours = coloursIn(render(chart, palette, ratio));
                EXPECT_EQ(colours.count(palette.color(QPalette::Highlight).rgb()),
                          c.series.size() >= 2 ? 1U : 0U)
                    << "ratio " << ratio;
                EXPECT_EQ(colours.count(palette.color(QPalette::Text).rgb()), 1U); // the texts
            }
    }
}

// varnelctl's --plot: a picture file with the same drawing, SVG where Qt Svg
// is built and refused under an SVG name where it is not.
TEST_F(Chart, WritesTheDrawingIntoAFile)
{
    const RuntimePicture picture = controller.runtimePicture(unit, std::vector<std::uint8_t>(20, 4), {});
    ASSERT_TRUE(RuntimeChart::writeFile(picture, controller.getMessages(), "chart.png"));
    QImage image;
    ASSERT_TRUE(image.load("chart.png"));
    EXPECT_GE(image.width(), 720);
    EXPECT_GT(coloursIn(image).size(), 2U);

    EXPECT_EQ(RuntimeChart::writeFile(picture, controller.getMessages(), "chart.svg"),
              RuntimeChart::writesSvg());
    if (RuntimeChart::writesSvg())
        EXPECT_NE(readFile("chart.svg").find("<svg"), std::string::npos);
    else
        EXPECT_FALSE(std::filesystem::exists("chart.svg"));
}

} // namespace
} // namespace varnel::test
