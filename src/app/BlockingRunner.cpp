#include "app/BlockingRunner.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QEventLoop>
#include <QThread>
#include <QWidget>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>
#include <utility>

namespace varnel {

namespace {

// Waits on the window's thread keep it painting; user input waits until the
// step returns. Waits on a blocking step's own thread simply sleep.
void pumpingSleep(QThread* windowThread, std::uint32_t milliseconds)
{
    if (QThread::currentThread() != windowThread) {
        std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
        return;
    }
    QElapsedTimer timer;
    timer.start();
    do {
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents, 10);
        qint64 left = static_cast<qint64>(milliseconds) - timer.elapsed();
        if (left > 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(std::min<qint64>(left, 10)));
    } while (timer.elapsed() < static_cast<qint64>(milliseconds));
}

// Lets user input through to one widget only while a step runs.
class InputOnlyTo : public QObject {
public:
    explicit InputOnlyTo(QWidget* target) : target(target) { qApp->installEventFilter(this); }
    ~InputOnlyTo() override { qApp->removeEventFilter(this); }
    InputOnlyTo(const InputOnlyTo&) = delete;
    InputOnlyTo& operator=(const InputOnlyTo&) = delete;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::Wheel:
        case QEvent::Shortcut:
        case QEvent::ShortcutOverride:
            return watched != target;
        default:
            return false;
        }
    }

private:
    QWidget* target;
};

} // namespace

BlockingRunner::BlockingRunner(QObject& window) : window(window)
{
    QThread* windowThread = window.thread();
    sleepHandler = std::make_unique<ScopedSleepHandler>(
        [windowThread](std::uint32_t milliseconds) { pumpingSleep(windowThread, milliseconds); });
}

BlockingRunner::~BlockingRunner() = default;

StatusCallback BlockingRunner::marshal(StatusCallback show)
{
    return [this, show = std::move(show)](const char* statusText, std::uint32_t newLine) {
        if (QThread::currentThread() == window.thread()) {
            show(statusText, newLine);
            return;
        }
        // The text belongs to the caller, which waits until it has been shown.
        QMetaObject::invokeMethod(
            &window, [&show, statusText, newLine] { show(statusText, newLine); },
            Qt::BlockingQueuedConnection);
    };
}

bool BlockingRunner::run(const std::function<bool()>& step)
{
    if (busy)
        return step();
    busy = true;
    if (indicator != nullptr)
        indicator->show();
    QApplication::setOverrideCursor(Qt::BusyCursor);
    QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance(window.thread());
    std::atomic<bool> finished{false};
    bool result = false;
    std::thread worker([&] {
        result = step();
        finished.store(true);
        if (dispatcher != nullptr)
            dispatcher->wakeUp();
    });
    if (inputTarget != nullptr) {
        const InputOnlyTo filter(inputTarget);
        while (!finished.load())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    } else {
        while (!finished.load())
            QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents |
                                            QEventLoop::WaitForMoreEvents);
    }
    worker.join();
    QApplication::restoreOverrideCursor();
    if (indicator != nullptr)
        indicator->hide();
    busy = false;
    return result;
}

} // namespace varnel
