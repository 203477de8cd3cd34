// The runtime chart of pages 4 and 5: there once packs are chosen and after a
// computation, with both tables, in room no other control takes.
#include "app/WizardHarness.h"

#include <QAbstractAxis>
#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QLineSeries>
#include <QPushButton>

namespace varnel::test {
namespace {

class RuntimeChartPages : public Wizard {
protected:
    QChartView* view() const { return dialog->findChild<QChartView*>("runtimeChart"); }

    // Shown with both tables of 20 rows, against the load in watts, over no other control;
    // on page 5 the second is what the check read back.
    void expectChartWithBothTables(const char* secondKey = "label.chart.after") const
    {
        QChartView* chart = view();
        ASSERT_NE(chart, nullptr);
        ASSERT_TRUE(chart->isVisible());
        const QList<QAbstractSeries*> series = chart->chart()->series();
        ASSERT_EQ(series.size(), 2);
        for (QAbstractSeries* line : series)
            EXPECT_EQ(static_cast<QLineSeries*>(line)->count(), 20) << line->name().toStdString();
        EXPECT_EQ(series[0]->name(), qt("label.chart.before"));
        EXPECT_EQ(series[1]->name(), qt(secondKey));
        EXPECT_EQ(chart->chart()->axes(Qt::Horizontal).value(0)->titleText(), qt("label.chart.loadwatts"));
        EXPECT_TRUE(chart->chart()->title().isEmpty()); // the sample file's scalars scale back
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

} // namespace
} // namespace varnel::test
