#pragma once
#include <QDialog>

#include <optional>

class QCheckBox;
class QGroupBox;
class QLabel;
class QPushButton;
class QSlider;

namespace tarnival {

// "Normalise Amplitude": the new peak level for a wave whose largest sample is maxSample.
class NormaliseDialog : public QDialog {
  public:
    NormaliseDialog(QWidget* parent, int maxSample);
    QSlider* slider() const { return slider_; }
    QLabel* levelLabel() const { return level_; }
    QLabel* currentLabel() const { return current_; }
    QPushButton* normaliseButton() const { return normalise_; }
    int peakDb() const;

  private:
    QSlider* slider_;
    QLabel* level_;
    QLabel* current_;
    QPushButton* normalise_;
};

// "Re-Balance Channels": a balance in dB, or the estimate from the whole recording.
class BalanceDialog : public QDialog {
  public:
    BalanceDialog(QWidget* parent, std::optional<double> estimate);
    QSlider* slider() const { return slider_; }
    QGroupBox* group() const { return group_; }
    QLabel* estimateLabel() const { return estimate_; }
    QCheckBox* autoBox() const { return auto_; }
    QPushButton* applyButton() const { return apply_; }
    // The ratio to apply: the estimate with "Auto-Balance", else the slider's.
    std::optional<double> ratio() const;

  private:
    std::optional<double> estimateRatio_;
    QSlider* slider_;
    QGroupBox* group_;
    QLabel* estimate_;
    QCheckBox* auto_;
    QPushButton* apply_;
};

} // namespace tarnival
