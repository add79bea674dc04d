#include "app/MainWindow.h"
#include "app/CommandBindings.h"

#include "app/CommandTable.h"
#include "app/QtUserInterface.h"
#include "app/TarnivalBar.h"
#include "document/Settings.h"
#include "dsp/Levels.h"
#include "facade/Document.h"
#include "settings/SettingsProfile.h"
#include "tracks/CutSplice.h"
#include "tracks/TrackEditing.h"
#include "tracks/TrackMarkers.h"
#include "views/ChildFrame.h"
#include "views/ClickList.h"
#include "views/ClickView.h"
#include "views/EntryNavigation.h"
#include "views/FindDialog.h"
#include "views/Icons.h"
#include "views/OverviewView.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QDragEnterEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QScreen>
#include <QSlider>
#include <QStandardPaths>
#include <QStatusBar>
#include <QTextBrowser>
#include <QToolBar>
#include <QVBoxLayout>
#include <QWhatsThis>

#include <algorithm>
#include <map>

namespace tarnival {

namespace {
constexpr const char* kRecentSection = "Recent File List";
constexpr int kRecentCount = 4;
} // namespace

MainWindow::MainWindow(std::unique_ptr<Profile> profile)
    : profile_(profile ? std::move(profile) : std::make_unique<SettingsProfile>()),
      ui_(std::make_unique<QtUserInterface>(this)),
      doc_(std::make_unique<CMorvath3Doc>(*profile_, *ui_)) {
    // Without a desktop (a bare X server, offscreen) no icon theme is set: use the common one.
    if (!QIcon::hasThemeIcon("document-open")) {
        QStringList paths = QIcon::themeSearchPaths();
        for (const QString& dir : QStandardPaths::locateAll(
                 QStandardPaths::GenericDataLocation, "icons", QStandardPaths::LocateDirectory))
            if (!paths.contains(dir)) paths << dir;
        QIcon::setThemeSearchPaths(paths);
        QIcon::setThemeName("Adwaita");
    }
    setWindowIcon(applicationIcon());
    // The working folder of the last session.
    if (const std::string folder = get(*profile_, settings::kPathName); !folder.empty())
        QDir::setCurrent(QString::fromStdString(folder));
    setAcceptDrops(true);
    frame_ = new ChildFrame(*doc_, this);
    setCentralWidget(frame_);
    bar_ = new TarnivalBar(this);

    // Status panes sized by their widest texts.
    QFontMetrics fm(statusBar()->font());
    const char* sizes[4] = {nullptr, " Wave Not Loaded                    ", "Clicks: 0          ",
                            "Tracks: 0                            "};
    for (int i = 1; i <= 3; ++i) ui_->pane(i)->setMinimumWidth(fm.horizontalAdvance(sizes[i]));

    buildCommands();
    addToolBar(Qt::TopToolBarArea, tools_);
    addToolBarBreak();
    addToolBar(Qt::TopToolBarArea, bar_);
    bindViewCommands();
    bindDocumentCommands(*this);

    ClickView& w = wave();
    connect(&w, &ClickView::scaleChanged, this, &MainWindow::syncScales);
    connect(&w, &ClickView::stateChanged, this, &MainWindow::refreshCommands);
    connect(&w, &ClickView::cursorPosition, this, &MainWindow::showCursor);
    connect(&w, &ClickView::playPositionMoved, this,
            [this](qint64 p) { showCursor(p >= 0 ? p : wave().position()); });
    connect(&w, &ClickView::playbackShown, this, &MainWindow::showToggle);
    connect(&w, &ClickView::sourceToggled, this, [this] { showToggle(wave().playing()); });
    connect(&w, &ClickView::contextMenuWanted, this, &MainWindow::showContextMenu);
    connect(&frame_->overview(), &OverviewView::trackMenuWanted, this, &MainWindow::showTrackMenu);
    connect(&frame_->overview(), &OverviewView::cursorPosition, this, &MainWindow::showCursor);
    connect(frame_, &ChildFrame::documentChanged, this, &MainWindow::refresh);
    connect(frame_, &ChildFrame::selectionChanged, this, &MainWindow::refreshCommands);
    connect(bar_, &TarnivalBar::verticalChanged, &w, &ClickView::setVerticalIndex);
    connect(bar_, &TarnivalBar::horizontalChanged, &w, &ClickView::setScaleIndex);
    connect(bar_, &TarnivalBar::traceSepChanged, &w,
            [this](int d) { wave().setTraceSeparation(d * 50); });
    connect(bar_, &TarnivalBar::channelsChanged, &w, &ClickView::setChannelsShown);
    connect(bar_, &TarnivalBar::speedChanged, &w, &ClickView::setSpeed);

    toggle_ = new QPushButton(statusBar());
    toggle_->setFlat(true);
    toggle_->setFocusPolicy(Qt::NoFocus);
    toggle_->hide();
    connect(toggle_, &QPushButton::clicked, this, [this] { wave().playback().toggleSource(); });

    resize(1100, 700);
    restorePlacement();
    fillRecentMenu();
    refresh();
    w.setFocus();
}

MainWindow::~MainWindow() {
    // The views go before the document they read.
    doc_->setObserver(nullptr);
    delete frame_;
    frame_ = nullptr;
}

ClickView& MainWindow::wave() const {
    return frame_->wave();
}

// ---- Commands ----------------------------------------------------------------------------

void MainWindow::buildCommands() {
    tools_ = new QToolBar("Toolbar", this);
    tools_->setObjectName("Toolbar");
    tools_->setIconSize(QSize(18, 18));
    std::map<std::pair<int, int>, QAction*> onToolbar;
    for (const Command& c : commandTable()) {
        auto* a = new QAction(c.text, this);
        a->setObjectName(c.id);
        a->setShortcuts(c.keys);
        a->setStatusTip(promptStatus(c.prompt));
        a->setToolTip(promptToolTip(c.prompt));
        a->setWhatsThis(promptStatus(c.prompt));
        a->setCheckable(c.checkable);
        a->setEnabled(false);
        if (!c.icon.isEmpty()) a->setIcon(themeIcon(c.icon));
        actions_.insert(c.id, a);
        connect(a, &QAction::triggered, this, [this, id = c.id] { trigger(id); });
        if (c.menu.isEmpty()) {
            addAction(a); // keys only
        } else {
            QMenu* menu = nullptr;
            QString path;
            for (const QString& level : c.menu.split('/')) {
                const QString parentPath = path;
                path = path.isEmpty() ? level : path + "/" + level;
                if (!menus_.contains(path)) {
                    QMenu* m = parentPath.isEmpty() ? menuBar()->addMenu(level)
                                                    : menus_[parentPath]->addMenu(level);
                    menus_.insert(path, m);
                    connect(m, &QMenu::aboutToShow, this, &MainWindow::refreshCommands);
                }
                menu = menus_[path];
            }
            if (c.separatorBefore && !menu->actions().isEmpty()) menu->addSeparator();
            menu->addAction(a);
            // Keys must work with the menus closed.
            addAction(a);
        }
        if (c.toolbarGroup >= 0) onToolbar[{c.toolbarGroup, c.toolbarOrder}] = a;
    }
    int group = -1;
    for (auto& [key, a] : onToolbar) {
        if (group >= 0 && key.first != group) tools_->addSeparator();
        group = key.first;
        tools_->addAction(a);
    }
    fileMenu_ = menus_.value("&File");
    recentSeparator_ = fileMenu_->insertSeparator(actions_.value("file.exit"));
    for (int i = 0; i < kRecentCount; ++i) {
        auto* a = new QAction(this);
        a->setVisible(false);
        connect(a, &QAction::triggered, this, [this, a] { openFile(a->data().toString()); });
        fileMenu_->insertAction(recentSeparator_, a);
        recentActions_ << a;
    }
}

void MainWindow::bind(const QString& id, Handler handler, Predicate enabled, Predicate checked) {
    handlers_.insert(id, std::move(handler));
    if (enabled) enabled_.insert(id, std::move(enabled));
    if (checked) checked_.insert(id, std::move(checked));
    refreshCommands();
}

void MainWindow::trigger(const QString& id) {
    auto h = handlers_.find(id);
    if (h == handlers_.end()) return;
    auto e = enabled_.find(id);
    if (e != enabled_.end() && !(*e)()) {
        refreshCommands();
        return;
    }
    (*h)();
    refreshCommands();
}

void MainWindow::refreshCommands() {
    for (auto it = actions_.begin(); it != actions_.end(); ++it) {
        QAction* a = it.value();
        const bool bound = handlers_.contains(it.key());
        auto e = enabled_.find(it.key());
        a->setEnabled(bound && (e == enabled_.end() || (*e)()));
        auto c = checked_.find(it.key());
        if (c != checked_.end()) a->setChecked((*c)());
    }
}

void MainWindow::bindViewCommands() {
    CMorvath3Doc& d = *doc_;
    ClickView& w = wave();
    auto loaded = [&w] { return w.loaded(); };
    auto idle = [&w] { return w.loaded() && !w.playing(); };
    auto editable = [&w] { return w.canEditCorrection(); };
    auto correction = [&w] { return w.loaded() && !w.playing() && w.currentIsCorrection(); };
    auto withBlock = [&w] { return w.loaded() && !w.playing() && w.hasBlock(); };
    auto trackCtx = [this] {
        TrackContext ctx = doc_->trackContext();
        ctx.cues = &wave().cues();
        return ctx;
    };

    bind("file.open", [this] { openDialog(); });
    bind("file.exit", [this] { close(); });

    bind(
        "view.spectrum", [this] { frame_->overview().setSpectrum(!frame_->overview().spectrum()); },
        {}, [this] { return frame_->overview().spectrum(); });
    bind(
        "view.signature",
        [this, &w] {
            w.setSignature(!w.signature());
            frame_->overview().setSignature(w.signature());
        },
        {}, [&w] { return w.signature(); });
    bind(
        "view.grid", [&w] { w.setGrid(!w.grid()); }, {}, [&w] { return w.grid(); });
    bind(
        "view.scale", [&w] { w.setScaleShown(!w.scaleShown()); }, {},
        [&w] { return w.scaleShown(); });
    bind(
        "view.bgClassic", [&w] { w.setBackground(ClickView::Classic); }, {},
        [&w] { return w.background() == ClickView::Classic; });
    bind(
        "view.bgWhite", [&w] { w.setBackground(ClickView::White); }, {},
        [&w] { return w.background() == ClickView::White; });
    bind(
        "view.bgGrey", [&w] { w.setBackground(ClickView::Grey); }, {},
        [&w] { return w.background() == ClickView::Grey; });
    bind(
        "view.thinTrace", [&w] { w.setThinTrace(!w.thinTrace()); }, {},
        [&w] { return w.thinTrace(); });
    bind(
        "view.hideNormalisation", [&w] { w.setHideNormalisation(!w.hideNormalisation()); }, {},
        [&w] { return w.hideNormalisation(); });

    bind(
        "wave.undoCut",
        [this, &d, trackCtx] {
            TrackContext ctx = trackCtx();
            if (auto stretch = RestoreCut(ctx, d.currentEntry)) {
                wave().setPosition(stretch->first);
                wave().setBlock(stretch->first, stretch->second);
            }
        },
        [&w, &d] {
            return w.loaded() && !w.playing() && d.currentEntry > 0 &&
                   d.currentEntry < d.corrections.count() - 1 &&
                   isSpliceMarker(d.corrections[d.currentEntry]);
        });
    bind(
        "wave.gotoMax",
        [this, &d] {
            FindMaxSample(d.store, d.ui(), d.filters.levels, d.countedFrames());
            if (d.filters.levels.MaxSamplePos > 0)
                wave().setPosition(d.filters.levels.MaxSamplePos);
        },
        idle);

    bind(
        "cor.remove",
        [this, &w] {
            if (w.hasBlock()) {
                if (isBound("block.removeCorrections")) trigger("block.removeCorrections");
                return;
            }
            w.removeCurrent();
        },
        [&w, editable] { return editable() || (w.hasBlock() && !w.playing()); });
    bind(
        "cor.stereoLeft", [&w] { w.toggleChannel(true); },
        [editable, correction] { return editable() && correction(); },
        [&w, &d] {
            return w.currentIsCorrection() &&
                   !(d.corrections[d.currentEntry].width & width_flags::kKeepLeft);
        });
    bind(
        "cor.stereoRight", [&w] { w.toggleChannel(false); },
        [editable, correction] { return editable() && correction(); },
        [&w, &d] {
            return w.currentIsCorrection() &&
                   !(d.corrections[d.currentEntry].width & width_flags::kKeepRight);
        });
    bind(
        "cor.adjust", [&w] { w.adjustInsert(); },
        [&w, editable] { return editable() && !w.adjusting(); });
    bind(
        "cor.shrink", [&w] { w.shrink(); },
        [&w, editable, correction] {
            return editable() && correction() && w.samplesPerDiv() < 200;
        });
    bind(
        "cor.insertCue", [&w] { w.insertCue(); }, loaded);
    bind(
        "cor.find",
        [this, &w] {
            FindDialog dialog(*profile_, w.findCriterion(), this);
            if (dialog.exec() != QDialog::Accepted) return;
            w.setFindCriterion(dialog.criterion());
            w.find(dialog.forward());
        },
        idle);
    bind(
        "cor.findNext", [&w] { w.find(true); }, idle);
    bind(
        "cor.findPrevious", [&w] { w.find(false); }, idle);
    bind("cor.list", [this] {
        ListDialog dialog(*profile_, this);
        if (dialog.exec() == QDialog::Accepted) frame_->listRefilled();
    });
    bind(
        "cor.auditionOriginal", [&w] { w.audition(false); }, correction);
    bind(
        "cor.auditionCorrected", [&w] { w.audition(true); }, correction);
    bind(
        "play.cancel", [&w] { w.cancelPlayback(); }, [&w] { return w.playing() || w.adjusting(); });

    bind(
        "tracks.nextMarker", [&w] { w.trackMarker(true); }, idle);
    bind(
        "tracks.previousMarker", [&w] { w.trackMarker(false); }, idle);
    bind(
        "tracks.split", [&w] { w.splitTrack(); }, [&w, idle] { return idle() && !w.adjusting(); });
    bind(
        "tracks.merge",
        [&d, trackCtx] {
            TrackContext ctx = trackCtx();
            MergeAtMarker(ctx, d.currentEntry);
        },
        [&w, idle] { return idle() && w.currentIsMarker(); });
    bind(
        "tracks.cuesToTracks",
        [this, trackCtx] {
            TrackContext ctx = trackCtx();
            int last = 0;
            CueMarkersToTracks(ctx, &last);
            if (last > 0) doc_->observer().entrySelected(last);
        },
        [&w, idle] { return idle() && !w.cues().empty(); });
    bind(
        "tracks.playOriginal", [&w] { w.playTrack(false); }, loaded);
    bind(
        "tracks.playCorrected", [&w] { w.playTrack(true); }, loaded);
    bind(
        "tracks.auditionBoundary", [&w] { w.auditionBoundary(); },
        [&w, idle] { return idle() && w.currentIsMarker(); });
    bind(
        "play.pause", [&w] { w.pause(); }, [&w] { return w.playing(); },
        [&w] { return w.playback().isPaused(); });
    bind(
        "play.skipBack", [&w] { w.skipBack(); }, [&w] { return w.playing() || w.adjusting(); });
    bind(
        "tracks.fadeLinear",
        [&d] {
            d.tracks.fadeLinear = true;
            d.modified = true;
        },
        loaded, [&d] { return d.tracks.fadeLinear; });
    bind(
        "tracks.fadeLog",
        [&d] {
            d.tracks.fadeLinear = false;
            d.modified = true;
        },
        loaded, [&d] { return !d.tracks.fadeLinear; });
    bind(
        "tracks.gapless",
        [this, &d, trackCtx] {
            TrackContext ctx = trackCtx();
            const int e = ToggleGapless(ctx, d.currentEntry);
            if (e > 0) doc_->observer().entrySelected(e);
        },
        idle, [&d] { return d.tracks.gapless; });

    bind(
        "block.mergeTracks",
        [&w, trackCtx] {
            TrackContext ctx = trackCtx();
            MergeTracksInBlock(ctx, w.blockStart(), w.blockEnd());
        },
        withBlock);
    bind(
        "block.cutSplice",
        [this, &w, trackCtx] {
            TrackContext ctx = trackCtx();
            const int marker = CutAndSplice(ctx, w.blockStart(), w.blockEnd());
            if (marker < 0) return;
            w.clearBlock();
            doc_->observer().entrySelected(marker);
        },
        withBlock);
    for (int i = 0; i < 3; ++i) {
        static const char* ids[3] = {"block.spliceShort", "block.spliceMedium", "block.spliceLong"};
        bind(
            ids[i], [&d, i] { d.splices.crossFadeIndex = i; }, {},
            [&d, i] { return d.splices.crossFadeIndex == i; });
    }
    bind(
        "block.playOriginal", [&w] { w.playBlock(false); }, withBlock);
    bind(
        "block.playCorrected", [&w] { w.playBlock(true); }, withBlock);
    bind(
        "block.cancel", [&w] { w.cancelBlock(); }, withBlock);

    bind("help.topics", [this] {
        QDialog dialog(this);
        dialog.setWindowTitle("Tarnival Help");
        auto* text = new QTextBrowser(&dialog);
        text->setHtml(helpHtml());
        auto* layout = new QVBoxLayout(&dialog);
        layout->addWidget(text);
        dialog.resize(700, 600);
        dialog.exec();
    });
    bind("help.context", [] { QWhatsThis::enterWhatsThisMode(); });

    bind("keys.speedDown", [this] {
        bar_->speed()->setValue(std::min(bar_->speed()->value() + 1, bar_->speed()->maximum()));
    });
    bind("keys.speedUp", [this] {
        bar_->speed()->setValue(std::max(bar_->speed()->value() - 1, bar_->speed()->minimum()));
    });
    bind(
        "keys.hCoarser", [&w] { w.stepHorizontal(1); }, loaded);
    bind(
        "keys.hFiner", [&w] { w.stepHorizontal(-1); }, loaded);
    bind("keys.vFiner", [&w] { w.setVerticalIndex(w.verticalIndex() - 1); });
    bind("keys.vCoarser", [&w] { w.setVerticalIndex(w.verticalIndex() + 1); });
}

QString MainWindow::helpHtml() {
    QString html = "<h1>Tarnival</h1><p>Tarnival restores recordings of records and tapes. Open a "
                   "wave or APE file with <b>File &rarr; Open</b>: it is copied, scanned for "
                   "clicks, corrected and split into tracks. Step from click to click with the "
                   "arrow keys or <b>F3</b>, listen with the numeric keypad's <b>1</b> and "
                   "<b>3</b>, adjust a correction with <b>Ins</b>, remove it with <b>Del</b>, "
                   "and save the tracks with <b>File &rarr; Save</b>.</p>"
                   "<h2>Commands</h2><table border=1 cellpadding=3><tr><th>Menu</th><th>Command"
                   "</th><th>Keys</th><th>What it does</th></tr>";
    for (const Command& c : commandTable()) {
        QStringList keys;
        for (const QKeySequence& k : c.keys) keys << k.toString(QKeySequence::NativeText);
        QString menu = c.menu.isEmpty() ? QString("(keys only)") : QString(c.menu).remove('&');
        html += QString("<tr><td>%1</td><td>%2</td><td>%3</td><td>%4</td></tr>")
                    .arg(menu.replace("/", " &rarr; "), QString(c.text).remove('&').toHtmlEscaped(),
                         keys.join(", ").toHtmlEscaped(), promptStatus(c.prompt).toHtmlEscaped());
    }
    return html + "</table>";
}

// ---- Files -------------------------------------------------------------------------------

void MainWindow::openDialog() {
    QString start = QString::fromStdString(get(*profile_, settings::kPathName));
    QString path = QFileDialog::getOpenFileName(
        this, "Open... Select Wave File to Process", start,
        "Wave Files (*.wav);;Ape Files (*.ape);;All Compatible Files ( *.wav *.ape)");
    if (!path.isEmpty()) openFile(path);
}

bool MainWindow::promptToClose() {
    if (!doc_->isLoaded() || !doc_->modified) return true;
    QMessageBox box(QMessageBox::Warning, "Tarnival",
                    "Your waveform corrections have not been saved.\n"
                    "Choose 'Save Wave File(s)'  if you have finished making corrections, \n"
                    "Choose 'Save Session' if you want to resume making corrections at a later "
                    "date.",
                    QMessageBox::NoButton, this);
    QPushButton* waves = box.addButton("Save Wave Files", QMessageBox::AcceptRole);
    QPushButton* session = box.addButton("Save Session", QMessageBox::AcceptRole);
    QPushButton* discard = box.addButton("Do Not Save", QMessageBox::DestructiveRole);
    QPushButton* cancel = box.addButton("Cancel", QMessageBox::RejectRole);
    waves->setEnabled(isBound("file.save"));
    session->setEnabled(isBound("file.saveSession"));
    box.setDefaultButton(cancel);
    box.exec();
    QAbstractButton* chosen = box.clickedButton();
    if (chosen == discard) {
        doc_->modified = false;
    } else if (chosen == waves) {
        trigger("file.save");
    } else if (chosen == session) {
        trigger("file.saveSession");
    } else {
        return false;
    }
    return !doc_->modified;
}

bool MainWindow::openFile(const QString& path) {
    if (!promptToClose()) return false;
    // Playback reads the files that the open replaces. A file refused by its checks leaves the
    // open side as it was.
    wave().playback().stopNow();
    if (wave().adjusting()) wave().abortAdjust();
    bool ok = false;
    {
        // The load refills the list several times over (markers, tracks): fill it once, at the end.
        ChildFrame::RefillHold hold(*frame_);
        try {
            ok = doc_->OpenWave(path.toStdString());
            if (ok) {
                addRecent(QFileInfo(path).absoluteFilePath());
                wave().fileOpened();
                refresh();
                ok = doc_->ProcessFile();
            }
        } catch (const std::exception& e) {
            // A file error part way: the document has been emptied; say what failed.
            ui_->message(e.what(), "Tarnival");
            ok = false;
        }
        if (doc_->isLoaded()) {
            wave().fileOpened();
            if (doc_->currentEntry > 0) frame_->entrySelected(doc_->currentEntry);
        }
        frame_->listRefilled();
    }
    refresh();
    wave().setFocus();
    return ok;
}

bool MainWindow::openArgument(const QString& path) {
    const QString ext = path.right(4).toLower();
    if (ext == ".ses") return sessionRestorer ? sessionRestorer(path) : false;
    if (ext == ".wav" || ext == ".ape") return openFile(path);
    return false;
}

QStringList MainWindow::recentFiles() const {
    QStringList files;
    for (int i = 1; i <= kRecentCount; ++i) {
        std::string f = profile_->getString(kRecentSection, "File" + std::to_string(i), "");
        if (!f.empty()) files << QString::fromStdString(f);
    }
    return files;
}

void MainWindow::addRecent(const QString& path) {
    QStringList files = recentFiles();
    files.removeAll(path);
    files.prepend(path);
    while (files.size() > kRecentCount) files.removeLast();
    for (int i = 0; i < kRecentCount; ++i)
        profile_->setString(kRecentSection, "File" + std::to_string(i + 1),
                            i < files.size() ? files[i].toStdString() : std::string());
    fillRecentMenu();
}

void MainWindow::fillRecentMenu() {
    const QStringList files = recentFiles();
    for (int i = 0; i < kRecentCount; ++i) {
        QAction* a = recentActions_[i];
        a->setVisible(i < files.size());
        if (i < files.size()) {
            a->setText(QString("&%1 %2").arg(i + 1).arg(QFileInfo(files[i]).fileName()));
            a->setData(files[i]);
            a->setStatusTip("Open " + files[i]);
        }
    }
    recentSeparator_->setVisible(!files.isEmpty());
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (!promptToClose()) {
        event->ignore();
        return;
    }
    wave().fileClosed();
    if (doc_->isLoaded()) doc_->CloseWave();
    savePlacement();
    event->accept();
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent* event) {
    const auto urls = event->mimeData()->urls();
    if (!urls.isEmpty() && urls.first().isLocalFile()) {
        event->acceptProposedAction();
        openArgument(urls.first().toLocalFile());
    }
}

void MainWindow::savePlacement() {
    const QRect g = normalGeometry();
    set(*profile_, settings::kPlacementFlags, 0);
    set(*profile_, settings::kPlacementTop, g.top());
    set(*profile_, settings::kPlacementBottom, g.bottom() + 1);
    set(*profile_, settings::kPlacementLeft, g.left());
    set(*profile_, settings::kPlacementRight, g.right() + 1);
    set(*profile_, settings::kPlacementShow, isMaximized() ? 3 : 1);
}

void MainWindow::restorePlacement() {
    if (get(*profile_, settings::kPlacementFlags) == -1) return;
    QRect g(
        QPoint(get(*profile_, settings::kPlacementLeft), get(*profile_, settings::kPlacementTop)),
        QPoint(get(*profile_, settings::kPlacementRight) - 1,
               get(*profile_, settings::kPlacementBottom) - 1));
    // A placement from a screen that is gone would hide the window.
    if (g.width() < 300 || g.height() < 200) return;
    if (QScreen* s = QApplication::primaryScreen();
        s && !s->availableVirtualGeometry().intersects(g))
        return;
    setGeometry(g);
    if (get(*profile_, settings::kPlacementShow) == 3) setWindowState(Qt::WindowMaximized);
}

// ---- Display -----------------------------------------------------------------------------

void MainWindow::refresh() {
    setWindowTitle(QString::fromStdString(doc_->title()) + " - Tarnival");
    ui_->setStatusPane(1, doc_->statusString());
    syncScales();
    refreshCommands();
}

void MainWindow::syncScales() {
    ClickView& w = wave();
    const int rate = doc_->store.layout.sampleRate > 0 ? doc_->store.layout.sampleRate : 44100;
    const bool coarse = w.coarse();
    const view::ScaleLabel label = view::horizontalLabel(rate, w.scaleIndex(), coarse);
    bar_->setHorizontal(QString::fromStdString(label.caption), w.scaleIndex(), w.maxScaleIndex(),
                        [rate, coarse](int i) {
                            return QString::fromStdString(
                                view::horizontalLabel(rate, i, coarse).value);
                        });
    QSignalBlocker block(bar_->vertical());
    bar_->vertical()->setValue(w.verticalIndex());
    bar_->vertical()->refreshText();
}

void MainWindow::showCursor(qint64 position) {
    if (position < 0 || !doc_->isLoaded()) {
        bar_->setCursorText(QString());
        return;
    }
    const int t = doc_->tracks.trackCount() > 0
                      ? doc_->tracks.holding(doc_->splices.sourceToDisplay(int32_t(position)))
                      : 0;
    const int64_t origin =
        t > 0 ? doc_->splices.displayToSource(doc_->tracks[t].start) : doc_->store.layout.dataStart;
    bar_->setCursorText(
        QString::fromStdString(view::timeText(position - origin, doc_->store.layout.sampleRate))
            .trimmed());
}

void MainWindow::showToggle(bool shown) {
    if (!shown) {
        toggle_->hide();
        refreshCommands();
        return;
    }
    const ToggleLook look = wave().playback().toggleLook();
    toggle_->setText(QString::fromStdString(look.text));
    toggle_->setStyleSheet(
        QString("QPushButton { background: #%1; color: #%2; border: 1px solid gray; }")
            .arg(look.backgroundRgb, 6, 16, QChar('0'))
            .arg(look.textRgb, 6, 16, QChar('0')));
    QLabel* pane = ui_->pane(1);
    toggle_->setGeometry(pane->geometry());
    toggle_->show();
    toggle_->raise();
    refreshCommands();
}

void MainWindow::showContextMenu(QPoint at, bool block) {
    refreshCommands();
    QMenu menu(this);
    const QStringList ids =
        block ? QStringList{"block.playOriginal",
                            "block.playCorrected",
                            "",
                            "block.removeCorrections",
                            "block.rescan",
                            "block.superScan",
                            "block.captureProfile",
                            "block.cutSplice",
                            "block.mergeTracks",
                            "",
                            "block.cancel"}
              : QStringList{
                    "cor.auditionOriginal", "cor.auditionCorrected", "", "cor.adjust", "cor.shrink",
                    "tracks.split",         "wave.undoCut"};
    for (const QString& id : ids) {
        if (id.isEmpty())
            menu.addSeparator();
        else
            menu.addAction(actions_.value(id));
    }
    menu.exec(at);
}

void MainWindow::showTrackMenu(QPoint at) {
    refreshCommands();
    QMenu menu(this);
    for (const char* id : {"tracks.playOriginal", "tracks.playCorrected", "tracks.split",
                           "view.spectrum", "view.signature", "tracks.properties"})
        menu.addAction(actions_.value(id));
    menu.exec(at);
}

} // namespace tarnival
