#include "dialogs/BatchDlg.h"
#include "dialogs/Dialogs.h"
#include "dialogs/ScanOptionsDlg.h"
#include "document/Profile.h"
#include "document/Settings.h"
#include "dsp/FilterChain.h"
#include "facade/Document.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QMimeData>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QSpinBox>
#include <QTextEdit>
#include <QThread>
#include <QUrl>
#include <QVBoxLayout>

#include <cmath>
#include <filesystem>

namespace tarnival {

namespace {

// The output type drop-down: index to the stored file type (FLAC, which this program also
// writes, comes after the four).
struct OutputChoice {
    const char* text;
    int fileType;
    bool external;
};
constexpr OutputChoice kOutputs[] = {{"Wave", ids::kFileWave, false},
                                     {"Ape", ids::kFileApe, false},
                                     {"Ogg", ids::kFileOgg, false},
                                     {"External", ids::kFileWave, true},
                                     {"Flac", ids::kFileFlac, false}};

QString qs(const std::string& s) {
    return QString::fromStdString(s);
}

// The log's line ends are the pane's paragraphs.
QString paneText(const std::string& text) {
    QString t = qs(text);
    t.replace("\r\n", "\n");
    return t;
}

bool defaultFilters(QWidget* parent, FilterSettings& f, std::string& graphic) {
    QDialog d(parent);
    d.setWindowTitle("Configure Filters");
    auto* form = new QFormLayout(&d);
    auto* rumble = new QCheckBox("Rumble");
    auto* hum = new QCheckBox("Hum");
    auto* hiss = new QSpinBox;
    hiss->setRange(0, 3);
    auto* treble = new QSpinBox;
    treble->setRange(-3, 3);
    auto* graphicName = new QLineEdit(qs(graphic));
    rumble->setChecked(f.RumbleOn);
    hum->setChecked(f.HumOn);
    hiss->setValue(f.HissOn ? f.HissLevel : 0);
    treble->setValue(f.TrebleOn ? f.TrebleLevel : 0);
    form->addRow(rumble);
    form->addRow(hum);
    form->addRow("Hiss Reduction", hiss);
    form->addRow("Treble Control", treble);
    form->addRow("Graphic filter", graphicName);
    auto* box = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    QObject::connect(box, &QDialogButtonBox::accepted, &d, &QDialog::accept);
    QObject::connect(box, &QDialogButtonBox::rejected, &d, &QDialog::reject);
    form->addRow(box);
    if (d.exec() != QDialog::Accepted) return false;
    f.RumbleOn = rumble->isChecked();
    f.HumOn = hum->isChecked();
    f.HissOn = hiss->value() > 0;
    if (f.HissOn) f.HissLevel = hiss->value();
    f.TrebleOn = treble->value() != 0;
    f.TrebleLevel = treble->value();
    graphic = graphicName->text().trimmed().toStdString();
    return true;
}

bool defaultOutput(QWidget* parent, Profile& profile) {
    OutputSettings s = loadOutputSettings(profile);
    QDialog d(parent);
    d.setWindowTitle("Compression Settings");
    auto* form = new QFormLayout(&d);
    auto* ape = new QComboBox;
    for (const char* name : kApeLevelNames) ape->addItem(name);
    ape->setCurrentIndex(s.apeLevel);
    auto* ogg = new QComboBox;
    for (const char* name : kOggQualityNames) ogg->addItem(name);
    ogg->setCurrentIndex(s.oggQuality);
    auto* flac = new QSpinBox;
    flac->setRange(0, 8);
    flac->setValue(s.flacLevel);
    auto* encoder = new QLineEdit(qs(s.encoder));
    auto* parameters = new QLineEdit(qs(s.parameters));
    auto* extension = new QLineEdit(qs(s.extension));
    form->addRow("Ape Level", ape);
    form->addRow("Ogg Quality", ogg);
    form->addRow("Flac Level", flac);
    form->addRow("Encoder", encoder);
    form->addRow("Parameters", parameters);
    form->addRow("Extension", extension);
    auto* box = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    QObject::connect(box, &QDialogButtonBox::accepted, &d, &QDialog::accept);
    QObject::connect(box, &QDialogButtonBox::rejected, &d, &QDialog::reject);
    form->addRow(box);
    if (d.exec() != QDialog::Accepted) return false;
    s.apeLevel = ape->currentIndex();
    s.oggQuality = ogg->currentIndex();
    s.flacLevel = flac->value();
    s.encoder = encoder->text().toStdString();
    s.parameters = parameters->text().toStdString();
    s.extension = extension->text().toStdString();
    saveOutputSettings(profile, s);
    return true;
}

} // namespace

CBatchDlg::CBatchDlg(Profile& profile, QWidget* parent) : QDialog(parent), profile_(profile) {
    setWindowTitle("Batch Process");
    setAcceptDrops(true);
    scan_.load(profile_);
    if (scan_.sensitivity < 0) scan_.sensitivity = settings::kDefaultSensitivity;
    configureFilters = defaultFilters;
    configureOutput = defaultOutput;
    configureDeclick = editBatchDeclick;
    chooseFiles = [](QWidget* p) {
        QFileDialog d(p, "Batch Open");
        d.setFileMode(QFileDialog::ExistingFiles);
        d.setDefaultSuffix("wav");
        d.setNameFilters(
            {"Wave Files (*.wav)", "Ape Files (*.ape)", "All Compatible Files (*.wav *.ape)"});
        return d.exec() == QDialog::Accepted ? d.selectedFiles() : QStringList{};
    };
    chooseFolder = [](QWidget* p, const QString& from) {
        return QFileDialog::getExistingDirectory(p, "Output Folder", from);
    };

    auto* top = new QVBoxLayout(this);
    top->addWidget(new QLabel("Files to Process - Drag files here, or use the 'Add' button"));
    auto* listRow = new QHBoxLayout;
    files = new QListWidget;
    files->setSelectionMode(QAbstractItemView::ExtendedSelection);
    files->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    listRow->addWidget(files, 1);
    auto* listButtons = new QVBoxLayout;
    add = new QPushButton("Add");
    remove = new QPushButton("Remove");
    listButtons->addWidget(add);
    listButtons->addWidget(remove);
    listButtons->addStretch();
    listRow->addLayout(listButtons);
    top->addLayout(listRow);

    auto* steps = new QGridLayout;
    declick = new QCheckBox("De-Click");
    declickSummary = new QLabel;
    declickConfigure = new QPushButton("Configure");
    steps->addWidget(declick, 0, 0);
    steps->addWidget(declickSummary, 0, 1);
    steps->addWidget(declickConfigure, 0, 2);
    filter = new QCheckBox("Filter");
    filterSummary = new QLabel;
    filterConfigure = new QPushButton("Configure");
    steps->addWidget(filter, 1, 0);
    steps->addWidget(filterSummary, 1, 1);
    steps->addWidget(filterConfigure, 1, 2);
    normalise = new QCheckBox("Normalise");
    scale = new QCheckBox("Scale");
    level = new QComboBox;
    level->setEditable(true);
    for (int i = 0; i >= -10; --i) level->addItem(QString::number(i));
    level->setCurrentIndex(1);
    auto* levelRow = new QHBoxLayout;
    levelRow->addWidget(normalise);
    levelRow->addWidget(scale);
    levelRow->addWidget(level);
    levelRow->addWidget(new QLabel("dB"));
    levelRow->addStretch();
    steps->addLayout(levelRow, 2, 0, 1, 3);
    balance = new QCheckBox("Balance Channels (Auto)");
    trim = new QCheckBox("Trim Silence");
    steps->addWidget(balance, 3, 0, 1, 2);
    steps->addWidget(trim, 4, 0, 1, 2);
    top->addLayout(steps);

    auto* outputRow = new QHBoxLayout;
    outputType = new QComboBox;
    for (const OutputChoice& c : kOutputs) outputType->addItem(c.text);
    const OutputSettings stored = loadOutputSettings(profile_);
    for (int i = 0; i < outputType->count(); ++i)
        if (kOutputs[i].fileType == stored.fileType &&
            kOutputs[i].external == stored.usesExternalEncoder())
            outputType->setCurrentIndex(i);
    outputConfigure = new QPushButton("Configure");
    naming = new QComboBox;
    naming->addItems({"Add 'cor' to filenames", "Use input filenames*"});
    mayOverwrite = new QLabel("*may overwrite");
    path = new QPushButton("Path...");
    pathLabel = new QLabel;
    outputRow->addWidget(outputType);
    outputRow->addWidget(outputConfigure);
    outputRow->addWidget(naming);
    outputRow->addWidget(mayOverwrite);
    outputRow->addWidget(path);
    outputRow->addWidget(pathLabel, 1);
    top->addLayout(outputRow);

    auto* runRow = new QHBoxLayout;
    runRow->addWidget(new QLabel("Files at once"));
    filesAtOnce = new QSpinBox;
    filesAtOnce->setRange(1, std::max(1, QThread::idealThreadCount()));
    filesAtOnce->setValue(filesAtOnce->maximum());
    filesAtOnce->setToolTip("process several files at the same time, each on its own core");
    runRow->addWidget(filesAtOnce);
    runRow->addStretch();
    start = new QPushButton("Start");
    start->setToolTip("start processing files");
    cancel = new QPushButton("Cancel");
    runRow->addWidget(start);
    runRow->addWidget(cancel);
    top->addLayout(runRow);

    logPane = new QTextEdit;
    logPane->setReadOnly(true);
    top->addWidget(logPane, 1);
    progressBar = new QProgressBar;
    top->addWidget(progressBar);

    connect(add, &QPushButton::clicked, this, [this] { addPaths(chooseFiles(this), false); });
    connect(remove, &QPushButton::clicked, this, [this] {
        for (QListWidgetItem* item : files->selectedItems()) delete item;
        refresh();
    });
    for (QCheckBox* c : {declick, filter, balance, trim})
        connect(c, &QCheckBox::toggled, this, [this] { refresh(); });
    // Normalise and Scale exclude each other.
    connect(normalise, &QCheckBox::toggled, this, [this](bool on) {
        if (on) scale->setChecked(false);
        levelEdited();
    });
    connect(scale, &QCheckBox::toggled, this, [this](bool on) {
        if (on) normalise->setChecked(false);
        levelEdited();
    });
    connect(level->lineEdit(), &QLineEdit::editingFinished, this, [this] { levelEdited(); });
    connect(level, &QComboBox::activated, this, [this] { levelEdited(); });
    connect(outputType, &QComboBox::currentIndexChanged, this, [this] { refresh(); });
    connect(naming, &QComboBox::currentIndexChanged, this, [this] { refresh(); });
    connect(declickConfigure, &QPushButton::clicked, this, [this] {
        if (configureDeclick(this, scan_, passes_)) refresh();
    });
    connect(filterConfigure, &QPushButton::clicked, this, [this] {
        if (configureFilters(this, filters_, graphicName_)) refresh();
    });
    connect(outputConfigure, &QPushButton::clicked, this, [this] {
        if (configureOutput(this, profile_)) refresh();
    });
    connect(path, &QPushButton::clicked, this, [this] {
        QString chosen = chooseFolder(this, qs(get(profile_, settings::kOutputPath)));
        if (chosen.isEmpty()) return;
        set(profile_, settings::kOutputPath, chosen.toStdString());
        refresh();
    });
    connect(start, &QPushButton::clicked, this, [this] { run(); });
    connect(cancel, &QPushButton::clicked, this, [this] { cancelPressed(); });
    refresh();
}

CBatchDlg::~CBatchDlg() = default;

void CBatchDlg::addPaths(const QStringList& paths, bool fromDrop) {
    for (const QString& p : paths) {
        const std::string name = p.toStdString();
        std::error_code ec;
        if (std::filesystem::is_directory(name, ec)) {
            for (const std::string& f : BatchFilesIn(name)) files->addItem(qs(f));
        } else if (!fromDrop || isBatchInput(name)) {
            files->addItem(p);
        }
    }
    refresh();
}

void CBatchDlg::dragEnterEvent(QDragEnterEvent* event) {
    if (!running_ && event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void CBatchDlg::dropEvent(QDropEvent* event) {
    QStringList paths;
    for (const QUrl& url : event->mimeData()->urls())
        if (url.isLocalFile()) paths << url.toLocalFile();
    addPaths(paths, true);
    event->acceptProposedAction();
}

void CBatchDlg::levelEdited() {
    bool ok = false;
    double v = level->currentText().trimmed().toDouble(&ok);
    if (!ok) v = -1;
    v = clampBatchLevel(v, !scale->isChecked());
    level->setEditText(QString::asprintf("%g", v));
    refresh();
}

BatchOptions CBatchDlg::options() const {
    BatchOptions o;
    o.removeClicks = declick->isChecked();
    o.superPasses = passes_;
    o.scan = scan_;
    o.filter = filter->isChecked();
    o.filters = filters_;
    o.graphicName = graphicName_;
    o.normalise = normalise->isChecked();
    o.scale = scale->isChecked();
    o.levelDb = clampBatchLevel(level->currentText().toDouble(), !o.scale);
    o.balanceAuto = balance->isChecked();
    o.trimSilence = trim->isChecked();
    o.output = loadOutputSettings(profile_);
    const OutputChoice& c = kOutputs[std::max(outputType->currentIndex(), 0)];
    o.output.fileType = c.fileType;
    o.output.externalEncoder = c.external;
    o.naming = naming->currentIndex() == 1 ? BatchNaming::InputNames : BatchNaming::AddCor;
    o.outputPath = get(profile_, settings::kOutputPath);
    return o;
}

void CBatchDlg::refresh() {
    const BatchOptions o = options();
    FilterSettings shown = filters_;
    shown.GraphicOn = !graphicName_.empty();
    filterSummary->setText(paneText(BatchFilterSummary(shown, graphicName_)));
    declickSummary->setText(paneText(BatchDeclickSummary(scan_, passes_)));
    filterSummary->setEnabled(filter->isChecked());
    filterConfigure->setEnabled(filter->isChecked() && !running_);
    declickSummary->setEnabled(declick->isChecked());
    declickConfigure->setEnabled(declick->isChecked() && !running_);
    level->setEnabled(normalise->isChecked() || scale->isChecked());
    mayOverwrite->setVisible(naming->currentIndex() == 1);
    outputConfigure->setEnabled(outputType->currentIndex() != 0 && !running_);
    pathLabel->setText(o.outputPath.empty() ? QString("(the input's folder)") : qs(o.outputPath));
    bool ready = files->count() > 0 && o.anyStep();
    if (o.output.usesExternalEncoder()) {
        const EncoderSetup e = o.output.encoderSetup();
        ready = ready && e.parameters.find("%IN") != std::string::npos && encoderSetupValid(e);
    }
    start->setEnabled(ready && !running_);
    if (!running_ && files->count() > 0) cancel->setText("Cancel");
    for (QWidget* w :
         std::initializer_list<QWidget*>{add, remove, path, filesAtOnce, outputType, naming})
        w->setEnabled(!running_);
}

void CBatchDlg::AppendLog(const QString& text, bool red) {
    QTextCursor end = logPane->textCursor();
    end.movePosition(QTextCursor::End);
    QTextCharFormat f;
    f.setForeground(red ? QColor(Qt::red) : logPane->palette().text().color());
    end.insertText(text, f);
    logPane->setTextCursor(end);
    logPane->ensureCursorVisible();
}

void CBatchDlg::log(const std::string& text, bool red) {
    AppendLog(paneText(text), red);
}

void CBatchDlg::progress(int64_t position, int64_t low, int64_t high) {
    // The bar holds an int: positions go in thousandths of the range.
    const double span = static_cast<double>(std::max<int64_t>(high - low, 1));
    progressBar->setRange(0, 1000);
    progressBar->setValue(static_cast<int>(std::clamp((position - low) / span, 0.0, 1.0) * 1000));
}

void CBatchDlg::pump() {
    QCoreApplication::processEvents();
}

void CBatchDlg::cancelPressed() {
    if (!running_) {
        QDialog::reject();
        return;
    }
    if (abort_) return;
    if (QMessageBox::question(this, "Tarnival", "Batch Processing will be aborted. Really abort?",
                              QMessageBox::Yes | QMessageBox::No) != QMessageBox::Yes)
        return;
    abort_ = true;
    AppendLog(paneText(kBatchAbortingLine), true);
    cancel->setEnabled(false);
}

void CBatchDlg::reject() {
    // Escape and the window's close button mean Cancel; during a run they mean Abort.
    cancelPressed();
}

BatchSummary CBatchDlg::runHere(const std::vector<std::string>& list, const BatchOptions& o) {
    BatchUi ui(*this);
    CMorvath3Doc doc(profile_, ui);
    BatchSummary s;
    for (const std::string& f : list) {
        if (abort_) break;
        BatchFileResult r = ProcessBatchFile(doc, *this, f, o);
        if (r.outcome == BatchFileResult::Outcome::Saved)
            ++s.saved;
        else if (r.outcome != BatchFileResult::Outcome::Aborted)
            ++s.failed;
    }
    return s;
}

BatchSummary CBatchDlg::runInProcesses(const std::vector<std::string>& list, const BatchOptions& o,
                                       int jobs) {
    QString program = commandLineProgram;
    if (program.isEmpty()) program = QCoreApplication::applicationDirPath() + "/tarnival-cli";
    if (!QFileInfo(program).isExecutable()) {
        AppendLog("Several files at once need the command line program " + program +
                      "; one file at a time instead.\n",
                  true);
        return runHere(list, o);
    }
    QStringList common;
    for (const std::string& a : BatchCommandArguments(o)) common << qs(a);
    common << "--jobs"
           << "1"
           << "--log-colours";
    struct Job {
        std::unique_ptr<QProcess> process;
        QString output;
        bool done = false;
    };
    std::vector<Job> jobsOf(list.size());
    size_t next = 0, written = 0;
    int runningCount = 0;
    BatchSummary s;
    auto finishedText = [](QString text) {
        // Each program ends its own log; the dialog ends the whole run's.
        for (const char* closing : {kBatchDoneLine, kBatchAbortedLine, kBatchAbortingLine}) {
            QString line = paneText(closing);
            text.replace("\033[31m" + line + "\033[0m", "");
            text.replace(line, "");
        }
        return text;
    };
    while (written < list.size()) {
        while (!abort_ && next < list.size() && runningCount < jobs) {
            Job& j = jobsOf[next];
            j.process = std::make_unique<QProcess>();
            j.process->setProcessChannelMode(QProcess::SeparateChannels);
            j.process->start(program, QStringList{"batch", qs(list[next])} + common);
            ++runningCount;
            ++next;
        }
        if (abort_) {
            for (size_t k = written; k < next; ++k)
                if (jobsOf[k].process && jobsOf[k].process->state() != QProcess::NotRunning)
                    jobsOf[k].process->terminate();
        }
        for (size_t k = written; k < next; ++k) {
            Job& j = jobsOf[k];
            if (j.done || !j.process) continue;
            if (j.process->state() == QProcess::NotRunning ||
                j.process->waitForFinished(runningCount > 0 ? 10 : 0)) {
                j.output = QString::fromUtf8(j.process->readAllStandardOutput());
                j.done = true;
                --runningCount;
                if (j.process->exitStatus() == QProcess::NormalExit && j.process->exitCode() == 0)
                    ++s.saved;
                else if (!abort_)
                    ++s.failed;
            }
        }
        while (written < next && jobsOf[written].done) {
            // Red lines arrive marked with the terminal's colour codes.
            const QString text = finishedText(jobsOf[written].output);
            for (const QString& piece : text.split("\033[0m")) {
                const int red = piece.indexOf("\033[31m");
                if (red < 0) {
                    AppendLog(piece, false);
                } else {
                    AppendLog(piece.left(red), false);
                    AppendLog(piece.mid(red + 5), true);
                }
            }
            ++written;
            progress(static_cast<int64_t>(written), 0, static_cast<int64_t>(list.size()));
        }
        if (abort_ && runningCount == 0 && written == next) break;
        QCoreApplication::processEvents();
    }
    return s;
}

void CBatchDlg::run() {
    if (running_) return;
    running_ = true;
    abort_ = false;
    cancel->setText("Abort");
    cancel->setEnabled(true);
    BatchOptions o = options();
    set(profile_, settings::kFileType, o.output.fileType);
    set(profile_, settings::kExternalEncoder, o.output.externalEncoder ? 1 : 0);
    refresh();
    std::vector<std::string> list;
    for (int i = 0; i < files->count(); ++i) list.push_back(files->item(i)->text().toStdString());
    const int jobs = std::min(filesAtOnce->value(), static_cast<int>(list.size()));
    BatchSummary s = jobs > 1 ? runInProcesses(list, o, jobs) : runHere(list, o);
    (void)s;
    AppendLog(paneText(abort_ ? kBatchAbortedLine : kBatchDoneLine), abort_);
    files->clear();
    progressBar->setValue(0);
    running_ = false;
    refresh();
    cancel->setText("Done");
    cancel->setEnabled(true);
}

void showBatchDialog(QWidget* parent, Profile& profile, UserInterface& ui) {
    CBatchDlg dlg(profile, parent);
    // The same filter and compression dialogs as for the open side; the batch has no side yet,
    // so the graphic curves are shown at the usual rate.
    dlg.configureFilters = [&profile, &ui](QWidget* p, FilterSettings& f, std::string& graphic) {
        f.GraphicName = graphic;
        f.GraphicOn = !graphic.empty();
        if (!showConfigureFiltersDialog(p, profile, ui, 44100, f)) return false;
        graphic = f.GraphicOn ? f.GraphicName : std::string();
        return true;
    };
    dlg.configureOutput = [&dlg, &ui](QWidget* p, Profile& settings) {
        const OutputChoice& c = kOutputs[std::max(dlg.outputType->currentIndex(), 0)];
        return showCompressionSettingsDialog(p, settings, ui, c.fileType);
    };
    dlg.exec();
}

} // namespace tarnival
