#include "devices/QtEngineLoop.h"

#include <QMetaObject>

namespace tarnival {

QtEngineLoop::QtEngineLoop() {
    timer_.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer_, &QTimer::timeout, &context_, [this] {
        if (tick_) tick_();
    });
}

void QtEngineLoop::post(std::function<void()> task) {
    // Queued even on the owning thread: the work runs after the current call has returned.
    QMetaObject::invokeMethod(&context_, std::move(task), Qt::QueuedConnection);
}

void QtEngineLoop::startTimer(int intervalMs, std::function<void()> tick) {
    tick_ = std::move(tick);
    timer_.start(intervalMs);
}

void QtEngineLoop::stopTimer() {
    timer_.stop();
    tick_ = nullptr;
}

} // namespace tarnival
