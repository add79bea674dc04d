#include "audio/SoundServer.h"
#include "devices/QtAudioInput.h"
#include "dialogs/ConversionDlg.h"
#include "dialogs/DevicesDialog.h"
#include "gui/DialogFixture.h"
#include "support/Signals.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimeEdit>

#include <cmath>
#include <cstring>
#include <thread>

namespace tarnival {
namespace {

using namespace std::chrono_literals;

// An input device that captures what the test hands it.
class ScriptedInput : public AudioInput {
  public:
    std::vector<int> openedRates;
    OpenResult open(int, int rate, AudioInputEvents& events) override {
        events_ = &events;
        openedRates.push_back(rate);
        return {OpenStatus::Opened, {}, {}};
    }
    void close() override { events_ = nullptr; }
    bool isOpen() const override { return events_ != nullptr; }
    std::string deviceName() const override { return "Test Input"; }
    // Buffers of a sine wave at the given amplitude.
    void deliver(int buffers, int amplitude) {
        std::vector<int16_t> samples(kRecordBufferBytes / 2);
        for (int b = 0; b < buffers && events_; ++b) {
            for (size_t i = 0; i < samples.size(); i += 2) {
                double v = amplitude * std::sin(phase_);
                phase_ += 2 * M_PI * 1000 / 44100;
                samples[i] = samples[i + 1] = static_cast<int16_t>(v);
            }
            events_->captured(reinterpret_cast<const uint8_t*>(samples.data()), kRecordBufferBytes);
        }
    }

