#pragma once
#include <QDialog>

class QLabel;
class QPushButton;

namespace tarnival {

// The floating "User Adjust Mode" window: Apply keeps the adjusted correction or boundary,
// Abort puts it back. It never takes the keys from the waveform view.
class AdjustDialog : public QDialog {
    Q_OBJECT
  public:
    explicit AdjustDialog(QWidget* parent);
    void showFor(const QString& caption, const QString& text);
    QPushButton* applyButton() const { return apply_; }
    QPushButton* abortButton() const { return abort_; }

  signals:
    void applied();
    void aborted();

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    QLabel* text_;
    QPushButton* apply_;
    QPushButton* abort_;
};

} // namespace tarnival
