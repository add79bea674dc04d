#pragma once
#include "tracks/TrackDetection.h"

#include <QDialog>

class QCheckBox;
class QComboBox;
class QRadioButton;

namespace tarnival {

// "Re-Scan for Tracks": detect the tracks again, to a target count, or remove them all.
class RescanTracksDialog : public QDialog {
  public:
    RescanTracksDialog(QWidget* parent, bool gapless);
    RescanChoice choice() const;

    QRadioButton* modeButton(RescanMode mode) const;
    QComboBox* countCombo() const { return count_; }
    QCheckBox* gaplessBox() const { return gapless_; }

  private:
    QRadioButton* modes_[3];
    QComboBox* count_;
    QCheckBox* gapless_;
};

} // namespace tarnival
