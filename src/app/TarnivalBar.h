#pragma once
#include <QLineEdit>
#include <QSpinBox>
#include <QToolBar>

#include <functional>

class QCheckBox;
class QLabel;
class QLineEdit;
class QSlider;

namespace tarnival {

// A spin box over step indexes that shows the value of each step.
class StepSpin : public QSpinBox {
    Q_OBJECT
  public:
    explicit StepSpin(QWidget* parent = nullptr) : QSpinBox(parent) {}
    std::function<QString(int)> stepText;
    // Shows the text of the current step again after the texts changed.
    void refreshText() { lineEdit()->setText(textFromValue(value())); }

  protected:
    QString textFromValue(int value) const override {
        return stepText ? stepText(value) : QSpinBox::textFromValue(value);
    }
    int valueFromText(const QString&) const override { return value(); }
    QValidator::State validate(QString&, int&) const override { return QValidator::Acceptable; }
};

// The control bar: vertical and horizontal scale, trace separation, the channel switches, the
// cursor position and the playback speed.
class TarnivalBar : public QToolBar {
    Q_OBJECT
  public:
    explicit TarnivalBar(QWidget* parent = nullptr);

    StepSpin* vertical() const { return vertical_; }
    StepSpin* horizontal() const { return horizontal_; }
    QSpinBox* traceSep() const { return traceSep_; }
    QCheckBox* left() const { return left_; }
    QCheckBox* right() const { return right_; }
    QLineEdit* cursor() const { return cursor_; }
    QSlider* speed() const { return speed_; }
    QLabel* horizontalLabel() const { return hLabel_; }
    QLabel* speedLabel() const { return speedLabel_; }

    void setHorizontal(const QString& caption, int index, int maximum,
                       std::function<QString(int)> text);
    void setCursorText(const QString& text);
    void setSpeedPosition(int position);

  signals:
    void verticalChanged(int index);
    void horizontalChanged(int index);
    void traceSepChanged(int divisions);
    void channelsChanged(bool left, bool right);
    void speedChanged(int position);

  private:
    void showSpeed(int position);

    StepSpin* vertical_;
    StepSpin* horizontal_;
    QSpinBox* traceSep_;
    QCheckBox* left_;
    QCheckBox* right_;
    QLineEdit* cursor_;
    QSlider* speed_;
    QLabel* hLabel_;
    QLabel* speedLabel_;
    bool quiet_ = false;
};

} // namespace tarnival
