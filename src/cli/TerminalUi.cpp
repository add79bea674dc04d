#include "cli/TerminalUi.h"

#include <algorithm>
#include <cstdio>
#include <unistd.h>

namespace tarnival {

volatile std::sig_atomic_t TerminalUi::interrupted = 0;
volatile std::sig_atomic_t TerminalUi::terminating = 0;

namespace {
std::string oneLine(std::string s) {
    for (auto& c : s)
        if (c == '\n' || c == '\r') c = ' ';
    return s;
}
} // namespace

TerminalUi::TerminalUi(bool assumeYes, bool quiet)
    : assumeYes_(assumeYes), quiet_(quiet), tty_(isatty(STDERR_FILENO) != 0) {}

void TerminalUi::message(const std::string& text, const std::string&) {
    if (shown_ && tty_) std::fputs("\r\033[K", stderr);
    std::fprintf(stderr, "tarnival: %s\n", oneLine(text).c_str());
}

namespace {

// The questions that follow a Cancel press want the answer that stops the work: Yes to "Really
// Cancel?" and its kind, No to the three-way question about loading without the scan.
Answer stoppingAnswer(Buttons buttons) {
    switch (buttons) {
    case Buttons::Ok:
        return Answer::Ok;
    case Buttons::OkCancel:
        return Answer::Cancel;
    case Buttons::YesNo:
        return Answer::Yes;
    case Buttons::YesNoCancel:
        return Answer::No;
    }
    return Answer::No;
}

Answer policyAnswer(Buttons buttons, bool assumeYes) {
    switch (buttons) {
    case Buttons::Ok:
        return Answer::Ok;
    case Buttons::OkCancel:
        return assumeYes ? Answer::Ok : Answer::Cancel;
    default:
        return assumeYes ? Answer::Yes : Answer::No;
    }
}

const char* answerText(Answer a) {
    switch (a) {
    case Answer::Yes:
        return "yes";
    case Answer::Ok:
        return "ok";
    case Answer::No:
        return "no";
    case Answer::Cancel:
        return "cancel";
    }
    return "";
}

} // namespace

Answer TerminalUi::ask(const std::string& text, const std::string&, Buttons buttons) {
    Answer a = stopping_ ? stoppingAnswer(buttons) : policyAnswer(buttons, assumeYes_);
    stopping_ = false;
    if (!quiet_) {
        if (shown_ && tty_) std::fputs("\r\033[K", stderr);
        std::fprintf(stderr, "tarnival: %s -> %s\n", oneLine(text).c_str(), answerText(a));
    }
    return a;
}

void TerminalUi::progressBegin(const std::vector<std::string>& tasks) {
    tasks_ = tasks;
    shown_ = true;
    setCurrentTask(0);
}

void TerminalUi::progressEnd() {
    if (shown_ && tty_ && !quiet_) std::fputs("\r\033[K", stderr);
    shown_ = false;
}

void TerminalUi::setTaskText(int index, const std::string& text) {
    if (index >= static_cast<int>(tasks_.size())) tasks_.resize(static_cast<size_t>(index) + 1);
    tasks_[static_cast<size_t>(index)] = text;
}

void TerminalUi::setCurrentTask(int index) {
    task_ = index;
    lastPercent_ = -1;
    taskStart_ = std::chrono::steady_clock::now();
}

void TerminalUi::setProgressRange(int64_t low, int64_t high) {
    low_ = low;
    high_ = high;
    taskStart_ = std::chrono::steady_clock::now();
}

void TerminalUi::setProgressPosition(int64_t position) {
    pos_ = position;
    draw();
}

void TerminalUi::draw() {
    if (quiet_ || !tty_ || high_ <= low_) return;
    int percent =
        static_cast<int>(std::clamp<int64_t>((pos_ - low_) * 100 / (high_ - low_), 0, 100));
    auto now = std::chrono::steady_clock::now();
    if (percent == lastPercent_ && now - lastDraw_ < std::chrono::milliseconds(250)) return;
    lastPercent_ = percent;
    lastDraw_ = now;
    double elapsed = std::chrono::duration<double>(now - taskStart_).count();
    double left = percent > 0 ? elapsed * (100 - percent) / percent : 0;
    std::string task = task_ >= 0 && task_ < static_cast<int>(tasks_.size())
                           ? tasks_[static_cast<size_t>(task_)]
                           : std::string();
    int filled = percent * 30 / 100;
    std::fprintf(stderr, "\r\033[K%-28.28s [%s%s] %3d%%  %4.0fs left", task.c_str(),
                 std::string(static_cast<size_t>(filled), '#').c_str(),
                 std::string(static_cast<size_t>(30 - filled), '.').c_str(), percent, left);
}

bool TerminalUi::pumpAndTakeCancel() {
    if (!interrupted) return false;
    interrupted = 0;
    stopping_ = true;
    if (!quiet_)
        std::fputs(tty_ ? "\r\033[Ktarnival: interrupted; stopping\n"
                        : "tarnival: interrupted; stopping\n",
                   stderr);
    return true;
}

} // namespace tarnival
