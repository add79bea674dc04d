#include "app/CommandBindings.h"
#include "app/MainWindow.h"
#include "app/QtUserInterface.h"
#include "dialogs/BatchDlg.h"
#include "dialogs/Dialogs.h"
#include "dialogs/ScanOptionsDlg.h"
#include "dsp/FilterChain.h"
#include "facade/Document.h"
#include "views/ChildFrame.h"
#include "views/ClickView.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QTimer>

namespace tarnival {

QString tipsFile() {
    // Beside the program in the build tree; under share/ once installed.
    const QDir bin(QCoreApplication::applicationDirPath());
    const QString beside = bin.filePath("tips.txt");
    const QString installed = bin.filePath("../share/tarnival/tips.txt");
    return QFile::exists(beside) || !QFile::exists(installed) ? beside : installed;
}

void bindDocumentCommands(MainWindow& mw) {
    CMorvath3Doc& d = mw.document();
    ClickView& w = mw.wave();
    QWidget* parent = &mw;

    auto notPlaying = [&w] { return !w.playing(); };
    auto loaded = [&w] { return w.loaded() && !w.playing(); };
    auto scanned = [&w, &d] { return w.loaded() && !w.playing() && d.scanned(); };
    auto withBlock = [&w, &d] { return w.loaded() && !w.playing() && d.scanned() && w.hasBlock(); };
    // After an operation that may have rewritten the audio or the lists.
    auto changed = [&mw] {
        mw.frame().listRefilled();
        mw.frame().redraw();
        mw.refreshCommands();
    };
    // After the document was emptied or filled anew.
    auto reopened = [&mw, &w, &d, changed] {
        if (d.isLoaded())
            w.fileOpened();
        else
            w.fileClosed();
        changed();
    };

    // ---- Saving and sessions ----
    d.playing = [&w] { return w.playing(); };
    // A session carries the view's scales (AutoSave's copies too).
    auto keepScales = [&w, &d] {
        d.verticalScale = w.verticalIndex();
        d.horizontalScale = w.scaleIndex();
    };
    mw.bind(
        "file.save",
        [parent, &d, changed] {
            d.AutoSaveBeforeSavingTracks();
            saveTracksCommand(parent, d);
            changed();
        },
        scanned);
    mw.bind(
        "file.saveClose",
        [parent, &d, reopened] {
            d.AutoSaveBeforeSavingTracks();
            saveTracksCommand(parent, d, true);
            reopened();
        },
        scanned);
    mw.bind(
        "file.saveSession",
        [parent, &w, &d, changed, keepScales] {
            w.playback().stopNow();
            QString path = QFileDialog::getSaveFileName(
                parent, "Save Session", QString::fromStdString(d.proposedSessionPath()),
                "Session Files (*.ses)");
            if (path.isEmpty()) return;
            if (!path.endsWith(".ses", Qt::CaseInsensitive)) path += ".ses";
            keepScales();
            d.SaveSession(path.toStdString());
            changed();
        },
        scanned);
    mw.sessionRestorer = [&mw, &w, &d, reopened](const QString& path) {
        if (!mw.promptToClose()) return false;
        w.playback().stopNow();
        bool ok = false;
        {
            // The restore and the reopening refill the list more than once: fill it once.
            ChildFrame::RefillHold hold(mw.frame());
            try {
                ok = d.RestoreSession(path.toStdString());
            } catch (const std::exception& e) {
                d.ui().message(e.what());
            }
            reopened();
        }
        if (ok && d.isLoaded()) {
            w.cues() = d.cues;
            w.setVerticalIndex(d.verticalScale);
            w.setScaleIndex(d.horizontalScale);
        }
        return ok;
    };
    mw.bind(
        "file.restoreSession",
        [&mw, parent, &d] {
            const QString path = QFileDialog::getOpenFileName(
                parent, "Restore Session", QString::fromStdString(d.proposedSessionPath()),
                "Session Files (*.ses)");
            if (!path.isEmpty()) mw.sessionRestorer(path);
        },
        notPlaying);
    mw.bind(
        "file.autoSave", [&d] { d.autoSave().setEnabled(!d.autoSave().enabled()); }, {},
        [&d] { return d.autoSave().enabled(); });
    // The idle check: AutoSave itself decides whether a save is due.
    auto* idleTimer = new QTimer(&mw);
    QObject::connect(idleTimer, &QTimer::timeout, &mw, [&w, &d, keepScales] {
        if (w.playing() || QCoreApplication::closingDown()) return;
        keepScales();
        d.OnIdle();
    });
    idleTimer->start(1000);

    // ---- Files, devices, recording and batch ----
    mw.bind("file.paths", [&mw, parent] { showPathsDialog(parent, mw.profile()); });
    mw.bind(
        "file.devices", [&mw, parent] { showDevicesDialog(parent, mw.profile()); }, notPlaying);
    mw.bind(
        "file.record",
        [&mw, parent] {
            if (auto path = recordNewWaveFile(parent, mw.profile(), mw.userInterface()))
                mw.openFile(QString::fromStdString(*path));
        },
        notPlaying);
    mw.bind(
        "file.batchOpen",
        [&mw, parent] { showBatchDialog(parent, mw.profile(), mw.userInterface()); }, notPlaying);

    // ---- Scanning ----
    auto scanForm = [parent, &d, changed](ScanOptionsForm form) {
        return [parent, &d, changed, form] {
            if (showScanOptions(parent, d, form)) changed();
        };
    };
    mw.bind("wave.scanOptions", scanForm(ScanOptionsForm::AutoScan), notPlaying);
    mw.bind("wave.rescanClicks", scanForm(ScanOptionsForm::RescanFile), scanned);
    mw.bind("wave.superScan", scanForm(ScanOptionsForm::SuperScanFile), scanned);
    mw.bind("block.rescan", scanForm(ScanOptionsForm::RescanBlock), withBlock);
    mw.bind("block.superScan", scanForm(ScanOptionsForm::SuperScanBlock), withBlock);
    mw.bind(
        "block.removeCorrections",
        [&d, changed] {
            // Cuts are not corrections: they stay.
            d.RemoveBlockCorrections(true, false);
            changed();
        },
        withBlock);
    mw.bind(
        "wave.rescanTracks",
        [parent, &d, changed] {
            if (showRescanTracksDialog(parent, d)) changed();
        },
        scanned);
    mw.bind(
        "wave.rescanAll",
        [&mw, &d, reopened] {
            ChildFrame::RefillHold hold(mw.frame()); // a load again: one refill at its end
            d.ProcessFile();
            reopened();
        },
        loaded);
    mw.bind(
        "wave.status", [parent, &d] { showStatusDialog(parent, d); }, loaded);
    mw.bind(
        "tracks.properties",
        [parent, &d, changed] {
            if (showTrackPropertiesDialog(parent, d)) changed();
        },
        scanned);

    // ---- Filters and levels ----
    auto rewrite = [parent, &d, changed](bool (*command)(QWidget*, CMorvath3Doc&)) {
        return [parent, &d, changed, command] {
            if (command(parent, d)) changed();
        };
    };
    mw.bind("wave.filters", rewrite(showFiltersDialog), scanned);
    mw.bind("wave.normalise", rewrite(showNormaliseDialog), scanned);
    mw.bind("wave.balance", rewrite(showBalanceDialog), scanned);
    mw.bind("wave.captureProfile", rewrite(captureProfileCommand), withBlock);
    mw.bind("block.captureProfile", rewrite(captureProfileCommand), withBlock);
    mw.bind(
        "wave.removeFiltering",
        [&d, changed] {
            FilterContext ctx = d.filterContext();
            if (RemoveFilteringCommand(ctx)) changed();
        },
        scanned);
    mw.bind(
        "wave.viewProfile",
        [parent, &w, &d] {
            if (auto span = viewProfileCommand(parent, d)) w.setBlock(span->start, span->end);
        },
        scanned);

    // ---- Cut and splice ----
    const char* const spliceIds[] = {"block.spliceShort", "block.spliceMedium", "block.spliceLong"};
    for (int i = 0; i < 3; ++i)
        mw.bind(
            spliceIds[i], [&d, i] { d.splices.crossFadeIndex = i; }, {},
            [&d, i] { return d.splices.crossFadeIndex == i; });

    // ---- Help ----
    mw.bind("help.about", [parent] { showAboutDialog(parent); });
    mw.bind("help.tip", [&mw, parent] {
        showTipOfTheDay(parent, mw.profile(), mw.userInterface(), tipsFile());
    });
}

} // namespace tarnival
