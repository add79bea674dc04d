// Repaint times of the waveform view and the overview on a 30-minute side, at zooms from the
// default to the whole side, painted into an offscreen image as the window system would ask.
//   bench_views SCRATCH_DIR [MINUTES]
#include "../BenchCommon.h"
#include "app/MainWindow.h"
#include "facade/Document.h"
#include "synth/DemoSide.h"
#include "views/ChildFrame.h"
#include "views/ClickView.h"
#include "views/OverviewView.h"

#include <QApplication>
#include <QDir>
#include <QImage>
#include <QMessageBox>
#include <QPainter>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

using namespace tarnival;
using bench::Clock;

namespace {

struct Figures {
    double median = 0, worst = 0;
};

Figures paintTimes(QWidget& w, int runs) {
    QImage image(w.size(), QImage::Format_RGB32);
    std::vector<double> ms;
    for (int i = 0; i < runs + 2; ++i) {
        const auto t0 = Clock::now();
        w.render(&image);
        const double t = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
        if (i >= 2) ms.push_back(t); // the first paints warm the caches
    }
    std::sort(ms.begin(), ms.end());
    return {ms[ms.size() / 2], ms.back()};
}

// What any paint of that size costs: filling the image.
Figures fillTimes(QSize size, int runs) {
    QImage image(size, QImage::Format_RGB32);
    std::vector<double> ms;
    for (int i = 0; i < runs; ++i) {
        const auto t0 = Clock::now();
        QPainter p(&image);
        p.fillRect(image.rect(), QColor(150, 150, 0));
        p.end();
        ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
    }
    std::sort(ms.begin(), ms.end());
    return {ms[ms.size() / 2], ms.back()};
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_views SCRATCH_DIR [MINUTES]\n");
        return 2;
    }
    const double minutes = argc > 2 ? std::atof(argv[2]) : 30.0;
    QDir().mkpath(argv[1]);
    const std::string side = QDir(argv[1]).absoluteFilePath("side30.wav").toStdString();
    const int pieces = 6;
    const double pause = 3.0;
    writeDemoSide(side, pieces, (minutes * 60 - pieces * pause) / pieces, pause, 30);

    // The same load without a window, as the command line runs it: the measure of the window's
    // own cost of opening a side.
    double engineSeconds = 0;
    {
        MemoryProfile quiet;
        quiet.setInt("Settings", "Sensitivity", 3);
        bench::useSameFolder(quiet);
        bench::YesUi ui;
        CMorvath3Doc doc(quiet, ui);
        const auto e0 = Clock::now();
        if (!doc.OpenWave(side) || !doc.ProcessFile()) return 1;
        engineSeconds = bench::secondsSince(e0);
        doc.CloseWave();
    }

    auto profile = std::make_unique<MemoryProfile>();
    profile->setInt("Settings", "Sensitivity", 3);
    profile->setInt("Settings", "Temp Mode", 1136);
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget()))
            box->accept();
    });
    closer.start(50);
    MainWindow window(std::move(profile));
    window.resize(1280, 800);
    window.show();
    const auto t0 = Clock::now();
    if (!window.openFile(QString::fromStdString(side))) return 1;
    const double openSeconds = std::chrono::duration<double>(Clock::now() - t0).count();
    ClickView& wave = window.wave();
    OverviewView& overview = window.frame().overview();
    CMorvath3Doc& doc = window.document();
    // The middle of the side, on a correction.
    int entry = doc.corrections.count() / 2;
    while (entry < doc.corrections.count() - 2 && doc.corrections[entry].width < 0) ++entry;
    doc.observer().entrySelected(entry);

    const int runs = 50;
    const Figures fill = fillTimes(wave.size(), runs);
    std::printf("side            %.1f minutes, %d corrections\n", minutes,
                doc.corrections.count() - 2);
    std::printf(
        "open and scan   window %.2f s, engine alone %.2f s: %.2fx; target within 1.2x: %s\n",
        openSeconds, engineSeconds, openSeconds / engineSeconds,
        openSeconds <= 1.2 * engineSeconds ? "met" : "NOT met");
    std::printf("waveform view   %dx%d pixels, %d paints per zoom (median / worst ms)\n",
                wave.width(), wave.height(), runs);
    std::printf("  fill only     %7.2f / %7.2f\n", fill.median, fill.worst);
    double worstAll = 0;
    const int maxIndex = wave.maxScaleIndex();
    for (int index : {4, 7, 10, 12, 14, 16, maxIndex}) {
        if (index > maxIndex) continue;
        wave.setScaleIndex(index);
        const Figures f = paintTimes(wave, runs);
        worstAll = std::max(worstAll, f.worst);
        std::printf("  %9d smp/div %7.2f / %7.2f   %5.1fx fill, %4.2f of a 60 Hz frame\n",
                    wave.samplesPerDiv(), f.median, f.worst, f.median / std::max(fill.median, 1e-3),
                    f.worst / 16.7);
    }
    wave.setScaleIndex(4);
    overview.setAllTracks(true);
    const Figures whole = paintTimes(overview, runs);
    overview.setAllTracks(false);
    const Figures track = paintTimes(overview, runs);
    std::printf("overview        %dx%d pixels\n", overview.width(), overview.height());
    std::printf("  whole side    %7.2f / %7.2f   %4.2f of a 60 Hz frame\n", whole.median,
                whole.worst, whole.worst / 16.7);
    std::printf("  one track     %7.2f / %7.2f   %4.2f of a 60 Hz frame\n", track.median,
                track.worst, track.worst / 16.7);
    worstAll = std::max({worstAll, whole.worst, track.worst});
    std::printf("worst paint     %.2f ms; target every paint under 16.7 ms: %s\n", worstAll,
                worstAll < 16.7 ? "met" : "NOT met");
    doc.modified = false;
    window.close();
    QFile::remove(QString::fromStdString(side));
    return 0;
}
