#pragma once
#include "document/UserInterface.h"

#include <chrono>
#include <csignal>
#include <string>

namespace tarnival {

// The seam on a terminal: messages to stderr, questions answered by a fixed policy (there may be
// no terminal to ask), and a one-line progress bar with the time left.
class TerminalUi : public UserInterface {
  public:
    // assumeYes: answer Yes to every question; otherwise questions get their safe answer (No).
    // Right after an interrupt the engine's cancel question is answered so that the work stops.
    explicit TerminalUi(bool assumeYes, bool quiet = false);

    void message(const std::string& text, const std::string& caption) override;
    Answer ask(const std::string& text, const std::string& caption, Buttons buttons) override;
    void beep() override {}
    void setStatusPane(int, const std::string&) override {}
    void progressBegin(const std::vector<std::string>& tasks) override;
    void progressEnd() override;
    bool progressShown() const override { return shown_; }
    void setTaskText(int index, const std::string& text) override;
    void setCurrentTask(int index) override;
    void markTask(int) override {}
    void setProgressRange(int64_t low, int64_t high) override;
    void setProgressPosition(int64_t position) override;
    void setProgressText(int, const std::string&) override {}
    bool pumpAndTakeCancel() override;
    bool stopRequested() const override { return terminating != 0; }

    // Set from a signal handler: the next pump reports Cancel, and every later step stops.
    static volatile std::sig_atomic_t interrupted;
    static volatile std::sig_atomic_t terminating;

  private:
    void draw();

    bool assumeYes_;
    bool quiet_;
    bool tty_;
    bool shown_ = false;
    bool stopping_ = false;
    std::vector<std::string> tasks_;
    int task_ = 0;
    int64_t low_ = 0, high_ = 0, pos_ = 0;
    int lastPercent_ = -1;
    std::chrono::steady_clock::time_point taskStart_;
    std::chrono::steady_clock::time_point lastDraw_;
};

} // namespace tarnival
