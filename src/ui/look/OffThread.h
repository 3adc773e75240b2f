#pragma once

#include "common/Error.h"

#include <QEventLoop>
#include <QTimer>
#include <exception>
#include <functional>
#include <optional>
#include <thread>

// Runs `work` on a thread of its own and returns what it returned, while the caller's event
// loop goes on: windows paint, timers fire, other windows answer, and nothing of theirs runs
// inside the work. The error the work recorded, or raised, comes back to the caller's thread.
// `tick` runs on the caller's thread every few milliseconds meanwhile (to show progress).
template <typename Result>
Result runOffThread(const std::function<Result()>& work, const std::function<void()>& tick = {}) {
    std::optional<Result> result;
    ErrorRecord recorded;
    std::exception_ptr raised;
    QEventLoop loop;
    QTimer ticks;
    if (tick) {
        QObject::connect(&ticks, &QTimer::timeout, &loop, tick);
        ticks.start(30);
    }
    std::thread worker([&] {
        try {
            result = work();
        } catch (...) {
            raised = std::current_exception();
        }
        recorded = CurrentError();
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    loop.exec();
    worker.join();
    CurrentError() = recorded;
    if (raised)
        std::rethrow_exception(raised);
    return *result;
}
