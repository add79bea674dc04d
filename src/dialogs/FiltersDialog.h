#pragma once
#include "dsp/FilterState.h"

#include <QDialog>

#include <functional>
#include <memory>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QPushButton;
class QRadioButton;
class QSlider;

namespace tarnival {

class Profile;
class UserInterface;

// "Apply Filter(s)", or in its configuration form "Configure Filters" (for a batch: no mode
// radios, no test, no summary).
class FiltersDialog : public QDialog {
  public:
    enum class Form { Apply, Configure };
    FiltersDialog(QWidget* parent, Profile& profile, UserInterface& ui, int rate,
                  const FilterSettings& settings, const AppliedFilters& applied, Form form);

    // The choices as the dialog shows them.
    FilterSettings settings() const;
    // "Test..." hands the current choices to this.
    void setTester(std::function<void(const FilterSettings&)> tester);

    QCheckBox* rumbleBox() const { return rumble_; }
    QCheckBox* humBox() const { return hum_; }
    QCheckBox* hissBox() const { return hiss_; }
    QSlider* hissSlider() const { return hissLevel_; }
    QLabel* hissLabel() const { return hissLabel_; }
    QCheckBox* trebleBox() const { return treble_; }
    QSlider* trebleSlider() const { return trebleLevel_; }
    QLabel* trebleLabel() const { return trebleLabel_; }
    QCheckBox* graphicBox() const { return graphic_; }
    QComboBox* graphicList() const { return graphicList_; }
    QPushButton* editButton() const { return edit_; }
    QRadioButton* replaceButton() const { return replace_; }
    QRadioButton* superimposeButton() const { return superimpose_; }
    QLabel* summaryLabel() const { return summary_; }
    QPushButton* testButton() const { return test_; }
    QPushButton* confirmButton() const { return confirm_; }

    // Fills the graphic list from the saved filters and reselects name when it is still there.
    void refillGraphics(const std::string& name);

  private:
    void updateEnables();

    Profile& profile_;
    UserInterface& ui_;
    int rate_;
    FilterSettings base_;
    std::function<void(const FilterSettings&)> tester_;
    QCheckBox* rumble_;
    QCheckBox* hum_;
    QCheckBox* hiss_;
    QSlider* hissLevel_;
    QLabel* hissLabel_;
    QCheckBox* treble_;
    QSlider* trebleLevel_;
    QLabel* trebleLabel_;
    QCheckBox* graphic_;
    QComboBox* graphicList_;
    QPushButton* edit_;
    QGroupBox* modeBox_;
    QRadioButton* replace_;
    QRadioButton* superimpose_;
    QLabel* summary_;
    QPushButton* test_;
    QPushButton* confirm_;
};

} // namespace tarnival
