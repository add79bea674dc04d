// Pieces the benchmark programs share: a user interface that answers Yes and stays quiet, a
// settings store that keeps the working file beside the input, and a stopwatch.
#pragma once
#include "document/Profile.h"
#include "document/UserInterface.h"
#include "facade/Document.h"

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace tarnival::bench {

// Answers every question with Yes, never cancels, and ignores progress. Messages are kept (and
// echoed to stderr) because an unexpected one means the figures are not what they seem.
class YesUi : public UserInterface {
  public:
    std::vector<std::string> messages;
    // Optional hooks for phase timing.
    std::function<void(int)> onCurrentTask;
    std::function<void(int, const std::string&)> onProgressText;
    std::function<void()> onProgressEnd;

    void message(const std::string& text, const std::string&) override {
        messages.push_back(text);
        std::fprintf(stderr, "[message] %s\n", text.c_str());
    }
    Answer ask(const std::string&, const std::string&, Buttons) override { return Answer::Yes; }
    void beep() override {}
    void setStatusPane(int, const std::string&) override {}
    void progressBegin(const std::vector<std::string>&) override { shown_ = true; }
    void progressEnd() override {
        shown_ = false;
        if (onProgressEnd) onProgressEnd();
    }
    bool progressShown() const override { return shown_; }
    void setTaskText(int, const std::string&) override {}
    void setCurrentTask(int index) override {
        if (onCurrentTask) onCurrentTask(index);
    }
    void markTask(int) override {}
    void setProgressRange(int64_t, int64_t) override {}
    void setProgressPosition(int64_t) override {}
    void setProgressText(int line, const std::string& text) override {
        if (onProgressText) onProgressText(line, text);
    }
    bool pumpAndTakeCancel() override { return false; }

  private:
    bool shown_ = false;
};

// Default settings, except that the working file goes beside the input so that it lands on
// the same filesystem as the copy it is compared with.
inline void useSameFolder(MemoryProfile& profile) {
    profile.setInt("Settings", "Temp Mode", ids::kTempSameFolder);
}

using Clock = std::chrono::steady_clock;
inline double secondsSince(Clock::time_point t) {
    return std::chrono::duration<double>(Clock::now() - t).count();
}

// Seconds of audio in the open document.
inline double audioSeconds(const CMorvath3Doc& doc) {
    const WaveLayout& l = doc.store.layout;
    return static_cast<double>(l.dataLength()) / 4.0 / l.sampleRate;
}

} // namespace tarnival::bench
