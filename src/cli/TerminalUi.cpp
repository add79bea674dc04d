#include "cli/TerminalUi.h"

#include <cstdio>
#include <unistd.h>

namespace tarnival {

volatile int TerminalUi::interrupted = 0;

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

Answer TerminalUi::ask(const std::string& text, const std::string&, Buttons buttons) {
    Answer a = Answer::No;
    switch (buttons) {
    case Buttons::Ok:
        a = Answer::Ok;
        break;
    case Buttons::OkCancel:
        a = assumeYes_ ? Answer::Ok : Answer::Cancel;
        break;
    default:
        a = assumeYes_ ? Answer::Yes : Answer::No;
        break;
    }
    if (!quiet_) {
        if (shown_ && tty_) std::fputs("\r\033[K", stderr);
        std::fprintf(stderr, "tarnival: %s -> %s\n", oneLine(text).c_str(),
                     a == Answer::Yes  ? "yes"
                     : a == Answer::Ok ? "ok"
                     : a == Answer::No ? "no"
                                       : "cancel");
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
    int percent = static_cast<int>((pos_ - low_) * 100 / (high_ - low_));
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
    return true;
}

} // namespace tarnival
