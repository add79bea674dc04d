// Renders the main window with a demo side in each state worth seeing, and dialogs, to PNG files.
// Usage: tarnival-screenshots OUTDIR [NAME...]   (no names: every shot)
#include "app/MainWindow.h"
#include "document/Profile.h"
#include "facade/Document.h"
#include "synth/DemoSide.h"
#include "tracks/TrackMarkers.h"
#include "views/AdjustDialog.h"
#include "views/ChildFrame.h"
#include "views/ClickView.h"
#include "views/FindDialog.h"
#include "views/OverviewView.h"

#include <QApplication>
#include <QDir>
#include <QMessageBox>
#include <QTimer>

#include <functional>
#include <iostream>
#include <vector>

using namespace tarnival;

namespace {

struct Shot {
    const char* name;
    std::function<QWidget*(MainWindow&)> prepare; // returns the widget to grab
};

void settle() {
    for (int i = 0; i < 5; ++i) QApplication::processEvents();
}

int firstOf(const CMorvath3Doc& d, const std::function<bool(const Correction&)>& want) {
    for (int i = 1; i < d.corrections.count() - 1; ++i)
        if (want(d.corrections[i])) return i;
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc < 2) {
        std::cerr << "usage: tarnival-screenshots OUTDIR [NAME...]\n";
        return 2;
    }
    const QString out = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(out);
    QStringList wanted;
    for (int i = 2; i < argc; ++i) wanted << argv[i];

    const std::string side = (QDir(out).absoluteFilePath(".demo-side.wav")).toStdString();
    writeDemoSide(side, 4, 20.0, 2.5, 2026);

    auto profile = std::make_unique<MemoryProfile>();
    profile->setInt("Settings", "Sensitivity", 3);
    profile->setInt("Settings", "Temp Mode", 1136);
    // Message boxes (the scan's reports) are closed as they appear.
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget()))
            box->accept();
    });
    closer.start(50);

    MainWindow window(std::move(profile));
    window.resize(1280, 800);
    window.show();
    window.openFile(QString::fromStdString(side));
    CMorvath3Doc& doc = window.document();
    ClickView& wave = window.wave();
    auto select = [&](int i) {
        if (i > 0) doc.observer().entrySelected(i);
    };
    auto restore = [&] {
        wave.setBackground(ClickView::Classic);
        wave.setScaleIndex(4);
        window.frame().overview().setSpectrum(false);
        wave.clearBlock();
        select(firstOf(doc, [](const Correction& c) { return c.magnitude >= 30 && c.width >= 0; }));
    };

    std::vector<Shot> shots = {
        {"main-window",
         [&](MainWindow& w) {
             restore();
             return &w;
         }},
        {"white-background",
         [&](MainWindow& w) {
             restore();
             wave.setBackground(ClickView::White);
             return &w;
         }},
        {"zoomed-out",
         [&](MainWindow& w) {
             restore();
             wave.setScaleIndex(13);
             return &w;
         }},
        {"whole-side",
         [&](MainWindow& w) {
             restore();
             wave.setScaleIndex(wave.maxScaleIndex());
             return &w;
         }},
        {"track-boundary",
         [&](MainWindow& w) {
             restore();
             select(firstOf(
                 doc, [](const Correction& c) { return isTrackMarker(c) && !isStartMarker(c); }));
             return &w;
         }},
        {"block-selected",
         [&](MainWindow& w) {
             restore();
             wave.setBlock(wave.position() - 1600, wave.position() + 800);
             return &w;
         }},
        {"spectrum",
         [&](MainWindow& w) {
             restore();
             window.frame().overview().setSpectrum(true);
             return &w;
         }},
        {"adjust-mode",
         [&](MainWindow& w) {
             restore();
             wave.setScaleIndex(3);
             wave.adjustInsert();
             return &w;
         }},
        {"adjust-dialog",
         [&](MainWindow&) -> QWidget* {
             if (!wave.adjusting()) wave.adjustInsert();
             return wave.adjustDialog();
         }},
        {"find-dialog",
         [&](MainWindow& w) {
             restore();
             wave.abortAdjust();
             auto* d = new FindDialog(doc.profile(), 30, &w);
             d->setAttribute(Qt::WA_DeleteOnClose);
             d->show();
             return d;
         }},
        {"list-dialog",
         [&](MainWindow& w) {
             auto* d = new ListDialog(doc.profile(), &w);
             d->setAttribute(Qt::WA_DeleteOnClose);
             d->show();
             return d;
         }},
    };

    int written = 0;
    for (const Shot& s : shots) {
        if (!wanted.isEmpty() && !wanted.contains(s.name)) continue;
        QWidget* target = s.prepare(window);
        settle();
        const QString file = QDir(out).absoluteFilePath(QString(s.name) + ".png");
        if (!target->grab().save(file)) {
            std::cerr << "cannot write " << file.toStdString() << "\n";
            return 1;
        }
        std::cout << file.toStdString() << "\n";
        ++written;
        if (target != &window) target->close();
    }
    wave.abortAdjust();
    doc.modified = false;
    window.close();
    QFile::remove(QString::fromStdString(side));
    return written > 0 ? 0 : 1;
}
