#pragma once
#include <functional>

namespace tarnival {

// The thread that owns an audio engine, seen from the engine: work posted here runs later, in
// order, on that thread (the engine's own messages to itself), and a periodic timer calls back
// on it too. The GUI and the command line back it with the Qt event loop; tests run it by hand.
class EngineLoop {
  public:
    virtual ~EngineLoop() = default;
    virtual void post(std::function<void()> task) = 0;
    // Calls tick every intervalMs until stopTimer(); one timer per owner is enough here, so a
    // second start replaces the first.
    virtual void startTimer(int intervalMs, std::function<void()> tick) = 0;
    virtual void stopTimer() = 0;
};

} // namespace tarnival