  private:
    AudioInputEvents* events_ = nullptr;
    double phase_ = 0;
};

struct Header {
    int rate = 0;
    uint32_t dataBytes = 0;
};
Header headerOf(const std::string& path) {
    std::vector<uint8_t> b = test::readFile(path);
    Header h;
    if (b.size() < 44) return h;
    std::memcpy(&h.rate, &b[24], 4);
    std::memcpy(&h.dataBytes, &b[40], 4);
    return h;
}

TEST(RecordDialog, RecordsStopsAndHandsTheFileOn) {
    test::TempDir dir;
    MemoryProfile profile;
    test::ScriptedUi ui;
    ScriptedInput input;
    const std::string path = dir.file("take.wav");
    CConversionDlg d(nullptr, profile, ui, input, path, false);
    d.show();
    ASSERT_TRUE(d.ready());
    EXPECT_EQ(d.windowTitle().toStdString(), "Record File: " + path);
    EXPECT_EQ(d.deviceLabel()->text(), "Device: Test Input");
    EXPECT_EQ(d.statusLabel()->text(), "Status: Idle");
    EXPECT_TRUE(d.modeButton(ids::kRecManual)->isChecked());
    EXPECT_FALSE(d.button("scan")->isEnabled());
    EXPECT_EQ(d.startEdit()->text(), "-----") << "no delayed start";

    // The meter runs before recording; a full-scale buffer lights the lamps.
    input.deliver(3, 32767);
    EXPECT_GT(d.recorder().meter().bar(0), d.meter()->barWidth() * 600 / 640);
    EXPECT_TRUE(d.recorder().meter().overload(0));
    test::press(d.button("clearPeak"));
    EXPECT_FALSE(d.recorder().meter().overload(0));

    // 78/45 reopens the device slower; the file keeps the nominal rate.
    test::press(d.conversionButton(ids::kConvert78));
    EXPECT_EQ(input.openedRates.back(), 25442);
    test::press(d.button("record"));
    EXPECT_EQ(d.button("record")->text(), "&Pause");
    EXPECT_EQ(d.statusLabel()->text(), " Continuous Recording ");
    EXPECT_FALSE(d.rateButton(48000)->isEnabled()) << "the rate stays while recording";
    input.deliver(10, 8000);
    EXPECT_TRUE(d.peakLabel()->text().startsWith("Peak Level: -12."))
        << d.peakLabel()->text().toStdString();
    test::press(d.button("stop"));
    EXPECT_EQ(d.statusLabel()->text(), "Status: File Saved");
    EXPECT_TRUE(d.button("scan")->isEnabled());
    Header h = headerOf(path);
    EXPECT_EQ(h.rate, 44100);
    EXPECT_EQ(h.dataBytes, 10u * kRecordBufferBytes);

    // A second recording asks first; Cancel keeps the first.
    ui.answers = {Answer::Cancel};
    test::press(d.button("record"));
    EXPECT_EQ(ui.questions.back(), "Continuing will overwrite your existing recording");
    EXPECT_EQ(d.statusLabel()->text(), "Status: File Saved");

    test::press(d.button("scan"));
    EXPECT_TRUE(d.scanRequested());
    EXPECT_EQ(get(profile, settings::kConvertMode), ids::kConvert78);
    EXPECT_EQ(headerOf(path).dataBytes, 10u * kRecordBufferBytes);
}

TEST(RecordDialog, ModesTimesAndSettings) {
    test::TempDir dir;
    MemoryProfile profile;
    set(profile, settings::kRecMode, ids::kRecTimed);
    set(profile, settings::kRecTime, 5);
    test::ScriptedUi ui;
    ScriptedInput input;
    {
        CConversionDlg d(nullptr, profile, ui, input, dir.file("timed.wav"), false);
        d.show();
        EXPECT_TRUE(d.modeButton(ids::kRecTimed)->isChecked());
        EXPECT_EQ(d.durationEdit()->time(), QTime(0, 5));
        EXPECT_TRUE(d.durationEdit()->isEnabled());
        d.durationEdit()->setTime(QTime(1, 30));
        EXPECT_EQ(d.recorder().schedule().duration(), 90);
        // With a delayed start the three times stay consistent.
        test::press(d.delayedBox());
        EXPECT_TRUE(d.startEdit()->isEnabled());
        d.startEdit()->setTime(QTime(22, 0));
        d.stopEdit()->setTime(QTime(23, 15));
        EXPECT_EQ(d.recorder().schedule().duration(), 75);
        EXPECT_EQ(d.durationEdit()->time(), QTime(1, 15));
        test::press(d.button("record"));
        EXPECT_EQ(d.statusLabel()->text(), " Status: Counting Down: ");
        test::press(d.button("stop"));
        test::press(d.rateButton(48000));
        EXPECT_EQ(input.openedRates.back(), 48000);
        test::press(d.modeButton(ids::kRecAuto));
        test::press(d.button("record"));
        EXPECT_EQ(d.statusLabel()->text(), " Status: Waiting for signal: ");
        input.deliver(25, 100); // quiet: still waiting
        EXPECT_EQ(d.statusLabel()->text(), " Status: Waiting for signal: ");
        input.deliver(2, 12000); // the signal starts the recording
        EXPECT_EQ(d.statusLabel()->text(), " Recording (Auto-Stop) ");
        test::press(d.button("stop"));
        // The audio from before the signal leads the file, the signal follows.
        const Header h = headerOf(dir.file("timed.wav"));
        EXPECT_GE(h.dataBytes, static_cast<uint32_t>(kPreTriggerBytes));
        std::vector<uint8_t> b = test::readFile(dir.file("timed.wav"));
        ASSERT_EQ(b.size(), 44u + h.dataBytes);
        auto peakIn = [&](size_t from, size_t to) {
            int peak = 0;
            for (size_t i = from; i + 1 < to; i += 2)
                peak = std::max(peak, std::abs(static_cast<int16_t>(b[i] | b[i + 1] << 8)));
            return peak;
        };
        EXPECT_LE(peakIn(44, 44 + kRecordBufferBytes), 100);
        EXPECT_GT(peakIn(b.size() - kRecordBufferBytes, b.size()), 10000);
        test::press(d.modeButton(ids::kRecTimed));
        test::press(d.button("done"));
    }
    EXPECT_EQ(get(profile, settings::kRecordRate), 48000);
    EXPECT_EQ(get(profile, settings::kRecMode), ids::kRecTimed);
    EXPECT_EQ(get(profile, settings::kRecTime), 75);
}

TEST(RecordDialog, NothingRecordedLeavesNoFile) {
    test::TempDir dir;
    MemoryProfile profile;
    test::ScriptedUi ui;
    ScriptedInput input;
    {
        CConversionDlg d(nullptr, profile, ui, input, dir.file("empty.wav"), false);
        EXPECT_TRUE(std::filesystem::exists(dir.file("empty.wav")));
        d.reject();
    }
    EXPECT_FALSE(std::filesystem::exists(dir.file("empty.wav")));
    // An existing file is not replaced unless the user agreed.
    test::writeFile(dir.file("kept.wav"), {1, 2, 3});
    CConversionDlg refused(nullptr, profile, ui, input, dir.file("kept.wav"), false);
    EXPECT_FALSE(refused.ready());
    EXPECT_EQ(test::readFile(dir.file("kept.wav")).size(), 3u);
}

TEST(DevicesDialog, ListsDefaultFirstAndStoresNumbers) {
    MemoryProfile profile;
    set(profile, settings::kInputDevice, 1);
    set(profile, settings::kOutputDevice, 7); // gone since: shown as the default
    CDevicesDlg d(nullptr, profile, {"Default Device", "Speakers"},
                  {"Default Device", "Line In", "USB Turntable"});
    EXPECT_EQ(d.playbackCombo()->currentIndex(), 0);
    EXPECT_EQ(d.recordCombo()->currentText(), "USB Turntable");
    EXPECT_EQ(d.volumeEdit()->text(), "pavucontrol --tab=4");
    d.volumeEdit()->setText("qpwgraph");
    test::press(d.defaultButton());
    EXPECT_EQ(d.volumeEdit()->text(), "pavucontrol --tab=4");
    d.volumeEdit()->setText("alsamixer -V capture");
    d.playbackCombo()->setCurrentIndex(1);
    d.recordCombo()->setCurrentIndex(0);
    d.accept();
    EXPECT_EQ(get(profile, settings::kOutputDevice), 0);
    EXPECT_EQ(get(profile, settings::kInputDevice), -1);
    EXPECT_EQ(get(profile, settings::kVolControl), "alsamixer -V capture");
}

TEST(RecordDialog, RecordsTheNullSinkMonitor) {
    if (std::string why = test::soundServerProblem(); !why.empty()) GTEST_SKIP() << why;
    test::TempDir dir;
    MemoryProfile profile;
    set(profile, settings::kInputDevice, test::nullInputDevice());
    test::ScriptedUi ui;
    QtAudioInput input;
    test::writeWav(dir.file("tone.wav"), test::music(3 * 44100, 44100, 31, 9000));
    CConversionDlg d(nullptr, profile, ui, input, dir.file("take.wav"), false);
    d.show();
    ASSERT_TRUE(d.ready());
    test::runEventsUntil([] { return false; }, 300ms);
    EXPECT_TRUE(ui.messages.empty()) << ui.messages.front();
    test::press(d.button("record"));
    test::ChildProcess paplay({"paplay", "--device=nullout", dir.file("tone.wav")});
    ASSERT_TRUE(paplay.started());
    ASSERT_TRUE(test::runEventsUntil([&] { return paplay.wait(0ms) >= 0; }, 15s));
    test::runEventsUntil([] { return false; }, 500ms);
    test::press(d.button("stop"));
    EXPECT_EQ(d.statusLabel()->text(), "Status: File Saved");
    EXPECT_TRUE(d.peakLabel()->text().startsWith("Peak Level: -"))
        << d.peakLabel()->text().toStdString();
    Header h = headerOf(dir.file("take.wav"));
    EXPECT_EQ(h.rate, 44100);
    ASSERT_GT(h.dataBytes, 2u * 44100 * 4) << "the tone was recorded";
    std::vector<uint8_t> bytes = test::readFile(dir.file("take.wav"));
    test::Stereo taken((bytes.size() - 44) / 2);
    std::memcpy(taken.data(), bytes.data() + 44, taken.size() * 2);
    double best = 0;
    for (int from = 0; from + 22050 < static_cast<int>(taken.size() / 2); from += 22050)
        best = std::max(best, test::rmsOf(taken, from, 22050));
    EXPECT_GT(best, 1000.0);
}

} // namespace
} // namespace tarnival
