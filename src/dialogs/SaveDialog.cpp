#include "dialogs/SaveDialog.h"
#include "dialogs/Dialogs.h"
#include "facade/Document.h"
#include "output/ExternalEncoder.h"
#include "tracks/TrackEditing.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include <filesystem>

namespace tarnival {

namespace {

QString q(const std::string& s) {
    return QString::fromStdString(s);
}

constexpr int kTypes[4] = {ids::kFileWave, ids::kFileApe, ids::kFileOgg, ids::kFileFlac};

int typeSlot(int fileType) {
    for (int i = 0; i < 4; ++i)
        if (kTypes[i] == fileType) return i;
    return 0;
}

} // namespace

SaveDialog::SaveDialog(QWidget* parent, CMorvath3Doc& doc, bool allowSaveAndClose)
    : QDialog(parent), doc_(doc), output_(loadOutputSettings(doc.profile())) {
    setWindowTitle("Save Corrected Waveform");
    const TrackList& tracks = doc.tracks;
    const int trackCount = tracks.trackCount();

    // Output File Type
    auto* typeBox = new QGroupBox("Output File Type", this);
    auto* typeLayout = new QGridLayout(typeBox);
    static const char* typeNames[4] = {"Wave", "Ape", "Ogg", "FLAC"};
    auto* group = new QButtonGroup(this);
    for (int i = 0; i < 4; ++i) {
        types_[i] = new QRadioButton(typeNames[i], typeBox);
        group->addButton(types_[i], i);
        typeLayout->addWidget(types_[i], i / 2, i % 2);
        connect(types_[i], &QRadioButton::clicked, this, [this, i] { chooseType(kTypes[i]); });
    }
    external_ = new QCheckBox("External Encoder", typeBox);
    configure_ = new QPushButton("Configure", typeBox);
    typeLayout->addWidget(external_, 2, 0);
    typeLayout->addWidget(configure_, 2, 1);
    connect(external_, &QCheckBox::clicked, this, [this](bool on) { chooseExternal(on); });
    connect(configure_, &QPushButton::clicked, this, [this] { configure(); });

    // Tracks
    auto* trackBox = new QGroupBox("Tracks", this);
    tracks_ = new QListWidget(trackBox);
    tracks_->setSelectionMode(QAbstractItemView::MultiSelection);
    QFont fixed("monospace");
    fixed.setStyleHint(QFont::TypeWriter);
    tracks_->setFont(fixed);
    tracks_->setMinimumSize(340, 150);
    auto* trackButtons = new QHBoxLayout;
    for (const char* text : {"Select All", "Clear All", "Properties"}) {
        auto* b = new QPushButton(text, trackBox);
        b->setObjectName(text);
        trackButtons->addWidget(b);
    }
    auto* trackLayout = new QVBoxLayout(trackBox);
    trackLayout->addWidget(tracks_);
    trackLayout->addLayout(trackButtons);
    connect(button("Select All"), &QPushButton::clicked, this, [this] {
        rebuilding_ = true;
        tracks_->selectAll();
        rebuilding_ = false;
        rebuild();
    });
    connect(button("Clear All"), &QPushButton::clicked, this, [this] {
        rebuilding_ = true;
        tracks_->clearSelection();
        rebuilding_ = false;
        rebuild();
    });
    connect(button("Properties"), &QPushButton::clicked, this, [this] { trackProperties(); });
    connect(tracks_, &QListWidget::itemSelectionChanged, this, [this] {
        if (!rebuilding_) rebuild();
    });

    // Track Numbering
    auto* numberBox = new QGroupBox("Track Numbering:", this);
    startLabel_ = new QLabel(trackCount < 2 ? "Tr. #:" : "Start #:", numberBox);
    start_ = new QLineEdit("1", numberBox);
    start_->setMaxLength(2);
    start_->setMaximumWidth(fontMetrics().horizontalAdvance("0000") + 12);
    consecutive_ =
        new QCheckBox(trackCount < 2 ? "Re-number track" : "Consecutive Numbering", numberBox);
    auto* numberLayout = new QHBoxLayout(numberBox);
    numberLayout->addWidget(startLabel_);
    numberLayout->addWidget(start_);
    numberLayout->addWidget(consecutive_);
    numberLayout->addStretch(1);
    connect(start_, &QLineEdit::textEdited, this, [this] { startEdited(); });
    connect(consecutive_, &QCheckBox::toggled, this, [this] { rebuild(); });

    // File Naming Rule, Output Folder
    rule_ = new QComboBox(this);
    rule_->setEditable(true);
    rule_->setInsertPolicy(QComboBox::NoInsert);
    for (const std::string& r : namingRuleChoices(doc.profile())) rule_->addItem(q(r));
    rule_->setCurrentText(q(initialNamingRule(doc.profile())));
    connect(rule_, &QComboBox::currentTextChanged, this, [this] { rebuild(); });
    folder_ = new QLineEdit(
        q(defaultOutputFolder(get(doc.profile(), settings::kOutputPath), doc.inputPath())), this);
    folder_->setMinimumWidth(300);
    connect(folder_, &QLineEdit::textEdited, this, [this] { rebuild(); });
    auto* change = new QPushButton("Change", this);
    change->setObjectName("Change");
    connect(change, &QPushButton::clicked, this, [this] { changeFolder(); });
    auto* folderRow = new QHBoxLayout;
    folderRow->addWidget(folder_, 1);
    folderRow->addWidget(change);
    auto* form = new QFormLayout;
    form->addRow("File Naming Rule", rule_);
    form->addRow("Output Folder", folderRow);

    // Output File Name(s)
    auto* nameBox = new QGroupBox("Output File Name(s)", this);
    nameList_ = new QListWidget(nameBox);
    nameList_->setSelectionMode(QAbstractItemView::NoSelection);
    nameList_->setMinimumHeight(110);
    warning_ = new QLabel(nameBox);
    warning_->setStyleSheet("color: #b00000");
    auto* nameLayout = new QVBoxLayout(nameBox);
    nameLayout->addWidget(nameList_);
    nameLayout->addWidget(warning_);

    ok_ = new QPushButton("OK", this);
    ok_->setDefault(true);
    saveClose_ = new QPushButton("Save && Close", this);
    saveClose_->setVisible(allowSaveAndClose);
    auto* cancel = new QPushButton("Cancel", this);
    connect(ok_, &QPushButton::clicked, this, [this] { finish(false); });
    connect(saveClose_, &QPushButton::clicked, this, [this] { finish(true); });
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ok_);
    buttons->addWidget(saveClose_);
    buttons->addWidget(cancel);

