#pragma once
#include "dialogs/ProgressWindow.h"
#include "document/UserInterface.h"

#include <QElapsedTimer>
#include <QPointer>

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
    void setProgressTitle(const std::string& title) override;
    void setCancelEnabled(bool enabled) override;
    bool pumpAndTakeCancel() override;
    std::optional<std::string> locateFile(const std::string& title, const std::string& filter,
                                          const std::string& proposedName) override;
    bool editScanOptions(ScanSettings& settings) override;
    // Status pane 1..3, for the frame to size and to cover during playback.
    QLabel* pane(int index) const { return index >= 1 && index <= 3 ? panes_[index] : nullptr; }

    // The window while an operation runs (tests and the gallery look at it).
    ProgressWindow* progressWindow() const { return progress_; }

  private:
    static constexpr int kPumpMilliseconds = 20;
    QElapsedTimer pumped_;
    QMainWindow* window_;
    QLabel* panes_[4] = {};
    QPointer<ProgressWindow> progress_;
};

} // namespace tarnival
