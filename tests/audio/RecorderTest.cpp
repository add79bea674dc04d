#include "audio/Recorder.h"
#include "audio/AudioFakes.h"
#include "audio/CommandLine.h"
#include "document/File.h"
#include "document/Profile.h"
#include "document/WaveHeader.h"
#include "support/ScriptedUi.h"
#include "support/Signals.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <unistd.h>

namespace tarnival::test {
namespace {

namespace fs = std::filesystem;

// One device buffer (2048 frames). A quiet one holds a constant tag in both channels, so it can
// be recognised in the file; a loud one swings between +-amplitude.
std::vector<uint8_t> quiet(int16_t tag) {
    std::vector<uint8_t> b(kRecordBufferBytes);
    for (size_t i = 0; i < b.size(); i += 2) {
        b[i] = static_cast<uint8_t>(tag & 0xFF);
        b[i + 1] = static_cast<uint8_t>((tag >> 8) & 0xFF);
    }
    return b;
}
std::vector<uint8_t> loud(int16_t amplitude = 20000) {
    std::vector<uint8_t> b(kRecordBufferBytes);
    for (size_t i = 0; i < b.size(); i += 2) {
        auto v = static_cast<uint16_t>((i / 4) % 2 ? -amplitude : amplitude);
        b[i] = static_cast<uint8_t>(v & 0xFF);
        b[i + 1] = static_cast<uint8_t>(v >> 8);
    }
    return b;
}
int16_t sampleAt(const std::vector<uint8_t>& b, size_t byte) {
    return static_cast<int16_t>(b[byte] | (b[byte + 1] << 8));
}

struct Rig {
    TempDir dir;
    FakeInput input;
    ScriptedUi ui;
    int now = 12 * 3600;
    Recorder recorder{input, ui, [this] { return now; }};
    std::string path = dir.file("take.wav");