    auto* left = new QVBoxLayout;
    left->addWidget(typeBox);
    left->addWidget(numberBox);
    left->addStretch(1);
    auto* top = new QHBoxLayout;
    top->addLayout(left);
    top->addWidget(trackBox, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addLayout(form);
    layout->addWidget(nameBox, 1);
    layout->addLayout(buttons);

    // Initial state.
    naming_.inputName = inputNameOf(doc.inputPath());
    naming_.fixedNumber = fixedTrackNumber(trackCount, tracks.trackNumberText);
    consecutive_->setChecked(defaultConsecutive(trackCount, naming_.fixedNumber));
    button("Select All")->setEnabled(trackCount >= 2);
    button("Clear All")->setEnabled(trackCount >= 2);
    if (output_.usesExternalEncoder())
        external_->setChecked(true);
    else
        output_.externalEncoder = false;
    types_[typeSlot(output_.fileType)]->setChecked(true);
    ok_->setEnabled(false);
    fillTracks();
    rebuilding_ = true;
    tracks_->selectAll();
    rebuilding_ = false;
    rebuild();
}

QRadioButton* SaveDialog::typeButton(int fileType) const {
    return types_[typeSlot(fileType)];
}

QPushButton* SaveDialog::button(const QString& text) const {
    return findChild<QPushButton*>(text);
}

void SaveDialog::fillTracks() {
    tracks_->clear();
    for (int i = 1; i < doc_.tracks.count(); ++i) tracks_->addItem(QString());
}

void SaveDialog::chooseType(int fileType) {
    output_.fileType = fileType;
    output_.externalEncoder = false;
    external_->setChecked(false);
    typeButton(fileType)->setChecked(true);
    rebuild();
}

void SaveDialog::chooseExternal(bool on) {
    if (!on) {
        output_.externalEncoder = false;
        rebuild();
        return;
    }
    const int previous = output_.fileType;
    if (!encoderSetupValid(loadOutputSettings(doc_.profile()).encoderSetup())) {
        output_.fileType = ids::kFileWave;
        showCompressionSettingsDialog(this, doc_.profile(), doc_.ui(), ids::kFileWave);
    }
    OutputSettings stored = loadOutputSettings(doc_.profile());
    if (!encoderSetupValid(stored.encoderSetup())) {
        output_.fileType = previous;
        output_.externalEncoder = false;
        typeButton(previous)->setChecked(true);
        external_->setChecked(false);
    } else {
        output_.encoder = stored.encoder;
        output_.parameters = stored.parameters;
        output_.extension = stored.extension;
        output_.fileType = ids::kFileWave;
        output_.externalEncoder = true;
        external_->setChecked(true);
        // The encoder reads wave files: no type radio stays chosen beside it.
        typeButton(ids::kFileWave)->setChecked(true);
    }
    rebuild();
}

void SaveDialog::configure() {
    int type = output_.usesExternalEncoder() ? ids::kFileWave : output_.fileType;
    if (!showCompressionSettingsDialog(this, doc_.profile(), doc_.ui(), type)) return;
    OutputSettings stored = loadOutputSettings(doc_.profile());
    output_.apeLevel = stored.apeLevel;
    output_.oggQuality = stored.oggQuality;
    output_.flacLevel = stored.flacLevel;
    output_.encoder = stored.encoder;
    output_.parameters = stored.parameters;
    output_.extension = stored.extension;
    rebuild();
}

void SaveDialog::trackProperties() {
    if (showTrackPropertiesDialog(this, doc_)) rebuild();
}

void SaveDialog::startEdited() {
    if (start_->text().trimmed() == "0") {
        start_->setText("1");
        doc_.ui().beep();
    }
    rebuild();
}

void SaveDialog::changeFolder() {
    QString chosen = QFileDialog::getExistingDirectory(
        this, "Select an Output Directory for your Files", folder_->text());
    if (chosen.isEmpty()) return;
    if (!chosen.endsWith('/')) chosen += '/';
    folder_->setText(chosen);
    rebuild();
}

void SaveDialog::rebuild() {
    configure_->setEnabled(output_.usesExternalEncoder() || output_.fileType != ids::kFileWave);
    naming_.rule = rule_->currentText().toStdString();
    std::string folder = folder_->text().toStdString();
    if (!folder.empty() && folder.back() != '/') folder += '/';
    naming_.outputFolder = folder;
    naming_.extension = outputExtension(output_);
    naming_.startNumber = startNumberFromText(start_->text().toStdString());
    naming_.consecutive = consecutive_->isChecked();
    naming_.selected.clear();
    for (int i = 0; i < tracks_->count(); ++i)
        if (tracks_->item(i)->isSelected()) naming_.selected.push_back(i + 1);
    names_ = BuildOutputNames(naming_, doc_.tracks);

    const int rate = doc_.store.layout.sampleRate;
    for (int i = 0; i < tracks_->count(); ++i) {
        int number = 0;
        for (size_t k = 0; k < naming_.selected.size(); ++k)
            if (naming_.selected[k] == i + 1 && k < names_.numbers.size())
                number = names_.numbers[k];
        const Track& t = doc_.tracks[i + 1];
        tracks_->item(i)->setText(q(trackRowText(number, int64_t{t.end} - t.start, rate, t.title)));
    }
    nameList_->clear();
    for (const std::string& line : names_.listLines) nameList_->addItem(q(line));
    warning_->setText(names_.someFileExists ? "*File already exists and will be overwritten" : "");
    ok_->setEnabled(names_.okEnabled());
    saveClose_->setEnabled(names_.okEnabled());
}

void SaveDialog::finish(bool closeAfterwards) {
    rebuild();
    if (!names_.okEnabled()) return;
    if (names_.unknownTags &&
        !affirmative(doc_.ui().ask("File names include unknown tags. Do you want to continue?",
                                   "Save Corrected Waveform", Buttons::OkCancel)))
        return;
    rememberNamingRule(doc_.profile(), naming_.rule);
    saveOutputSettings(doc_.profile(), output_);
    request_.trackIndexes = naming_.selected;
    request_.trackNumbers = names_.numbers;
    request_.paths = names_.paths;
    request_.closeAfterwards = closeAfterwards;
    accept();
}

std::optional<SaveRequest> showSaveDialog(QWidget* parent, CMorvath3Doc& doc,
                                          bool allowSaveAndClose) {
    SaveDialog dialog(parent, doc, allowSaveAndClose);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return dialog.request();
}

bool saveTracksCommand(QWidget* parent, CMorvath3Doc& doc, bool closeAfterwards) {
    if (!doc.isLoaded() || doc.tracks.trackCount() < 1) {
        doc.ui().beep();
        return false;
    }
    FillDefaultNames(doc.tracks, doc.inputPath());
    std::optional<SaveRequest> request = showSaveDialog(parent, doc, !closeAfterwards);
    if (!request) return false;
    if (closeAfterwards) request->closeAfterwards = true;

    OutputSettings output = loadOutputSettings(doc.profile());
    OutputContext out{doc.store, doc.tracks, doc.splices, doc.ui(), {}, {}, {}};
    applyOutputSettings(output, out.options);
    if (output.usesExternalEncoder()) {
        // The settings file may have been edited since the dialog checked them.
        if (!encoderSetupValid(output.encoderSetup())) {
            doc.ui().message(kInvalidParametersText);
            return false;
        }
        out.externalEncoder = makeExternalEncoder(output.encoderSetup(), doc.ui());
    }
    out.options.fadeLinear = doc.tracks.fadeLinear;
    out.options.gapless = doc.tracks.gapless;
    out.options.trackNumberText = doc.tracks.trackNumberText;
    ConfirmSave confirm = [parent](const std::vector<std::string>& lines) {
        return showConfirmSaveDialog(parent, lines);
    };
    const std::string input = doc.inputPath();
    SaveOutcome saved;
    try {
        saved = SaveTracks(out, input, *request, confirm);
    } catch (const std::exception& e) {
        doc.ui().message(e.what(), "Tarnival");
        return false;
    }
    if (saved.workingFileRemoved) doc.forgetWorkingFile();
    if (saved.status != SaveStatus::Saved) return false;
    doc.modified = false;
    if (request->closeAfterwards) {
        doc.CloseWave();
        if (!ReplaceInputWithSaved(saved, input))
            doc.ui().message("The saved file could not take the place of " + input + "; it is " +
                             input + "~~~");
    }
    doc.observer().redraw();
    return true;
}

// ---- Confirm Save ---------------------------------------------------------------------------

ConfirmSaveDialog::ConfirmSaveDialog(QWidget* parent, const std::vector<std::string>& lines)
    : QDialog(parent) {
    setWindowTitle("Confirm Save");
    auto* text = new QLabel(kConfirmSaveText, this);
    text->setWordWrap(true);
    list_ = new QListWidget(this);
    list_->setSelectionMode(QAbstractItemView::NoSelection);
    QFont fixed("monospace");
    fixed.setStyleHint(QFont::TypeWriter);
    list_->setFont(fixed);
    int widest = 0;
    QFontMetrics fm(fixed);
    for (const std::string& line : lines) {
        auto* item = new QListWidgetItem(q(line), list_);
        if (line.rfind("* ", 0) == 0) item->setForeground(QColor(200, 0, 0));
        widest = std::max(widest, fm.horizontalAdvance(q(line)));
    }
    // Wide enough for the longest line, as far as the screen allows.
    list_->setMinimumWidth(std::min(widest + 40, 1100));
    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton("Proceed", QDialogButtonBox::AcceptRole);
    buttons->addButton(QDialogButtonBox::Cancel);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(text);
    layout->addWidget(list_, 1);
    layout->addWidget(buttons);
}

bool showConfirmSaveDialog(QWidget* parent, const std::vector<std::string>& lines) {
    ConfirmSaveDialog dialog(parent, lines);
    return dialog.exec() == QDialog::Accepted;
}

// ---- Compression Settings -------------------------------------------------------------------

CompressDlg::CompressDlg(QWidget* parent, Profile& profile, UserInterface& ui, int fileType)
    : QDialog(parent), profile_(profile), ui_(ui), fileType_(fileType) {
    setWindowTitle("Compression Settings");
    OutputSettings s = loadOutputSettings(profile);

    auto* encoderBox = new QGroupBox("External Encoder", this);
    encoder_ = new QLineEdit(q(s.encoder), encoderBox);
    encoder_->setMinimumWidth(320);
    browse_ = new QPushButton("Browse", encoderBox);
    connect(browse_, &QPushButton::clicked, this, [this] {
        QString path = QFileDialog::getOpenFileName(this, "Select an executable encoder program",
                                                    encoder_->text());
        if (!path.isEmpty()) encoder_->setText(path);
    });
    parameters_ = new QComboBox(encoderBox);
    parameters_->setEditable(true);
    for (const std::string& p : recentParameters(profile)) parameters_->addItem(q(p));
    parameters_->setCurrentText(q(s.parameters));
    extension_ = new QComboBox(encoderBox);
    extension_->setEditable(true);
    for (const std::string& e : recentExtensions(profile)) extension_->addItem(q(e));
    extension_->setCurrentText(q(s.extension));
    auto* encoderRow = new QHBoxLayout;
    encoderRow->addWidget(encoder_, 1);
    encoderRow->addWidget(browse_);
    auto* encoderForm = new QFormLayout(encoderBox);
    encoderForm->addRow("Encoder", encoderRow);
    encoderForm->addRow("Command Line Parameters", parameters_);
    encoderForm->addRow("File Extension", extension_);
    auto* hint = new QLabel("%IN input wave, %OUT output file, %A artist, %L album, %T title, "
                            "%G genre, %N track number",
                            encoderBox);
    hint->setWordWrap(true);
    encoderForm->addRow(hint);

    ape_ = new QComboBox(this);
    for (const char* n : kApeLevelNames) ape_->addItem(n);
    ape_->setCurrentIndex(s.apeLevel);
    ogg_ = new QComboBox(this);
    for (const char* n : kOggQualityNames) ogg_->addItem(n);
    ogg_->setCurrentIndex(s.oggQuality);
    flac_ = new QComboBox(this);
    for (int level = 0; level <= 8; ++level)
        flac_->addItem(level == 5 ? "5 (Default)" : QString::number(level));
    flac_->setCurrentIndex(s.flacLevel);
    auto* levels = new QFormLayout;
    levels->addRow("Ape Compression Level", ape_);
    levels->addRow("Ogg Quality Settings", ogg_);
    levels->addRow("FLAC Compression Level", flac_);

    const bool wave = fileType == ids::kFileWave;
    for (QWidget* w : {static_cast<QWidget*>(encoder_), static_cast<QWidget*>(browse_),
                       static_cast<QWidget*>(parameters_), static_cast<QWidget*>(extension_)})
        w->setEnabled(wave);
    ape_->setEnabled(fileType == ids::kFileApe);
    ogg_->setEnabled(fileType == ids::kFileOgg);
    flac_->setEnabled(fileType == ids::kFileFlac);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(encoderBox);
    layout->addLayout(levels);
    layout->addWidget(buttons);
}

void CompressDlg::accept() {
    if (fileType_ == ids::kFileWave) {
        EncoderSetup setup{encoder_->text().trimmed().toStdString(),
                           parameters_->currentText().toStdString(),
                           extension_->currentText().trimmed().toStdString()};
        if (!storeEncoderSetup(profile_, setup)) {
            ui_.message(kInvalidParametersText, "Compression Settings");
            return;
        }
    }
    OutputSettings s = loadOutputSettings(profile_);
    s.apeLevel = ape_->currentIndex();
    s.oggQuality = ogg_->currentIndex();
    s.flacLevel = flac_->currentIndex();
    saveOutputSettings(profile_, s);
    QDialog::accept();
}

bool showCompressionSettingsDialog(QWidget* parent, Profile& profile, UserInterface& ui,
                                   int fileType) {
    CompressDlg dialog(parent, profile, ui, fileType);
    return dialog.exec() == QDialog::Accepted;
}

} // namespace tarnival
