#pragma once
#include <QDialog>

class QButtonGroup;
class QLineEdit;

namespace tarnival {

class Profile;

// "Find Correction": the criterion of Find Next / Find Previous, a magnitude, an entry kind or a
// jump by time (with one turn of a 33, 45 or 78 record as presets).
class FindDialog : public QDialog {
    Q_OBJECT
  public:
    FindDialog(Profile& profile, int criterion, QWidget* parent = nullptr);
    int criterion() const { return criterion_; }
    bool forward() const { return forward_; }
    QLineEdit* customEdit() const { return custom_; }
    QLineEdit* timeEdit() const { return time_; }
    QButtonGroup* buttons() const { return group_; }
    void choosePreset(const QString& seconds);

  private:
    void finish(bool forward);
    void enableEdits();

    Profile& profile_;
    QButtonGroup* group_;
    QLineEdit* custom_;
    QLineEdit* time_;
    int criterion_;
    bool forward_ = true;
};

// "Correction List": which corrections the list shows.
class ListDialog : public QDialog {
    Q_OBJECT
  public:
    ListDialog(Profile& profile, QWidget* parent = nullptr);
    QButtonGroup* buttons() const { return group_; }
    QLineEdit* magnitudeEdit() const { return magnitude_; }
    void accept() override;

  private:
    Profile& profile_;
    QButtonGroup* group_;
    QLineEdit* magnitude_;
};

} // namespace tarnival
