#pragma once
#include "dsp/GraphicCurve.h"

#include <QDialog>
#include <QSpinBox>

#include <functional>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace tarnival {

class Profile;
class UserInterface;

// The drawing area of the graphic filter editor: the curve over frequency, its points grabbed
// and dragged with the mouse, Insert and Delete for points.
class GraphArea : public QWidget {
  public:
    static constexpr int kLeftMargin = 20;
    static constexpr int kBottomMargin = 16;
    static constexpr int kDivisions = 5;

    GraphArea(QWidget* parent, GraphCurve& curve, int rate, UserInterface& ui);
    void setZoom(int zoom); // 1, or 10 for "LF Expand"
    void setDbPerDivision(int db);
    void setCurrent(int index);
    int current() const { return current_; }
    // Called after every change of the curve by the user.
    void onChanged(std::function<void()> changed) { changed_ = std::move(changed); }
    // Called when the current point or its place changes (the readout).
    void onMoved(std::function<void()> moved) { moved_ = std::move(moved); }

    // Mapping between the widget and the curve.
    int binAt(int x) const;
    int xOf(double bin) const;
    int levelAt(int y) const;
    int yOf(double level) const;
    int zeroY() const;
    QString readout() const;

    QSize sizeHint() const override { return {520, 260}; }

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

  private:
    int plotWidth() const { return std::max(1, width() - kLeftMargin - 4); }
    int plotHeight() const { return std::max(1, height() - kBottomMargin - 4); }
    void moveCurrent(int x, int y);
    void changed();

    GraphCurve& curve_;
    int rate_;
    UserInterface& ui_;
    int zoom_ = 1;
    int dbPerDiv_ = 10;
    int current_ = 0;
    bool grabbed_ = false;
    std::function<void()> changed_;
    std::function<void()> moved_;
};

// The up-down control of the vertical scale: 1, 2, 5, 10 or 20 dB per division.
class DbScaleBox : public QSpinBox {
  public:
    explicit DbScaleBox(QWidget* parent);
    int dbPerDivision() const;

  protected:
    QString textFromValue(int value) const override;
    int valueFromText(const QString& text) const override;
};

// "Graphical Filter Editor": create, change, save and delete named gain curves.
class CGraphDlg : public QDialog {
  public:
    static constexpr const char* kNewFilter = "<Create New Filter>";

    CGraphDlg(QWidget* parent, Profile& profile, UserInterface& ui, int rate,
              const std::string& name);

    // The filter chosen in the list when the editor closed; empty for a new one.
    std::string chosenName() const;
    const GraphCurve& curve() const { return curve_; }
    GraphCurve& curve() { return curve_; }
    bool changed() const { return changed_; }

    GraphArea* area() const { return area_; }
    QComboBox* list() const { return list_; }
    QLineEdit* nameEdit() const { return name_; }
    QCheckBox* lfExpandBox() const { return lfExpand_; }
    DbScaleBox* scaleBox() const { return scale_; }
    QLabel* readoutLabel() const { return readout_; }
    QPushButton* button(const QString& text) const;

    void choose(int index);
    void save();
    void deleteFilter();
    void undoChanges();
    void done(int result) override;

  private:
    void load(const std::string& name);
    void updateTitle();
    void markChanged();

    Profile& profile_;
    UserInterface& ui_;
    int rate_;
    GraphCurve curve_;
    bool changed_ = false;
    int shown_ = 0;
    GraphArea* area_;
    QComboBox* list_;
    QLineEdit* name_;
    QCheckBox* lfExpand_;
    DbScaleBox* scale_;
    QLabel* readout_;
};

// "View Profile": the measured noise profile of each channel over frequency.
class ProfilePlot : public QWidget {
  public:
    ProfilePlot(QWidget* parent, const NoiseProfile& profile, int rate);
    QSize sizeHint() const override { return {520, 280}; }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    NoiseProfile profile_;
    int rate_;
};

} // namespace tarnival
