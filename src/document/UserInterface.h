#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace tarnival {

struct ScanSettings;

enum class Answer { Ok, Yes, No, Cancel };
enum class Buttons { Ok, YesNo, YesNoCancel, OkCancel };

// Everything the engine does with the user goes through here: message boxes, questions, the
// beep, status panes, and the modeless progress display with its task list and Cancel button.
// The GUI implements it with Qt, the CLI with the terminal, tests with scripted answers.
class UserInterface {
  public:
    virtual ~UserInterface() = default;

    virtual void message(const std::string& text, const std::string& caption = "Tarnival") = 0;
    virtual Answer ask(const std::string& text, const std::string& caption, Buttons buttons) = 0;
    virtual void beep() = 0;
    // Panes 1..3 of the status bar (state, clicks, tracks).
    virtual void setStatusPane(int pane, const std::string& text) = 0;

    // Progress display. Tasks are the lines of the task list.
    virtual void progressBegin(const std::vector<std::string>& tasks) = 0;
    virtual void progressEnd() = 0;
    virtual bool progressShown() const = 0;
    virtual void setTaskText(int index, const std::string& text) = 0;
    virtual void setCurrentTask(int index) = 0;
    virtual void markTask(int index) = 0; // attention mark, e.g. a cancelled task
    virtual void setProgressRange(int64_t low, int64_t high) = 0;
    virtual void setProgressPosition(int64_t position) = 0;
    virtual void setProgressText(int line, const std::string& text) = 0; // line 0 or 1
    // The progress window's caption ("Applying Filters") and whether its Cancel button may be
    // pressed; front ends without either keep the defaults.
    virtual void setProgressTitle(const std::string& /*title*/) {}
    virtual void setCancelEnabled(bool /*enabled*/) {}

    // The scan options dialog before a file is processed; false when the user cancels. Front
    // ends without a dialog keep the settings they were given.
    virtual bool editScanOptions(ScanSettings& /*settings*/) { return true; }

    // An open-file dialog for a file that was not where it was expected: the chosen path, or
    // nothing when the user cancels. Front ends without a dialog cancel.
    virtual std::optional<std::string> locateFile(const std::string& /*title*/,
                                                  const std::string& /*filter*/,
                                                  const std::string& /*proposedName*/) {
        return std::nullopt;
    }

    // Runs pending interface events; returns whether Cancel was pressed since the last call and
    // clears that flag.
    virtual bool pumpAndTakeCancel() = 0;
    // The program has been asked to end (a terminal's interrupt or termination signal): even
    // work that cannot be cancelled stops at its next safe point.
    virtual bool stopRequested() const { return false; }
};

// Shows the progress display for a scope and closes it however the work ends, so an error
// cannot leave the main window disabled. doneStatus, when given, goes into status pane 1 then.
class ProgressScope {
  public:
    ProgressScope(UserInterface& ui, const std::vector<std::string>& tasks,
                  std::string doneStatus = {})
        : ui_(ui), doneStatus_(std::move(doneStatus)) {
        ui_.progressBegin(tasks);
    }
    ~ProgressScope() {
        ui_.progressEnd();
        if (!doneStatus_.empty()) ui_.setStatusPane(1, doneStatus_);
    }
    ProgressScope(const ProgressScope&) = delete;
    ProgressScope& operator=(const ProgressScope&) = delete;

  private:
    UserInterface& ui_;
    std::string doneStatus_;
};

// The percentage text of the progress bar: "%d%%", 100 only at exactly 100.
std::string progressPercentText(int64_t position, int64_t low, int64_t high);

} // namespace tarnival
