#include "dialogs/FiltersDialog.h"
#include "dialogs/Dialogs.h"
#include "dialogs/FilterTestWindow.h"
#include "dsp/FilterChain.h"
#include "dsp/GraphicCurve.h"
#include "dsp/NoiseProfile.h"
#include "facade/Document.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QVBoxLayout>

#include <algorithm>

namespace tarnival {

namespace {
QString q(const std::string& s) {
    return QString::fromStdString(s);
}

QSlider* levelSlider(QWidget* parent, int low, int high, int value) {
    auto* s = new QSlider(Qt::Horizontal, parent);
    s->setRange(low, high);
    s->setPageStep(1);
    s->setValue(std::clamp(value, low, high));
    s->setTickPosition(QSlider::TicksBelow);
    s->setTickInterval(1);
    s->setMinimumWidth(160);
    return s;
}
} // namespace

FiltersDialog::FiltersDialog(QWidget* parent, Profile& profile, UserInterface& ui, int rate,
                             const FilterSettings& settings, const AppliedFilters& applied,
                             Form form)
    : QDialog(parent), profile_(profile), ui_(ui), rate_(rate), base_(settings) {
    const bool configure = form == Form::Configure;
    setWindowTitle(configure ? "Configure Filters" : "Apply Filter(s)");

    auto* filters = new QGroupBox(configure ? "Filters" : "Apply Selected Filter(s)", this);
    rumble_ = new QCheckBox("Rumble", filters);
    rumble_->setChecked(settings.RumbleOn);
    hum_ = new QCheckBox("Hum", filters);
    hum_->setChecked(settings.HumOn);
    hiss_ = new QCheckBox("Hiss Filter", filters);
    hiss_->setChecked(settings.HissOn);
    hissLevel_ = levelSlider(filters, 0, 3, settings.HissLevel);
    hissLabel_ = new QLabel(q(HissCaption(hissLevel_->value())), filters);
    treble_ = new QCheckBox("Treble Cut/Lift", filters);
    treble_->setChecked(settings.TrebleOn);
    trebleLevel_ = levelSlider(filters, -3, 3, settings.TrebleLevel);
    trebleLabel_ = new QLabel(q(TrebleCaption(trebleLevel_->value())), filters);
    graphic_ = new QCheckBox("Graphical Equaliser", filters);
    graphic_->setChecked(settings.GraphicOn);
    graphicList_ = new QComboBox(filters);
    graphicList_->setMinimumWidth(180);
    edit_ = new QPushButton("New/Edit..", filters);
    // Wide enough for the longest caption either slider can show.
    const int captionWidth = fontMetrics().horizontalAdvance("Hiss Reduction: 20dB") + 16;
    hissLabel_->setMinimumWidth(captionWidth);
    trebleLabel_->setMinimumWidth(captionWidth);

    auto* grid = new QGridLayout(filters);
    grid->addWidget(rumble_, 0, 0);
    grid->addWidget(hum_, 1, 0);
    grid->addWidget(hiss_, 2, 0);
    grid->addWidget(hissLevel_, 2, 1);
    grid->addWidget(hissLabel_, 2, 2);
    grid->addWidget(treble_, 3, 0);
    grid->addWidget(trebleLevel_, 3, 1);
    grid->addWidget(trebleLabel_, 3, 2);
    grid->addWidget(graphic_, 4, 0);
    grid->addWidget(graphicList_, 4, 1);
    grid->addWidget(edit_, 4, 2);

    connect(hissLevel_, &QSlider::valueChanged, this,
            [this](int v) { hissLabel_->setText(q(HissCaption(v))); });
    connect(trebleLevel_, &QSlider::valueChanged, this,
            [this](int v) { trebleLabel_->setText(q(TrebleCaption(v))); });
    for (QCheckBox* box : {hiss_, treble_, graphic_})
        connect(box, &QCheckBox::toggled, this, [this] { updateEnables(); });
    connect(edit_, &QPushButton::clicked, this, [this] {
        const std::string shown = graphicList_->currentText().toStdString();
        std::string chosen = shown;
        showGraphicEditor(this, profile_, ui_, rate_, chosen);
        // The list follows the saved filters; the choice stays what it was while it exists.
        const std::vector<std::string> names = ListCurves(profile_);
        const bool kept = std::find(names.begin(), names.end(), shown) != names.end();
        refillGraphics(kept ? shown : chosen);
    });

    modeBox_ = new QGroupBox(this);
    replace_ = new QRadioButton("Replace Existing", modeBox_);
    superimpose_ = new QRadioButton("Superimpose", modeBox_);
    (settings.ApplyMode == FilterApply::Superimpose ? superimpose_ : replace_)->setChecked(true);
    auto* modeLayout = new QHBoxLayout(modeBox_);
    modeLayout->addWidget(replace_);
    modeLayout->addWidget(superimpose_);
    summary_ = new QLabel(q(AppliedFiltersSummary(applied)), this);
    summary_->setWordWrap(true);

    test_ = new QPushButton("Test...", this);
    connect(test_, &QPushButton::clicked, this, [this] {
        if (tester_) tester_(this->settings());
    });
    confirm_ = new QPushButton(configure ? "OK" : "Apply", this);
    confirm_->setDefault(true);
    auto* cancel = new QPushButton("Cancel", this);
    connect(confirm_, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(test_);
    buttons->addStretch(1);
    buttons->addWidget(confirm_);
    buttons->addWidget(cancel);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(filters);
    layout->addWidget(modeBox_);
    layout->addWidget(summary_);
    layout->addLayout(buttons);
    if (configure) {
        modeBox_->hide();
        summary_->hide();
        test_->hide();
    }
    if (!configure && !settings.hasProfile()) {
        // Hiss and hum are measured against a noise profile; without one they cannot run.
        for (QCheckBox* box : {hum_, hiss_}) {
            box->setChecked(false);
            box->setEnabled(false);
            box->setToolTip("No noise profile: select a quiet stretch and use Capture New Profile");
        }
    }
    refillGraphics(settings.GraphicName);
    updateEnables();
}

void FiltersDialog::setTester(std::function<void(const FilterSettings&)> tester) {
    tester_ = std::move(tester);
}

void FiltersDialog::refillGraphics(const std::string& name) {
    graphicList_->clear();
    for (const std::string& n : ListCurves(profile_)) graphicList_->addItem(q(n));
    int index = graphicList_->findText(q(name));
    graphicList_->setCurrentIndex(index >= 0 ? index : 0);
}

void FiltersDialog::updateEnables() {
    hissLevel_->setEnabled(hiss_->isChecked());
    hissLabel_->setEnabled(hiss_->isChecked());
    trebleLevel_->setEnabled(treble_->isChecked());
    trebleLabel_->setEnabled(treble_->isChecked());
    graphicList_->setEnabled(graphic_->isChecked());
    edit_->setEnabled(graphic_->isChecked());
}

FilterSettings FiltersDialog::settings() const {
    FilterSettings s = base_;
    s.RumbleOn = rumble_->isChecked();
    s.HumOn = hum_->isChecked();
    s.HissOn = hiss_->isChecked();
    s.HissLevel = hissLevel_->value();
    s.TrebleOn = treble_->isChecked();
    s.TrebleLevel = trebleLevel_->value();
    s.GraphicOn = graphic_->isChecked();
    s.GraphicName = graphicList_->currentText().toStdString();
    s.ApplyMode =
        superimpose_->isChecked() ? FilterApply::Superimpose : FilterApply::ReplaceExisting;
    return s;
}

bool showFiltersDialog(QWidget* parent, CMorvath3Doc& doc) {
    if (!doc.isLoaded()) {
        doc.ui().beep();
        return false;
    }
    {
        FilterContext found = doc.filterContext();
        EnsureProfileBlock(found);
    }
    const int rate = doc.store.layout.sampleRate;
    FiltersDialog dialog(parent, doc.profile(), doc.ui(), rate, doc.filters.settings,
                         doc.filters.applied, FiltersDialog::Form::Apply);
    dialog.setTester([&](const FilterSettings& s) {
        FilterTestWindow test(&dialog, doc, s);
        test.exec();
    });
    if (dialog.exec() != QDialog::Accepted) return false;

    FilterSettings chosen = dialog.settings();
    FilterSettings& s = doc.filters.settings;
    s.RumbleOn = chosen.RumbleOn;
    s.TrebleOn = chosen.TrebleOn;
    s.TrebleLevel = chosen.TrebleLevel;
    s.ApplyMode = chosen.ApplyMode;
    if (s.hasProfile()) {
        s.HumOn = chosen.HumOn;
        s.HissOn = chosen.HissOn;
        s.HissLevel = chosen.HissLevel;
    }
    s.GraphicOn = chosen.GraphicOn;
    if (chosen.GraphicOn && !chosen.GraphicName.empty()) {
        // A filter that is damaged or gone cannot be applied; the rest still can.
        if (!SelectGraphicFilter(doc.profile(), doc.ui(), doc.filters, chosen.GraphicName, rate))
            s.GraphicOn = false;
    } else {
        s.GraphicName = chosen.GraphicName;
    }
    FilterContext ctx = doc.filterContext();
    ApplyFilters(ctx);
    doc.editor().invalidate();
    doc.observer().redraw();
    return true;
}

bool showConfigureFiltersDialog(QWidget* parent, Profile& profile, UserInterface& ui, int rate,
                                FilterSettings& settings) {
    FiltersDialog dialog(parent, profile, ui, rate, settings, {}, FiltersDialog::Form::Configure);
    if (dialog.exec() != QDialog::Accepted) return false;
    FilterSettings chosen = dialog.settings();
    chosen.ApplyMode = settings.ApplyMode;
    settings = chosen;
    return true;
}

} // namespace tarnival
