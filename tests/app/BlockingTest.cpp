#include "app/BlockingRunner.h"
#include "app/WizardHarness.h"

#include <QImage>
#include <QLabel>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <QThread>
#include <QTimer>

#include <string>
#include <thread>

namespace varnel::test {
namespace {

// The runner without a dialog: texts from the step's thread are shown on the
// window's thread, in order, while the step still runs and the indicator shows.
TEST(BlockingRunner, MarshalsStatusFromItsStepAndSleepsThere)
{
    QWidget window;
    QWidget indicator(&window);
    indicator.hide();
    BlockingRunner runner(window);
    runner.setIndicator(&indicator);
    std::string shown;
    bool allOnWindowThread = true;
    bool indicatorDuring = false;
    StatusCallback status = runner.marshal([&](const char* text, std::uint32_t newLine) {
        allOnWindowThread = allOnWindowThread && QThread::currentThread() == window.thread();
        indicatorDuring = !indicator.isHidden();
        shown += (newLine != 0 ? "\n" : "") + std::string(text);
    });
    std::thread::id stepThread;
    const bool result = runner.run([&] {
        stepThread = std::this_thread::get_id();
        status("one", 1);
        sleepMs(5);
        status("two", 0);
        return runner.isBusy();
    });
    EXPECT_TRUE(result);
    EXPECT_NE(stepThread, std::this_thread::get_id());
    EXPECT_EQ(shown, "\nonetwo");
    EXPECT_TRUE(allOnWindowThread);
    EXPECT_TRUE(indicatorDuring);
    EXPECT_TRUE(indicator.isHidden());
    EXPECT_FALSE(runner.isBusy());
}

TEST_F(Wizard, WaitsOnTheWindowThreadKeepEventsFlowing)
{
    open();
    bool fired = false;
    QTimer::singleShot(5, [&] { fired = true; });
    sleepMs(60);
    EXPECT_TRUE(fired);
}

TEST_F(Wizard, ABlockingStepShowsItIsBusyAndCannotBeClosedUnderneath)
{
    open();
    auto* indicator = dialog->findChild<QProgressBar*>("busyIndicator");
    ASSERT_NE(indicator, nullptr);
    EXPECT_TRUE(indicator->isHidden());
    bool shownDuring = false;
    bool openAfterClose = false;
    dialog->runBlocking([&] {
        QMetaObject::invokeMethod(
            dialog.get(),
            [&] {
                shownDuring = !indicator->isHidden();
                dialog->close();
                openAfterClose = dialog->isVisible();
            },
            Qt::BlockingQueuedConnection);
        return true;
    });
    EXPECT_TRUE(shownDuring);
    EXPECT_TRUE(openAfterClose);
    EXPECT_TRUE(indicator->isHidden());
    // Once idle, closing works as usual.
    dialog->close();
    EXPECT_FALSE(dialog->isVisible());
}

// A long status log uses the free space below the text, but never hides the buttons or a list.
TEST_F(Wizard, LongStatusLogsGrowOnlyIntoFreeSpace)
{
    open();
    const int templateHeight = dialog->getDialogUnits().toPixels(0, 118).height();
    dialog->resetControls();
    mainTextLabel()->show();
    for (int line = 0; line < 40; ++line)
        dialog->appendStatus("a status line", 1);
    dialog->appendStatus("the newest line", 1);
    QRect grown = mainTextLabel()->geometry();
    EXPECT_GT(grown.height(), templateHeight);
    EXPECT_LT(grown.bottom(), button("1000")->geometry().top());
    // The newest line stays in sight when even that is too little: what is
    // painted changes with the last line, and not with the first.
    EXPECT_TRUE(mainTextLabel()->alignment() & Qt::AlignBottom);
    const QString full = mainText();
    const QImage shown = mainTextLabel()->grab().toImage();
    mainTextLabel()->setText(QString(full).replace("the newest line", "the latest line"));
    EXPECT_TRUE(mainTextLabel()->grab().toImage() != shown) << "the newest line is out of sight";
    mainTextLabel()->setText(QString(full).replace(0, 1, full.startsWith('A') ? "B" : "A"));
    EXPECT_TRUE(mainTextLabel()->grab().toImage() == shown) << "the oldest line is still painted";

    dialog->enterPage1();
    EXPECT_EQ(mainTextLabel()->height(), templateHeight);
    EXPECT_TRUE(mainTextLabel()->alignment() & Qt::AlignTop);
}

} // namespace
} // namespace varnel::test
