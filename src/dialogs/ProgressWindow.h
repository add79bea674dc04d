#pragma once
#include <QDialog>
#include <QElapsedTimer>

#include <cstdint>
#include <string>
#include <vector>

class QLabel;
class QProgressBar;
class QPushButton;

namespace tarnival {

// The task list of the progress window: the current line bold with its arrow, earlier lines
// ticked, one line that may carry the attention mark.
class TaskListWidget : public QWidget {
  public:
    explicit TaskListWidget(QWidget* parent);
    void setTasks(const std::vector<std::string>& tasks);
    void setTaskText(int index, const std::string& text);
    void setCurrent(int index);
    void setMarked(int index);
    const std::vector<std::string>& tasks() const { return tasks_; }
    int current() const { return current_; }
    int marked() const { return marked_; }
    QSize sizeHint() const override;

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    std::vector<std::string> tasks_;
    int current_ = 0;
    int marked_ = -1;
};

// The modeless window every long operation shows: task list, progress bar with percentage, two
// text lines and Cancel. Cancel only raises a flag, which the engine's pump takes once per step.
class ProgressWindow : public QDialog {
  public:
    static constexpr int kTaskLines = 5;

    explicit ProgressWindow(QWidget* parent);

    TaskListWidget* taskList() const { return tasks_; }
    void setRange(int64_t low, int64_t high);
    void setPosition(int64_t position);
    void setLine(int line, const std::string& text);
    void setCancelEnabled(bool enabled);
    // Whether Cancel was pressed since the last call; clears the flag.
    bool takeCancel();

    QString percentText() const;
    QString lineText(int line) const;
    QPushButton* cancelButton() const { return cancel_; }

  protected:
    // Escape and the window's close box press Cancel instead of closing a window whose
    // operation is still running.
    void reject() override;

  private:
    TaskListWidget* tasks_;
    QProgressBar* bar_;
    QLabel* percent_;
    QLabel* lines_[2];
    QPushButton* cancel_;
    static constexpr int kBarMilliseconds = 20;

    int64_t low_ = 0;
    int64_t high_ = 0;
    QElapsedTimer barShown_;
    bool cancelled_ = false;
};

} // namespace tarnival
