// Renders every dialog of the desktop application offscreen into PNG files, for the
// documentation and for looking at the layouts: tarnival-gallery OUTPUT_FOLDER
#include "app/QtUserInterface.h"
#include "dialogs/BatchDlg.h"
#include "dialogs/ConversionDlg.h"
#include "dialogs/DevicesDialog.h"
#include "dialogs/FilterTestWindow.h"
#include "dialogs/FiltersDialog.h"
#include "dialogs/GraphDlg.h"
#include "dialogs/LevelDialogs.h"
#include "dialogs/PathsDialog.h"
#include "dialogs/ProgressWindow.h"
#include "dialogs/RescanTracksDialog.h"
#include "dialogs/SaveDialog.h"
#include "dialogs/ScanOptionsDlg.h"
#include "dialogs/StatusDialog.h"
#include "dialogs/TipDialog.h"
#include "dialogs/TrackPropertiesDialog.h"
#include "dsp/GraphicCurve.h"
#include "dsp/Levels.h"
#include "dsp/NoiseProfile.h"
#include "facade/Document.h"
#include "output/SaveTracks.h"
#include "support/ScriptedUi.h"
#include "support/Signals.h"
#include "support/TempDir.h"
#include "synth/DemoSide.h"
#include "tracks/TrackEditing.h"

#include <QApplication>
#include <QDir>
#include <QListWidget>
#include <QMainWindow>
#include <QSlider>
#include <QVBoxLayout>

#include <cmath>
#include <cstdio>

using namespace tarnival;

namespace {

QString folder;
int saved = 0;

void shoot(QWidget& w, const QString& name) {
    w.show();
    w.adjustSize();
    QApplication::processEvents();
    QString path = folder + "/" + name + ".png";
    if (w.grab().save(path)) {
        ++saved;
        std::printf("%s\n", path.toLocal8Bit().constData());
    } else {
        std::fprintf(stderr, "could not write %s\n", path.toLocal8Bit().constData());
    }
    w.hide();
}

// An input that hands the recorder a few buffers of a tone, so the meter shows bars.
class ToneInput : public AudioInput {
  public:
    OpenResult open(int, int, AudioInputEvents& events) override {
        events_ = &events;
        return {OpenStatus::Opened, {}, {}};
    }
    void close() override { events_ = nullptr; }
    bool isOpen() const override { return events_ != nullptr; }
    std::string deviceName() const override { return "USB Audio CODEC Analog Stereo"; }
    void deliver(int buffers, double left, double right) {
        std::vector<int16_t> s(kRecordBufferBytes / 2);
        for (int b = 0; b < buffers && events_; ++b) {
            for (size_t i = 0; i < s.size(); i += 2) {
                phase_ += 0.07;
                s[i] = static_cast<int16_t>(left * std::sin(phase_));
                s[i + 1] = static_cast<int16_t>(right * std::sin(phase_ * 1.01));
            }
            events_->captured(reinterpret_cast<const uint8_t*>(s.data()), kRecordBufferBytes);
        }
    }

  private:
    AudioInputEvents* events_ = nullptr;
    double phase_ = 0;
};

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QCoreApplication::setApplicationVersion("0.1.0");
    if (argc < 2) {
        std::fprintf(stderr, "usage: tarnival-gallery OUTPUT_FOLDER\n");
        return 2;
    }
    folder = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(folder);

    test::TempDir dir;
    MemoryProfile profile;
    set(profile, settings::kSensitivity, 3);
    set(profile, settings::kTempMode, ids::kTempSameFolder);
    test::ScriptedUi ui;
    writeDemoSide(dir.file("Side A.wav"), 4, 14.0, 2.5);
    CMorvath3Doc doc(profile, ui);
    if (!doc.OpenWave(dir.file("Side A.wav")) || !doc.ProcessFile()) {
        std::fprintf(stderr, "the demo side did not load\n");
        return 1;
    }
    const int rate = doc.store.layout.sampleRate;
    const char* titles[4] = {"Blue Horizon", "Night Train", "", "Harbour Lights"};
    for (int i = 1; i <= doc.tracks.trackCount() && i <= 4; ++i) {
        doc.tracks[i].title = titles[i - 1];
        doc.tracks[i].artist = "The Kelvarin Quartet";
        doc.tracks[i].album = "Live at the Tarn";
    }
    doc.tracks[1].fadeIn = rate * 4;
    FillDefaultNames(doc.tracks, doc.inputPath());

