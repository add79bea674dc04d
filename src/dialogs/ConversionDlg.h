#pragma once
#include "audio/Recorder.h"

#include <QDialog>

#include <memory>
#include <string>

class QCheckBox;
class QLabel;
class QPushButton;
class QRadioButton;
class QTimeEdit;

namespace tarnival {

class Profile;
class UserInterface;

// The level meter of the recorder: two bars coloured by length, the peak-hold marks and the
// overload lamps, as the recorder's display meter says.
class MeterWidget : public QWidget {
  public:
    MeterWidget(QWidget* parent, Recorder& recorder);
    QSize sizeHint() const override { return {360, 58}; }
    // The bars' length in pixels: the width the recorder's meter is told.
    int barWidth() const;

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    Recorder& recorder_;
};

// "Record New Wave File": records from the chosen input device into a new wave file.
class CConversionDlg : public QDialog, private RecorderObserver {
  public:
    CConversionDlg(QWidget* parent, Profile& profile, UserInterface& ui, AudioInput& input,
                   const std::string& path, bool replaceExisting);
    ~CConversionDlg() override;

    // Whether the target file was created.
    bool ready() const { return ready_; }
    // "Scan Now" was chosen: the recorded file is to be loaded.
    bool scanRequested() const { return scan_; }
    Recorder& recorder() { return *recorder_; }

    QPushButton* button(const QString& name) const; // "record", "stop", "scan", "done",
                                                    // "override", "volume", "clearPeak"
    QRadioButton* rateButton(int rate) const;
    QRadioButton* conversionButton(int convertMode) const;
    QRadioButton* modeButton(int mode) const;
    QTimeEdit* durationEdit() const { return duration_; }
    QCheckBox* delayedBox() const { return delayed_; }
    QTimeEdit* startEdit() const { return start_; }
    QTimeEdit* stopEdit() const { return stop_; }
    QLabel* statusLabel() const { return status_; }
    QLabel* timeLabel() const { return time_; }
    QLabel* peakLabel() const { return peak_; }
    QLabel* deviceLabel() const { return device_; }
    QLabel* startNextDayLabel() const { return startNextDay_; }
    MeterWidget* meter() const { return meter_; }

    void done(int result) override;

  private:
    void recorderChanged() override;
    void refresh();
    void chooseRate(int rate);
    void chooseConversion(int mode);
    void chooseMode(int mode);
    void timesEdited(int which);

    Profile& profile_;
    UserInterface& ui_;
    std::unique_ptr<Recorder> recorder_;
    bool ready_ = false;
    bool scan_ = false;
    bool refreshing_ = false;
    QRadioButton* rates_[2];
    QRadioButton* conversions_[3];
    QRadioButton* modes_[3];
    QTimeEdit* duration_;
    QCheckBox* delayed_;
    QTimeEdit* start_;
    QTimeEdit* stop_;
    QLabel* startNextDay_;
    QLabel* stopNextDay_;
    QLabel* status_;
    QLabel* time_;
    QLabel* peak_;
    QLabel* device_;
    QLabel* lowSpace_;
    MeterWidget* meter_;
};

} // namespace tarnival
