#include "chart/RuntimeChart.h"

#include <QApplication>
#include <QThreadPool>

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace {

QtMessageHandler defaultHandler = nullptr;

// The offscreen platform remarks on every file dialog it cannot size; that is noise here.
void quietHandler(QtMsgType type, const QMessageLogContext& context, const QString& text)
{
    if (text.contains(QLatin1String("propagateSizeHints")))
        return;
    defaultHandler(type, context, text);
}

} // namespace

int main(int argc, char** argv)
{
    // Headless unless a display was asked for explicitly.
    varnel::RuntimeChart::useOffscreenPlatform();
    defaultHandler = qInstallMessageHandler(quietHandler);
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    const int result = RUN_ALL_TESTS();
    // Qt paints on its global thread pool and reads directories for the file
    // dialog on a thread of its own. A Qt thread that is still ending when the
    // program does leaves its thread data to the leak checker now and then.
    QThreadPool::globalInstance()->waitForDone();
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    return result;
}