    // Progress window as a load shows it part way.
    {
        QMainWindow window;
        QtUserInterface qui(&window);
        qui.progressBegin({"Scan for Tracks and Clicks", "Generate Corrections"});
        qui.setCurrentTask(1);
        qui.setProgressRange(0, 1000);
        qui.setProgressPosition(620);
        qui.setProgressText(0, "Making Corrections...");
        qui.setProgressText(1, "Tracks Found = 4");
        shoot(*qui.progressWindow(), "progress");
        qui.progressEnd();
    }
    {
        StatusDialog d(nullptr, doc);
        shoot(d, "status");
    }
    {
        TrackPropertiesDialog d(nullptr, doc);
        d.resize(760, 380);
        shoot(d, "track-properties");
        TrackEditDialog e(nullptr, d.rows(), 1);
        shoot(e, "track-edit");
        DefaultTimingsDialog t(nullptr, doc);
        shoot(t, "default-timings");
    }
    {
        RescanTracksDialog d(nullptr, false);
        shoot(d, "rescan-tracks");
    }
    {
        test::writeFile(dir.file("Side Acor02.wav"), {0});
        SaveDialog d(nullptr, doc, true);
        d.trackList()->item(2)->setSelected(false);
        shoot(d, "save");
        ConfirmSaveDialog c(nullptr, confirmSaveLines(d.names().paths));
        shoot(c, "confirm-save");
    }
    {
        CompressDlg wave(nullptr, profile, ui, ids::kFileWave);
        shoot(wave, "compression-settings");
        CompressDlg ogg(nullptr, profile, ui, ids::kFileOgg);
        shoot(ogg, "compression-settings-ogg");
    }
    {
        PathsDialog d(nullptr, profile);
        shoot(d, "paths");
        TipDialog t(nullptr, profile, ui, QCoreApplication::applicationDirPath() + "/tips.txt");
        shoot(t, "tip-of-the-day");
        AboutDialog a(nullptr);
        shoot(a, "about");
        CDevicesDlg v(
            nullptr, profile, {"Default Device", "Built-in Audio Analog Stereo"},
            {"Default Device", "Built-in Audio Analog Stereo", "USB Audio CODEC Analog Stereo"});
        shoot(v, "devices");
    }
    {
        ToneInput input;
        CConversionDlg d(nullptr, profile, ui, input, dir.file("recording.wav"), false);
        d.show();
        QApplication::processEvents();
        input.deliver(1, 30000, 30000);
        input.deliver(3, 20000, 14000);
        d.recorder().record();
        input.deliver(60, 12000, 9000);
        shoot(d, "record");
        d.recorder().stop();
    }
    {
        FilterContext ctx = doc.filterContext();
        EnsureProfileBlock(ctx);
        GraphCurve curve = {{0, 0, 6}, {12, 0, 0}, {150, 0, 0}, {220, 0, -4}, {255, 0, -4}};
        SaveCurve(profile, ui, "Warm Treble", curve, rate, false);
        SaveCurve(profile, ui, "Flat", FlatCurve(), rate, false);
        FilterSettings s = doc.filters.settings;
        s.RumbleOn = s.HissOn = s.GraphicOn = true;
        s.HissLevel = 2;
        s.GraphicName = "Warm Treble";
        AppliedFilters applied;
        applied.AppliedRumble = true;
        applied.AppliedHiss = 1;
        FiltersDialog d(nullptr, profile, ui, rate, s, applied, FiltersDialog::Form::Apply);
        shoot(d, "filters");
        FiltersDialog c(nullptr, profile, ui, rate, s, applied, FiltersDialog::Form::Configure);
        shoot(c, "configure-filters");
        FilterTestWindow t(nullptr, doc, s);
        shoot(t, "filter-test");
        CGraphDlg g(nullptr, profile, ui, rate, "Warm Treble");
        g.resize(780, 380);
        g.area()->setCurrent(3);
        shoot(g, "graph-editor");
        MeasureProfile(doc.store, doc.fft, doc.filters, false);
        QWidget plotHolder;
        plotHolder.setWindowTitle("View Profile");
        auto* layout = new QVBoxLayout(&plotHolder);
        layout->addWidget(new ProfilePlot(&plotHolder, doc.filters.tables.Profile, rate));
        shoot(plotHolder, "view-profile");
    }
    {
        NormaliseDialog n(nullptr, 23170);
        shoot(n, "normalise");
        BalanceDialog b(nullptr, BalanceEstimate(1000, 80, 1.0f, 1.0f));
        b.slider()->setValue(2);
        shoot(b, "balance");
    }
    {
        ScanOptionsValues v;
        v.scan.sensitivity = 3;
        ScanOptionsDlg a(ScanOptionsForm::AutoScan, v);
        shoot(a, "scan-options");
        v.hasUserCorrections = v.hasCuts = true;
        ScanOptionsDlg r(ScanOptionsForm::RescanBlock, v, nullptr, "Re-Scan Block",
                         "Re-scan the selected block");
        shoot(r, "rescan-block");
        ScanOptionsDlg s(ScanOptionsForm::SuperScanFile, v, nullptr, "Super-Scan",
                         "Superimpose new corrections");
        shoot(s, "super-scan");
        MemoryProfile batchSettings;
        CBatchDlg b(batchSettings);
        shoot(b, "batch");
    }
    std::printf("%d dialogs rendered\n", saved);
    return saved > 0 ? 0 : 1;
}
