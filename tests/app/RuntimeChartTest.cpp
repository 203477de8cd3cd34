// The runtime chart of pages 4 and 5: there once packs are chosen and after a
// computation, with both tables, in room no other control takes.
#include "chart/RuntimeChart.h"
#include "app/WizardHarness.h"

#include <QComboBox>
#include <QPushButton>

namespace varnel::test {
namespace {

class RuntimeChartPages : public Wizard {
protected:
    RuntimeChart* view() const { return dialog->findChild<RuntimeChart*>("runtimeChart"); }

    // Shown with both tables, against the load in watts, over no other control;
    // on page 4 with the runtime the packs are estimated to give, on page 5 the
    // second is what the check read back.
    void expectChartWithBothTables(const char* secondKey = "label.chart.after", int estimatedWith = 0) const
    {
        RuntimeChart* chart = view();
        ASSERT_NE(chart, nullptr);
        ASSERT_TRUE(chart->isVisible());
        QStringList names{qt("label.chart.before"), qt(secondKey)};
        if (estimatedWith > 0)
            names << qt("label.chart.estimate").replace("%u", QString::number(estimatedWith));
        EXPECT_EQ(chart->seriesNames(), names);
        EXPECT_EQ(chart->loadTitle(), qt("label.chart.loadwatts"));
        // The sample file's scalars scale back.
        EXPECT_EQ(chart->valueTitle(),
                  qt(estimatedWith > 0 ? "label.chart.estimateminutes" : "label.chart.runtimeminutes"));
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
    expectChartWithBothTables("label.chart.after", 4 + 8); // the sample file's second pack holds 8
    EXPECT_EQ(dialog->getSelectedDevice()->getExternalBatteryCount(), 0); // only a look ahead
    combo("1016")->setCurrentIndex(0);
    EXPECT_FALSE(view()->isVisible());

    combo("1016")->setCurrentIndex(2);
    button("1001")->click();
    ASSERT_EQ(dialog->getPage(), 5);
    EXPECT_TRUE(mainText().contains(qt("msg.calculationscomplete"))) << mainText().toStdString();
    expectChartWithBothTables("label.chart.readback", 4 + 8);
}

} // namespace
} // namespace varnel::test
