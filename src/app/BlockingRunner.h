#pragma once

#include "platform/Sleep.h"
#include "settings/StatusCallback.h"

#include <functional>
#include <memory>

class QObject;
class QWidget;

namespace varnel {

// Runs one blocking step away from a window's thread. User input waits until
// the step returns, but the window keeps painting and answering the window
// manager, and a busy indicator runs meanwhile. While the runner lives, every
// wait of the program on the window's thread keeps it painting too.
class BlockingRunner {
public:
    explicit BlockingRunner(QObject& window);
    ~BlockingRunner();
    BlockingRunner(const BlockingRunner&) = delete;
    BlockingRunner& operator=(const BlockingRunner&) = delete;

    // Shown while a step runs; may be null.
    void setIndicator(QWidget* widget) { indicator = widget; }
    // The one widget that takes user input while a step runs (a step's Cancel); null: none.
    void setInputTarget(QWidget* widget) { inputTarget = widget; }
    bool run(const std::function<bool()>& step);
    bool isBusy() const { return busy; }
    // Hands show the texts on the window's thread; safe to call from a blocking step.
    StatusCallback marshal(StatusCallback show);

private:
    QObject& window;
    QWidget* indicator = nullptr;
    QWidget* inputTarget = nullptr;
    bool busy = false;
    std::unique_ptr<ScopedSleepHandler> sleepHandler;
};

} // namespace varnel
