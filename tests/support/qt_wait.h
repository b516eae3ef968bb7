#pragma once
// Bounded waits for tests that run a Qt event loop on their own thread: queued calls, timers and
// signals are delivered while the condition is polled.
#include <QCoreApplication>
#include <QEventLoop>
#include <chrono>
#include <functional>

#include "support/test_support.h"

namespace winorvex::test {

// Processes this thread's events until the condition holds or the deadline passes.
inline bool PumpEventsUntil(const std::function<bool()>& done, std::chrono::milliseconds deadline) {
    return WaitFor(
        [&done] {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
            return done();
        },
        deadline);
}

}  // namespace winorvex::test
