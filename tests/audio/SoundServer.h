#pragma once
// Real audio for the tests: a private PulseAudio server with a null sink (scripts/
// sound-server.sh), helper processes started and stopped by their own pid, and comparisons of
// captured audio with what was meant to be heard.
#include "support/Signals.h"

#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace tarnival::test {

// The server the tests use, started for this process when none with a null sink answers.
// Empty reason when ready; otherwise why not (the tests then skip with it).
std::string soundServerProblem();
// Device numbers of the null sink's playback device and of the source recording its monitor.
int nullOutputDevice();
int nullInputDevice();

// A Qt application object for the devices, made once.
void ensureQtApplication();
// Runs the Qt event loop until done() or the timeout; returns done().
bool runEventsUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout);

// A program started directly (no shell), stopped by its own pid.
class ChildProcess {
  public:
    explicit ChildProcess(const std::vector<std::string>& argv, const std::string& stdoutPath = {});
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;
    bool started() const { return pid_ > 0; }
    // Sends a signal (SIGTERM by default) and waits; returns the exit status (or -signal).
    int stop(int signal = 15);
    // Waits for the program to end by itself; -1 on timeout.
    int wait(std::chrono::milliseconds timeout);

  private:
    int pid_ = -1;
    int status_ = -1;
};

// Records the null sink's monitor with parec into a raw file (16-bit stereo, 44.1 kHz).
class MonitorCapture {
  public:
    explicit MonitorCapture(const std::string& rawPath);
    // Waits until audio flows; false when it never does.
    bool waitUntilFlowing();
    // Stops and returns what was recorded.
    Stereo finish();

  private:
    std::string path_;
    ChildProcess parec_;
};

// Where `part` starts in `whole` (frames), by the best normalised cross-correlation near the
// first sound in `whole`; correlation gets that value.
int bestLag(const Stereo& whole, const Stereo& part, double& correlation);
// Normalised correlation of `a` with `b` starting at frame `lag` of `a`, over b's length.
// The first frame with a sample beyond +-limit, or -1.
int firstSound(const Stereo& s, int limit);
double correlationAt(const Stereo& a, const Stereo& b, int lag);
double rmsOf(const Stereo& s, int fromFrame, int frames);
// The longest run of frames (within [fromFrame, toFrame)) whose samples are all within +-limit.
int longestQuietRun(const Stereo& s, int fromFrame, int toFrame, int limit = 2);
Stereo slice(const Stereo& s, int fromFrame, int frames);

} // namespace tarnival::test
