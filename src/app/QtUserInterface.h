#pragma once
#include "document/UserInterface.h"

#include <QPointer>
#include <QProgressDialog>

class QLabel;
class QMainWindow;

namespace tarnival {

// The seam in the GUI: message boxes, the beep, the status bar panes and a progress dialog whose
// Cancel is seen by the engine's once-per-block pump.
class QtUserInterface : public UserInterface {
  public:
    explicit QtUserInterface(QMainWindow* window);

    void message(const std::string& text, const std::string& caption) override;
    Answer ask(const std::string& text, const std::string& caption, Buttons buttons) override;
    void beep() override;
    void setStatusPane(int pane, const std::string& text) override;
    void progressBegin(const std::vector<std::string>& tasks) override;
    void progressEnd() override;
    bool progressShown() const override { return progress_ != nullptr; }
    void setTaskText(int index, const std::string& text) override;
    void setCurrentTask(int index) override;
    void markTask(int index) override;
    void setProgressRange(int64_t low, int64_t high) override;
    void setProgressPosition(int64_t position) override;
    void setProgressText(int line, const std::string& text) override;
    bool pumpAndTakeCancel() override;
    // Status pane 1..3, for the frame to size and to cover during playback.
    QLabel* pane(int index) const { return index >= 1 && index <= 3 ? panes_[index] : nullptr; }

  private:
    void showTasks();

    QMainWindow* window_;
    QLabel* panes_[4] = {};
    QPointer<QProgressDialog> progress_;
    std::vector<std::string> tasks_;
    std::string lines_[2];
    int current_ = 0;
    int marked_ = -1;
    int64_t low_ = 0, high_ = 0;
    bool cancelSeen_ = false;
};

} // namespace tarnival
