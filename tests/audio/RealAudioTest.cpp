// Playback and recording through a real sound server: a PulseAudio null sink whose monitor
// gives back exactly what was played.
#include "audio/PlaybackEngine.h"
#include "audio/Recorder.h"
#include "audio/SoundServer.h"
#include "devices/QtAudio.h"
#include "devices/QtAudioInput.h"
#include "devices/QtAudioOutput.h"
#include "devices/QtEngineLoop.h"
#include "document/File.h"
#include "document/WaveHeader.h"
#include "document/WaveStore.h"
#include "support/ScriptedUi.h"
#include "support/Signals.h"
#include "support/TempDir.h"
#include "tracks/CutSplice.h"
#include "tracks/TrackList.h"

#include <gtest/gtest.h>

#include <cmath>
#include <csignal>
#include <fstream>
#include <sstream>
#include <thread>

namespace tarnival::test {
namespace {

using namespace std::chrono_literals;

constexpr int kRate = 44100;
constexpr int kMaxGapFrames = kRate / 100; // 10 ms

#define REQUIRE_SOUND_SERVER()                                                                     \
    do {                                                                                           \
        const std::string problem = soundServerProblem();                                          \
        if (!problem.empty()) GTEST_SKIP() << "No sound server for real audio: " << problem;       \
        ensureQtApplication();                                                                     \
    } while (0)

double decibels(double ratio) {
    return 20.0 * std::log10(ratio);
}

Stereo readWaveAudio(const std::string& path, WaveReading& reading) {
    File f(path, File::Mode::ReadOnly);
    reading = readWaveHeader(f);
    if (!reading.accepted) return {};
    std::vector<uint8_t> bytes(static_cast<size_t>(reading.layout.dataLength()));
    f.readExactly(reading.layout.dataStart, bytes.data(), bytes.size());
    Stereo s(bytes.size() / 2);
    for (size_t i = 0; i < s.size(); ++i)
        s[i] = static_cast<int16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
    return s;
}

struct Ended : PlaybackObserver {
    bool ended = false;
    void playbackEnded() override { ended = true; }
};

TEST(RealAudio, PlaybackIsHeardWholeWithTheCutSkippedAndTheFadeApplied) {
    REQUIRE_SOUND_SERVER();
    const int lenA = 35280, lenB = 22050, lenC = 44100; // 0.8 s, 0.5 s (cut), 1.0 s
    const Stereo a = music(lenA, kRate, 11, 8000);
    const Stereo b = hiss(lenB, 6000, 5);
    const Stereo c = music(lenC, kRate, 12, 8000);
    Stereo signal = a;
    append(signal, b);
    append(signal, c);

    TempDir dir;
    Stereo inverted = signal;
    for (int16_t& s : inverted) s = static_cast<int16_t>(~s);
    writeWav(dir.file("side.wav"), inverted);
    writeWav(dir.file("side~.wav"), signal);
    WaveStore store;
    store.source.open(dir.file("side.wav"), File::Mode::ReadOnly);
    store.working.open(dir.file("side~.wav"), File::Mode::ReadWrite);
    store.layout.dataStart = 44;
    store.layout.dataEnd = 44 + static_cast<int32_t>(signal.size() * 2);
    store.layout.sampleRate = kRate;

    // B is cut out with a 220-frame cross-fade from the end of A into the start of C.
    const int fadeFrames = 220;
    SpliceList splices;
    Splice cut;
    cut.cutStart = 44 + lenA * 4;
    cut.cutEnd = 44 + (lenA + lenB) * 4;
    cut.crossFade = fadeFrames * 4;
    Stereo from = slice(a, lenA - fadeFrames, fadeFrames), into = slice(c, 0, fadeFrames);
    crossFadeSamples(from.data(), into.data(), fadeFrames * 2);
    cut.fadeBytes.resize(static_cast<size_t>(cut.crossFade) * 2);
    for (size_t i = 0; i < from.size(); ++i)
        for (size_t half : {size_t{0}, static_cast<size_t>(cut.crossFade)}) {
            cut.fadeBytes[half + 2 * i] = static_cast<uint8_t>(from[i] & 0xFF);
            cut.fadeBytes[half + 2 * i + 1] = static_cast<uint8_t>((from[i] >> 8) & 0xFF);
        }
    splices.insert(cut);

    // One track over everything that is heard, fading out linearly over its last 0.4 s.
    const int heardFrames = lenA + lenC - fadeFrames;
    const int fadeOutFrames = 17640;
    TrackList tracks;
    tracks.fadeLinear = true;
    tracks[0].start = 44;
    tracks[0].end = 44 + heardFrames * 4;
    tracks.tracks.push_back(tracks[0]);
    tracks[1].fadeOut = fadeOutFrames * 4;

    QtEngineLoop loop;
    QtAudioOutput output;
    ScriptedUi ui;
    PlaybackEngine engine({store, tracks, splices}, output, loop, ui);
    Ended ended;
    engine.setObserver(&ended);
    engine.setOutputDevice(nullOutputDevice());

    MonitorCapture capture(dir.file("heard.raw"));
    ASSERT_TRUE(capture.waitUntilFlowing()) << "the monitor of the null sink gives no audio";
    ASSERT_TRUE(engine.playStretch(store.layout.dataStart, store.layout.dataEnd, true));
    runEventsUntil([] { return false; }, 500ms);
    std::this_thread::sleep_for(300ms); // the interface is busy for a moment: no gap may follow
    ASSERT_TRUE(runEventsUntil([&] { return ended.ended; }, 10s)) << "playback never ended";
    std::this_thread::sleep_for(200ms);
    const Stereo heard = capture.finish();
    EXPECT_TRUE(ui.messages.empty()) << ui.messages.front();

    // A is heard as it is, at its level.
    double corr = 0;
    const Stereo plainA = slice(a, 0, lenA - fadeFrames);
    const int at = bestLag(heard, plainA, corr);
    ASSERT_GE(at, 0);
    EXPECT_GT(corr, 0.999);
    EXPECT_NEAR(decibels(rmsOf(heard, at, lenA - fadeFrames) / rmsOf(plainA, 0, lenA)), 0.0, 0.5);
    // Right after the cross-fade comes C (from its 220th frame): B was skipped.
    const Stereo plainC = slice(c, fadeFrames, lenC / 2);
    EXPECT_GT(correlationAt(heard, plainC, at + lenA), 0.999);
    EXPECT_LT(std::abs(correlationAt(heard, b, at + lenA)), 0.1);
    // The fade: unchanged before it, about half way down (-6 dB) in its middle, nearly silent
    // at its end.
    const int fadeStart = at + heardFrames - fadeOutFrames;
    const int cFrame = lenC - fadeOutFrames; // where in C the fade begins
    EXPECT_NEAR(decibels(rmsOf(heard, fadeStart - 4410, 4410) / rmsOf(c, cFrame - 4410, 4410)), 0.0,
                0.5);
    const int mid = fadeOutFrames / 2 - 441;
    EXPECT_NEAR(decibels(rmsOf(heard, fadeStart + mid, 882) / rmsOf(c, cFrame + mid, 882)), -6.0,
                1.0);
    const int tail = fadeOutFrames - 2205;
    EXPECT_LT(rmsOf(heard, fadeStart + tail, 2205) / rmsOf(c, cFrame + tail, 2205), 0.1);
    // No gap anywhere in what was played.
    EXPECT_LT(longestQuietRun(heard, at, fadeStart), kMaxGapFrames);
}

// The lag in [from, to] where `part` fits `whole` best.
int lagWithin(const Stereo& whole, const Stereo& part, int from, int to, double& correlation) {
    correlation = -1;
    int best = -1;
    for (int lag = std::max(from, 0); lag <= to; ++lag) {
        const double c = correlationAt(whole, part, lag);
        if (c > correlation) correlation = c, best = lag;
    }
    return best;
}

TEST(RealAudio, PauseResumesWhereItStoppedAndASeekContinuesAtTheClick) {
    REQUIRE_SOUND_SERVER();
    const Stereo signal = music(4 * kRate, kRate, 41, 8000);
    TempDir dir;
    writeWav(dir.file("side.wav"), signal);
    WaveStore store;
    store.source.open(dir.file("side.wav"), File::Mode::ReadOnly);
    store.working.open(dir.file("side.wav"), File::Mode::ReadOnly);
    store.layout.dataStart = 44;
    store.layout.dataEnd = 44 + static_cast<int32_t>(signal.size() * 2);
    store.layout.sampleRate = kRate;
    TrackList tracks;
    tracks[0].start = store.layout.dataStart;
    tracks[0].end = store.layout.dataEnd;
    SpliceList splices;

    ScriptedUi ui;
    QtPlayback playback({store, tracks, splices}, ui, nullOutputDevice());
    PlaybackEngine& engine = playback.engine();
    Ended ended;
    engine.setObserver(&ended);
    auto frameAt = [&] { return (engine.playPosition() - 44) / 4; };

    MonitorCapture capture(dir.file("heard.raw"));
    ASSERT_TRUE(capture.waitUntilFlowing());
    engine.playTrack(0, true);
    ASSERT_TRUE(runEventsUntil([&] { return frameAt() >= kRate * 6 / 10; }, 5s));
    engine.togglePause();
    runEventsUntil([] { return false; }, 400ms);
    engine.togglePause();
    ASSERT_TRUE(runEventsUntil([&] { return frameAt() >= kRate * 12 / 10; }, 5s));
    const int seekFrame = 3 * kRate;
    ASSERT_TRUE(engine.seek(44 + seekFrame * 4));
    ASSERT_TRUE(runEventsUntil([&] { return frameAt() >= seekFrame + kRate / 2; }, 5s));
    engine.cancel();
    ASSERT_TRUE(runEventsUntil([&] { return ended.ended; }, 5s));
    const Stereo heard = capture.finish();
    EXPECT_TRUE(ui.messages.empty());

    double corr = 0;
    const int at = bestLag(heard, slice(signal, 0, kRate / 2), corr);
    ASSERT_GE(at, 0);
    EXPECT_GT(corr, 0.999);
    // The pause: one stretch of silence, then the audio carries on from the very next frame.
    int gapStart = -1, gapEnd = -1;
    for (int f = at, quietFrom = -1; f < static_cast<int>(heard.size() / 2); ++f) {
        const bool quiet =
            heard[2 * static_cast<size_t>(f)] == 0 && heard[2 * static_cast<size_t>(f) + 1] == 0;
        if (quiet && quietFrom < 0) quietFrom = f;
        if (!quiet && quietFrom >= 0) {
            if (f - quietFrom >= kRate / 10) {
                gapStart = quietFrom;
                gapEnd = f;
                break;
            }
            quietFrom = -1;
        }
    }
    ASSERT_GT(gapStart, at) << "no pause heard";
    EXPECT_NEAR(gapEnd - gapStart, kRate * 4 / 10, kRate / 10);
    const int pausedAt = gapStart - at; // frames of the signal heard before the pause
    EXPECT_GT(correlationAt(heard, slice(signal, 0, pausedAt), at), 0.999);
    EXPECT_GT(correlationAt(heard, slice(signal, pausedAt, kRate / 2), gapEnd), 0.999);
    // After the seek: the signal from the clicked frame. The device restarts its stream there,
    // which may leave a moment of silence (at most one render block of the sink and a margin).
    int diverges = gapEnd;
    while (static_cast<size_t>(diverges) * 2 + 1 < heard.size() &&
           heard[2 * static_cast<size_t>(diverges)] ==
               signal[2 * static_cast<size_t>(pausedAt + diverges - gapEnd)])
        ++diverges;
    const int seekGap = kRate / 20; // 50 ms
    const Stereo fromClick = slice(signal, seekFrame, kRate / 8);
    const int resumed = lagWithin(heard, fromClick, diverges - 4, diverges + seekGap, corr);
    EXPECT_GT(corr, 0.999);
    EXPECT_LT(longestQuietRun(heard, gapEnd, diverges), kMaxGapFrames);
    EXPECT_LT(longestQuietRun(heard, resumed, resumed + kRate / 8), kMaxGapFrames);
}

TEST(RealAudio, TheRecorderRecordsWhatIsPlayedIntoTheSink) {
    REQUIRE_SOUND_SERVER();
    TempDir dir;
    const Stereo played = music(2 * kRate, kRate, 21, 9000);
    writeWav(dir.file("played.wav"), played);

    QtAudioInput input;
    ScriptedUi ui;
    Recorder recorder(input, ui);
    RecorderSettings settings;
    settings.inputDevice = nullInputDevice();
    recorder.setSettings(settings);
    ASSERT_TRUE(recorder.createFile(dir.file("take.wav"), false));
    ASSERT_TRUE(recorder.openDevice()) << ui.messages.back();
    EXPECT_EQ(recorder.deviceText(), "Device: Null-Input");
    runEventsUntil([] { return false; }, 300ms);
    recorder.record();
    ChildProcess paplay({"paplay", "--device=nullout", dir.file("played.wav")});
    ASSERT_TRUE(paplay.started());
    runEventsUntil([] { return false; }, 500ms);
    std::this_thread::sleep_for(1500ms); // a busy interface loses nothing: the server holds it
    ASSERT_TRUE(runEventsUntil([&] { return paplay.wait(0ms) >= 0; }, 10s));
    runEventsUntil([] { return false; }, 500ms);
    recorder.stop();
    EXPECT_EQ(recorder.statusText(), "Status: File Saved");
    EXPECT_TRUE(recorder.close());
    EXPECT_TRUE(ui.messages.empty()) << ui.messages.front();

    WaveReading reading;
    const Stereo taken = readWaveAudio(dir.file("take.wav"), reading);
    ASSERT_TRUE(reading.accepted) << reading.problem;
    EXPECT_TRUE(reading.repair.empty());
    EXPECT_EQ(reading.layout.sampleRate, kRate);
    double corr = 0;
    const int at = bestLag(taken, played, corr);
    ASSERT_GE(at, 0) << "nothing of the played file was recorded";
    EXPECT_GT(corr, 0.999);
    EXPECT_NEAR(decibels(rmsOf(taken, at, 2 * kRate) / rmsOf(played, 0, 2 * kRate)), 0.0, 0.5);
    EXPECT_LT(longestQuietRun(taken, at, at + 2 * kRate), kMaxGapFrames);
}

std::string slurp(const std::string& path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

TEST(RealAudio, CommandLineListsTheDevicesAndRecords) {
    REQUIRE_SOUND_SERVER();
    TempDir dir;
    {
        ChildProcess cli({TARNIVAL_CLI, "devices"}, dir.file("devices.txt"));
        ASSERT_EQ(cli.wait(20s), 0);
        const std::string listing = slurp(dir.file("devices.txt"));
        EXPECT_NE(listing.find("Playback devices (setting \"OutputDevice\")"), std::string::npos);
        EXPECT_NE(listing.find(std::to_string(nullOutputDevice()) + "  Null-Output"),
                  std::string::npos)
            << listing;
        EXPECT_NE(listing.find("-1  Default Device (Null-Input)"), std::string::npos) << listing;
    }

    writeWav(dir.file("tone.wav"), music(5 * kRate, kRate, 31, 9000));
    ChildProcess paplay({"paplay", "--device=nullout", dir.file("tone.wav")});
    const std::string device = std::to_string(nullInputDevice());
    {
        ChildProcess cli({TARNIVAL_CLI, "record", dir.file("two.wav"), "--seconds", "2", "--rate",
                          "44100", "--device", device},
                         dir.file("record.txt"));
        ASSERT_EQ(cli.wait(20s), 0) << slurp(dir.file("record.txt"));
        WaveReading reading;
        const Stereo taken = readWaveAudio(dir.file("two.wav"), reading);
        ASSERT_TRUE(reading.accepted);
        EXPECT_TRUE(reading.repair.empty());
        // Two seconds, in whole device buffers: the buffer that passes the time is kept.
        EXPECT_EQ(reading.layout.dataLength(), 44 * kRecordBufferBytes);
        EXPECT_GT(rmsOf(taken, kRate, kRate / 2), 1000.0);
        // Without --yes an existing file is left alone.
        ChildProcess again({TARNIVAL_CLI, "record", dir.file("two.wav"), "--seconds", "1"});
        EXPECT_EQ(again.wait(20s), 1);
        EXPECT_EQ(readWaveAudio(dir.file("two.wav"), reading).size(), taken.size());
    }
    {
        // Ctrl-C ends a recording with a whole file.
        ChildProcess cli({TARNIVAL_CLI, "record", dir.file("stopped.wav"), "--device", device});
        std::this_thread::sleep_for(1500ms);
        EXPECT_EQ(cli.stop(SIGINT), 0);
        WaveReading reading;
        const Stereo taken = readWaveAudio(dir.file("stopped.wav"), reading);
        ASSERT_TRUE(reading.accepted);
        EXPECT_TRUE(reading.repair.empty());
        EXPECT_EQ(reading.layout.trailingLength, 0);
        EXPECT_GT(taken.size(), 0u);
    }
}

} // namespace
} // namespace tarnival::test
