#pragma once
#include "audio/EngineLoop.h"

#include <QObject>
#include <QTimer>

namespace tarnival {

// The engine's messages and timer on the Qt event loop of the thread that creates this.
class QtEngineLoop : public EngineLoop {
  public:
    QtEngineLoop();
    void post(std::function<void()> task) override;
    void startTimer(int intervalMs, std::function<void()> tick) override;
    void stopTimer() override;

  private:
    QObject context_;
    QTimer timer_;
    std::function<void()> tick_;
};

} // namespace tarnival