    explicit Rig(RecorderSettings settings = {}, bool open = true) {
        recorder.setFreeSpaceProbe([](const std::string&) { return std::nullopt; });
        recorder.setSettings(settings);
        if (open) {
            EXPECT_TRUE(recorder.createFile(path, false));
            EXPECT_TRUE(recorder.openDevice());
        }
    }
    void feed(const std::vector<uint8_t>& buffer, int times = 1) {
        for (int i = 0; i < times; ++i) input.deliver(buffer);
    }
    std::vector<uint8_t> fileBytes() const { return readFile(path); }
    WaveReading reading(const std::string& file) const {
        File f(file, File::Mode::ReadOnly);
        return readWaveHeader(f);
    }
};

TEST(Recorder, ConversionOpensTheDeviceSlowerAndTheFileKeepsTheNominalRate) {
    RecorderSettings s;
    s.convertMode = ids::kConvert78;
    Rig rig(s);
    EXPECT_EQ(rig.input.openedRates, std::vector<int>{25442}); // 44100 x 45 / 78
    EXPECT_EQ(rig.recorder.deviceText(), "Device: Fake Input");
    rig.recorder.record();
    EXPECT_EQ(rig.recorder.state(), Recorder::State::Recording);
    EXPECT_EQ(rig.recorder.statusText(), " Continuous Recording ");
    rig.feed(loud(), 10);
    rig.recorder.stop();
    EXPECT_EQ(rig.recorder.statusText(), "Status: File Saved");
    EXPECT_TRUE(rig.recorder.scanEnabled());
    WaveReading r = rig.reading(rig.path);
    ASSERT_TRUE(r.accepted) << r.problem;
    EXPECT_TRUE(r.repair.empty());
    EXPECT_EQ(r.layout.sampleRate, 44100);
    EXPECT_EQ(r.layout.dataStart, 44);
    EXPECT_EQ(r.layout.dataLength(), 10 * kRecordBufferBytes);

    // Rate and conversion reopen the device while idle, and only then.
    EXPECT_TRUE(rig.recorder.setRate(48000));
    EXPECT_TRUE(rig.recorder.setCustomRatio(674));
    EXPECT_TRUE(rig.recorder.setConversion(ids::kConvertCustom));
    EXPECT_EQ(rig.input.openedRates, (std::vector<int>{25442, 27692, 32352}));
    EXPECT_EQ(customConversionLabel(674), " Custo&m Conv.: (0.674:1) ");
    EXPECT_FALSE(rig.recorder.setCustomRatio(0));
    rig.ui.answers = {Answer::Ok};
    rig.recorder.record();
    EXPECT_FALSE(rig.recorder.setRate(44100));
    EXPECT_FALSE(rig.recorder.controlsEnabled());
    rig.recorder.stop();
}

TEST(Recorder, MeterLengthsColoursDecayAndOverload) {
    const int w = 640;
    EXPECT_EQ(meterLength(-100, w), 330); // -10.0 dB, first branch
    EXPECT_EQ(meterLength(-99, w), 300);  // -9.9 dB, second branch
    EXPECT_EQ(meterLength(0, w), 630);
    EXPECT_EQ(meterLength(-903, w), 10); // never shorter than 10 pixels
    EXPECT_EQ(meterColour(430, w), MeterColour::Green);
    EXPECT_EQ(meterColour(431, w), MeterColour::Yellow);
    EXPECT_EQ(meterColour(531, w), MeterColour::Orange);
    EXPECT_EQ(meterColour(626, w), MeterColour::Red);
    EXPECT_EQ(meterRgb(MeterColour::Orange), 0xFFC800u);

    struct PeakCase {
        int16_t high, low;
        int peak;
    };
    const PeakCase cases[] = {
        {32767, -32768, 0},   // full scale
        {500, 500, -903},     // a constant offset is no signal
        {1000, -1000, -303},  // peak to peak below 3000: half the swing
        {16384, -16384, -60}, // loud: the largest sample
        {20000, 10000, -42},  // loud and lopsided: the largest sample, not the swing
    };
    for (const PeakCase& c : cases) {
        std::vector<int16_t> s;
        for (int i = 0; i < 64; ++i) s.insert(s.end(), {c.high, c.low, c.low, c.high});
        EXPECT_EQ(channelPeak(s.data(), 128, 0), c.peak) << c.high << "/" << c.low;
    }

    LevelMeter meter(w);
    meter.update({0, -903});
    EXPECT_EQ(meter.bar(0), 630);
    EXPECT_EQ(meter.colour(0), MeterColour::Red);
    EXPECT_TRUE(meter.overload(0));
    EXPECT_FALSE(meter.overload(1));
    meter.update({-903, -903});
    EXPECT_EQ(meter.bar(0), 629); // falls one pixel per buffer
    EXPECT_EQ(meter.hold(0), 630);
    meter.clearPeak();
    EXPECT_EQ(meter.hold(0), 0);
    EXPECT_FALSE(meter.overload(0));
}

TEST(Recorder, AutoModeStartsOnSignalWithThePreTriggerAudioAndStopsAfterSilence) {
    RecorderSettings s;
    s.mode = ids::kRecAuto;
    Rig rig(s);
    rig.recorder.record();
    EXPECT_EQ(rig.recorder.state(), Recorder::State::Waiting);
    EXPECT_EQ(rig.recorder.statusText(), " Status: Waiting for signal: ");
    EXPECT_EQ(rig.recorder.recordTip(), "start recording when signal detected");
    for (int16_t tag = 1; tag <= 30; ++tag) rig.feed(quiet(tag));
    EXPECT_EQ(rig.recorder.state(), Recorder::State::Waiting);
    rig.feed(loud()); // buffer 31: the meter sees the signal
    rig.feed(quiet(32));
    ASSERT_EQ(rig.recorder.state(), Recorder::State::Recording);
    EXPECT_EQ(rig.recorder.statusText(), " Recording (Auto-Stop) ");
    EXPECT_EQ(rig.recorder.overrideTip(), "cancel automatic stop");

    int buffers = 0;
    for (int16_t tag = 33; rig.recorder.state() == Recorder::State::Recording && buffers < 2000;
         ++buffers)
        rig.feed(quiet(tag));
    // About 600 quiet buffers end it, counted once the bar has fallen to quiet.
    EXPECT_GT(buffers, 600);
    EXPECT_LT(buffers, 900);
    EXPECT_EQ(rig.recorder.statusText(), "Status: File Saved");

    WaveReading r = rig.reading(rig.path);
    ASSERT_TRUE(r.accepted);
    std::vector<uint8_t> data = rig.fileBytes();
    data.erase(data.begin(), data.begin() + 44);
    ASSERT_EQ(data.size(), static_cast<size_t>(kPreTriggerBytes) + buffers * kRecordBufferBytes);
    // The first 81,920 bytes: the ten buffers up to and including the one after the signal.
    for (int i = 0; i < 10; ++i) {
        const size_t at = static_cast<size_t>(i) * kRecordBufferBytes;
        if (i == 8)
            EXPECT_EQ(sampleAt(data, at), 20000);
        else
            EXPECT_EQ(sampleAt(data, at), i < 8 ? 23 + i : 32) << "buffer " << i;
    }
    EXPECT_EQ(sampleAt(data, kPreTriggerBytes), 33);
}

TEST(Recorder, TimedRecordingStopsItselfAndShowsTimeLeft) {
    RecorderSettings s;
    s.mode = ids::kRecTimed;
    Rig rig(s);
    rig.recorder.setDurationMinutes(1);
    rig.recorder.record();
    EXPECT_EQ(rig.recorder.statusText(), " Timed Recording: 0:01 Hrs:Mins ");
    rig.feed(quiet(1), 646); // 5,292,032 bytes: 30 s
    EXPECT_EQ(rig.recorder.timeText(), "Time Recorded: 0:30; \t\tTime Remaining: 0:29");
    int more = 0;
    while (rig.recorder.state() == Recorder::State::Recording && more < 2000) {
        rig.feed(quiet(1));
        ++more;
    }
    // 60 s x 176,400 bytes: the buffer that takes the count below zero is the last one.
    EXPECT_EQ(646 + more, 1292);
    EXPECT_EQ(rig.recorder.recordedBytes(), int64_t{1292} * kRecordBufferBytes);
    EXPECT_EQ(rig.recorder.statusText(), "Status: File Saved");
    EXPECT_EQ(rig.recorder.timeText(), "Time Recorded: 1:00"); // cut at the first ';'
}

TEST(Recorder, DelayedStartCountsDownAcrossMidnight) {
    RecorderSettings s;
    s.mode = ids::kRecTimed;
    Rig rig(s);
    rig.now = 23 * 3600 + 59 * 60 + 50;
    rig.recorder.setDelayedStart(true);
    rig.recorder.setStartTime(0);
    rig.recorder.setDurationMinutes(2);
    EXPECT_EQ(rig.recorder.schedule().stop(), 2);
    EXPECT_TRUE(rig.recorder.startIsNextDay());
    EXPECT_EQ(rig.recorder.recordTip(), "start recording after programmed delay");
    rig.recorder.record();
    EXPECT_EQ(rig.recorder.statusText(), " Status: Counting Down: ");
    rig.feed(quiet(1));
    EXPECT_EQ(rig.recorder.statusText(), " Counting Down 00:00:10 ");
    rig.now = 86399;
    rig.feed(quiet(1));
    EXPECT_EQ(rig.recorder.statusText(), " Counting Down 00:00:01 ");
    EXPECT_EQ(rig.recorder.recordedBytes(), 0);
    rig.now = 0;
    rig.feed(quiet(1));
    EXPECT_EQ(rig.recorder.state(), Recorder::State::Recording);
    EXPECT_EQ(rig.recorder.statusText(), " Timed Recording: 0:02 Hrs:Mins ");

    EXPECT_EQ(secondsUntil(11 * 3600 + 59 * 60, 12 * 3600), 86340); // earlier today: tomorrow
    EXPECT_EQ(secondsUntil(100, 40), 60);
}

TEST(Recorder, ACountdownThatMissesItsSecondStillStartsAndOverrideStartsNow) {
    RecorderSettings s;
    s.mode = ids::kRecTimed;
    {
        Rig rig(s);
        rig.recorder.setDelayedStart(true);
        rig.recorder.setStartTime(12 * 60 + 1);
        rig.recorder.record();
        rig.feed(quiet(1));
        EXPECT_EQ(rig.recorder.statusText(), " Counting Down 00:01:00 ");
        rig.now += 62; // the interface stalled past the start time
        rig.feed(quiet(1));
        EXPECT_EQ(rig.recorder.state(), Recorder::State::Recording);
    }
    {
        Rig rig(s);
        rig.recorder.setDelayedStart(true);
        rig.recorder.setStartTime(13 * 60);
        rig.recorder.setStopTime(13 * 60 + 30);
        rig.recorder.record();
        rig.feed(quiet(1));
        // Override starts at once and still ends at the stop time: 90 minutes from 12:00.
        rig.recorder.override();
        EXPECT_EQ(rig.recorder.state(), Recorder::State::Recording);
        EXPECT_EQ(rig.recorder.statusText(), " Timed Recording: 1:30 Hrs:Mins ");
    }
}

TEST(Recorder, ScheduleKeepsDurationStartAndStopConsistent) {
    TimedSchedule s(60, 10 * 60); // 10:00 for an hour
    EXPECT_EQ(s.stop(), 11 * 60);
    EXPECT_TRUE(s.setStop(12 * 60)); // start and stop given: the duration follows
    EXPECT_EQ(s.duration(), 120);
    EXPECT_TRUE(s.setDuration(30)); // stop and duration given: the start follows
    EXPECT_EQ(s.start(), 11 * 60 + 30);
    EXPECT_TRUE(s.setStart(23 * 60)); // duration and start given: the stop wraps past midnight
    EXPECT_EQ(s.stop(), 23 * 60 + 30);
    s.setMaxDuration(90);
    // Start and stop now give 3 hours, more than the limit: refused, the duration is kept and
    // the start is derived from the stop instead.
    EXPECT_TRUE(s.setStop(0));
    EXPECT_EQ(s.duration(), 60);
    EXPECT_FALSE(s.setStop(2 * 60));
    EXPECT_EQ(s.duration(), 60);
    EXPECT_EQ(s.start(), 60);
    EXPECT_EQ(clockText(23 * 60 + 5), "23:05");
}

TEST(Recorder, TheHeaderFollowsTheRecordingSoACrashLeavesAPlayableFile) {
    Rig rig;
    rig.recorder.record();
    for (int16_t tag = 0; tag < 100; ++tag) rig.feed(quiet(static_cast<int16_t>(tag + 1)));
    ASSERT_EQ(rig.recorder.state(), Recorder::State::Recording);

    // What a power cut now would leave: the file as it is on disk.
    std::vector<uint8_t> now = rig.fileBytes();
    const std::string copy = rig.dir.file("copy.wav");
    writeFile(copy, now);
    WaveReading r = rig.reading(copy);
    ASSERT_TRUE(r.accepted) << r.problem;
    // The sizes were last written at 88 buffers (every two seconds of audio).
    EXPECT_EQ(r.layout.dataLength(), 88 * kRecordBufferBytes);
    for (int b = 0; b < 88; b += 29)
        EXPECT_EQ(sampleAt(now, 44 + static_cast<size_t>(b) * kRecordBufferBytes), b + 1);

    // A file cut short in the middle of its audio still reads, with what is there.
    now.resize(44 + 50 * kRecordBufferBytes + 1000);
    writeFile(copy, now);
    r = rig.reading(copy);
    ASSERT_TRUE(r.accepted);
    EXPECT_FALSE(r.repair.empty());
    EXPECT_EQ(r.layout.dataLength(), 50 * kRecordBufferBytes + 1000);

    rig.recorder.stop();
    r = rig.reading(rig.path);
    EXPECT_EQ(r.layout.dataLength(), 100 * kRecordBufferBytes);
    EXPECT_EQ(r.layout.trailingLength, 0);
}

TEST(Recorder, TheFileIsCreatedExclusivelyAndRemovedWhenNothingWasRecorded) {
    Rig rig({}, false);
    writeFile(rig.path, {1, 2, 3});
    EXPECT_FALSE(rig.recorder.createFile(rig.path, false));
    ASSERT_EQ(rig.ui.messages.size(), 1u);
    EXPECT_NE(rig.ui.messages[0].find("exists"), std::string::npos);
    EXPECT_EQ(rig.fileBytes().size(), 3u);

    const std::string target = rig.dir.file("elsewhere.wav");
    writeFile(target, {9});
    const std::string link = rig.dir.file("link.wav");
    ASSERT_EQ(symlink(target.c_str(), link.c_str()), 0);
    EXPECT_FALSE(rig.recorder.createFile(link, true)); // not even with consent
    EXPECT_EQ(readFile(target).size(), 1u);

    EXPECT_TRUE(rig.recorder.createFile(rig.path, true));
    EXPECT_TRUE(rig.fileBytes().empty());
    EXPECT_FALSE(rig.recorder.close()); // nothing recorded: the file goes
    EXPECT_FALSE(fs::exists(rig.path));

    Rig kept;
    kept.recorder.record();
    kept.feed(quiet(1), 3);
    EXPECT_TRUE(kept.recorder.close()); // finishes the recording under way
    EXPECT_EQ(kept.reading(kept.path).layout.dataLength(), 3 * kRecordBufferBytes);
}

TEST(Recorder, TheFreeSpaceLimitsTheRecording) {
    Rig rig({}, false);
    const int64_t reserve = 44100 * 2400;
    rig.recorder.setFreeSpaceProbe(
        [&](const std::string&) { return std::optional<int64_t>(reserve + 882000); });
    ASSERT_TRUE(rig.recorder.createFile(rig.path, false));
    EXPECT_EQ(rig.recorder.lowSpaceText(),
              "Low Disk Space. Recording time will be limited to 0hrs 0mins");
    EXPECT_EQ(rig.ui.messages.back(), rig.recorder.lowSpaceText());
    rig.recorder.openDevice();
    rig.recorder.record();
    rig.feed(quiet(1), 50);
    EXPECT_EQ(rig.recorder.timeText(), "Time Recorded: 0:02; \t\tTime Remaining: 0:02 (max)");
    rig.feed(quiet(1), 100);
    EXPECT_EQ(rig.recorder.state(), Recorder::State::Idle);
    EXPECT_EQ(rig.recorder.recordedBytes(), 107 * kRecordBufferBytes); // 876,544 <= 882,000
}

TEST(Recorder, PauseOverwriteWarningPeakAndButtons) {
    Rig rig;
    EXPECT_EQ(rig.recorder.recordButtonText(), "&Record");
    EXPECT_EQ(rig.recorder.peakText(), "Peak Level: --- dB");
    rig.recorder.record();
    EXPECT_EQ(rig.recorder.recordButtonText(), "&Pause");
    EXPECT_EQ(rig.recorder.recordTip(), "pause recording");
    EXPECT_FALSE(rig.recorder.overrideEnabled()); // manual: nothing to cancel
    rig.feed(quiet(1), 2);
    rig.feed(loud(20000));
    EXPECT_EQ(rig.recorder.peakText(), "Peak Level: -4.2 dB at 00:00");
    rig.recorder.record();
    EXPECT_EQ(rig.recorder.statusText(), "Status: Paused");
    EXPECT_EQ(rig.recorder.recordButtonText(), "&Continue");
    rig.feed(loud(), 5); // not recorded while paused
    rig.recorder.record();
    rig.feed(quiet(2));
    EXPECT_EQ(rig.recorder.recordedBytes(), 4 * kRecordBufferBytes);
    rig.recorder.clearPeak();
    EXPECT_EQ(rig.recorder.peakText(), "Peak Level: --- dB (after manual reset)");
    EXPECT_FALSE(rig.recorder.meter().overload(0));
    rig.recorder.stop();

    rig.ui.answers = {Answer::Cancel};
    rig.recorder.record();
    ASSERT_EQ(rig.ui.questions.size(), 1u);
    EXPECT_NE(rig.ui.questions[0].find("Continuing will overwrite your existing recording"),
              std::string::npos);
    EXPECT_EQ(rig.recorder.state(), Recorder::State::Idle);
    EXPECT_EQ(rig.reading(rig.path).layout.dataLength(), 4 * kRecordBufferBytes);
    rig.ui.answers = {Answer::Ok};
    rig.recorder.record();
    EXPECT_EQ(rig.recorder.state(), Recorder::State::Recording);
    EXPECT_EQ(rig.recorder.recordedBytes(), 0);
    rig.recorder.stop();
    EXPECT_EQ(rig.recorder.statusText(), "Status: Idle");
}

TEST(Recorder, OverrideCancelsTheAutomaticStopAndADeadDeviceEndsTheFile) {
    RecorderSettings s;
    s.mode = ids::kRecAuto;
    Rig rig(s);
    rig.recorder.record();
    EXPECT_EQ(rig.recorder.overrideTip(), "start recording immediately");
    rig.recorder.override();
    EXPECT_EQ(rig.recorder.state(), Recorder::State::Recording);
    EXPECT_EQ(rig.recorder.recordedBytes(), kPreTriggerBytes);
    rig.recorder.override();
    EXPECT_EQ(rig.recorder.statusText(), " Continuous Recording ");
    rig.feed(quiet(3), 1000); // long silence no longer stops it
    EXPECT_EQ(rig.recorder.state(), Recorder::State::Recording);
    rig.input.fail("Source disappeared");
    EXPECT_EQ(rig.ui.messages.back(), "Source disappeared");
    EXPECT_EQ(rig.recorder.state(), Recorder::State::Idle);
    EXPECT_EQ(rig.reading(rig.path).layout.dataLength(),
              kPreTriggerBytes + 1000 * kRecordBufferBytes);
}

TEST(Recorder, SettingsAreReadWithSaneFallbacksAndTheTimeStoredOnlyWhenAsked) {
    MemoryProfile profile;
    EXPECT_EQ(loadRecorderSettings(profile).mode, ids::kRecManual);
    set(profile, settings::kRecordRate, 22050);
    set(profile, settings::kConvertMode, 1270);
    set(profile, settings::kConvertRatio, 0);
    RecorderSettings s = loadRecorderSettings(profile);
    EXPECT_EQ(s.rate, 44100);
    EXPECT_EQ(s.convertMode, ids::kConvert78);
    EXPECT_EQ(s.convertRatio, 1000);
    s.durationMinutes = 45;
    storeRecorderSettings(profile, s, false);
    EXPECT_EQ(get(profile, settings::kRecTime), 1);
    storeRecorderSettings(profile, s, true);
    EXPECT_EQ(get(profile, settings::kRecTime), 45);
}

TEST(CommandLine, SplitsIntoWordsWithQuotesAndNoShell) {
    using Words = std::vector<std::string>;
    EXPECT_EQ(splitCommandLine("pavucontrol --tab=4"), (Words{"pavucontrol", "--tab=4"}));
    EXPECT_EQ(splitCommandLine("mixer"), (Words{"mixer"}));
    EXPECT_EQ(splitCommandLine("  \"/opt/My Mixer/run\"  -a\t\"\" b"),
              (Words{"/opt/My Mixer/run", "-a", "", "b"}));
    EXPECT_EQ(splitCommandLine("x; rm -rf ~"), (Words{"x;", "rm", "-rf", "~"}));
    EXPECT_TRUE(splitCommandLine("   ").empty());
}

} // namespace
} // namespace tarnival::test
