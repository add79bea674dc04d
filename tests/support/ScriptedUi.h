#pragma once
#include "document/UserInterface.h"

#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace tarnival::test {

// A UserInterface that records everything it is told and answers questions from a queue
// (Answer::Yes when the queue is empty). cancelAt makes pumpAndTakeCancel report a Cancel press
// on the given pump calls (1-based).
class ScriptedUi : public UserInterface {
  public:
    std::vector<std::string> messages;
    std::vector<std::string> questions;
    std::deque<Answer> answers;
    std::vector<int> cancelAt;
    int pumps = 0;
    int beeps = 0;
    std::vector<std::string> statusPanes = std::vector<std::string>(4);
    std::vector<std::string> tasks;
    std::vector<std::string> progressLines = std::vector<std::string>(2);
    int currentTask = -1;
    int markedTask = -1;
    bool shown = false;
    std::string progressTitle;
    bool cancelEnabled = true;
    int64_t low = 0, high = 0, position = 0;
    // The scan options dialog: how often it was shown, what it answers, and an optional edit
    // made to the settings as if the user had changed them.
    int scanOptionsShown = 0;
    bool scanOptionsResult = true;
    std::function<void(ScanSettings&)> onScanOptions;

    void message(const std::string& text, const std::string& caption) override;
    Answer ask(const std::string& text, const std::string& caption, Buttons buttons) override;
    void beep() override { ++beeps; }
    void setStatusPane(int pane, const std::string& text) override;
    void progressBegin(const std::vector<std::string>& t) override;
    void progressEnd() override { shown = false; }
    bool progressShown() const override { return shown; }
    void setTaskText(int index, const std::string& text) override;
    void setCurrentTask(int index) override { currentTask = index; }
    void markTask(int index) override { markedTask = index; }
    void setProgressRange(int64_t l, int64_t h) override { low = l, high = h; }
    void setProgressPosition(int64_t p) override { position = p; }
    void setProgressText(int line, const std::string& text) override;
    void setProgressTitle(const std::string& title) override { progressTitle = title; }
    void setCancelEnabled(bool enabled) override { cancelEnabled = enabled; }
    bool editScanOptions(ScanSettings& settings) override;
    bool pumpAndTakeCancel() override;

    // The locate-file dialog: what it was shown with, and the answers it gives in turn (an
    // empty queue or nothing: Cancel).
    std::vector<std::string> locateTitles;
    std::vector<std::string> locateProposed;
    std::deque<std::optional<std::string>> locateAnswers;
    std::optional<std::string> locateFile(const std::string& title, const std::string&,
                                          const std::string& proposedName) override {
        locateTitles.push_back(title);
        locateProposed.push_back(proposedName);
        if (locateAnswers.empty()) return std::nullopt;
        std::optional<std::string> a = locateAnswers.front();
        locateAnswers.pop_front();
        return a;
    }
};

} // namespace tarnival::test
