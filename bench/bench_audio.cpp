// Playback and recording through a real sound server (a PulseAudio null sink: start one with
// scripts/sound-server.sh and export PULSE_SERVER). Prints:
//   - playback start latency: from the play command to the arrival of the first sound in a
//     recording of the sink's monitor (taken in 5 ms pieces);
//   - the share of one core the process uses while playing;
//   - a long recording of a file played with paplay: frames dropped or repeated, and whether
//     the file's size and header agree exactly.
//   bench_audio WORK_DIR [--minutes N] [--skip-recording]
#include "audio/PlaybackEngine.h"
#include "audio/Recorder.h"
#include "devices/DeviceList.h"
#include "devices/QtAudioInput.h"
#include "devices/QtAudioOutput.h"
#include "devices/QtEngineLoop.h"
#include "document/File.h"
#include "document/WaveHeader.h"
#include "document/WaveStore.h"
#include "support/Signals.h"
#include "tracks/TrackList.h"

#include "BenchCommon.h"

#include <QAudioSource>
#include <QCoreApplication>
#include <QEventLoop>
#include <QMediaDevices>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

using namespace tarnival;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kRate = 44100;

double secondsSince(Clock::time_point t) {
    return std::chrono::duration<double>(Clock::now() - t).count();
}

// Runs the Qt event loop for a while or until a condition holds (checked every 5 ms), sleeping
// in between like any application would.
void runEvents(double seconds, const std::function<bool()>& until = {}) {
    QEventLoop loop;
    QTimer::singleShot(static_cast<int>(seconds * 1000), &loop, &QEventLoop::quit);
    QTimer check;
    if (until) {
        QObject::connect(&check, &QTimer::timeout, &loop, [&] {
            if (until()) loop.quit();
        });
        check.start(5);
        if (until()) return;
    }
    loop.exec();
}

double cpuSeconds() {
    rusage r{};
    getrusage(RUSAGE_SELF, &r);
    return static_cast<double>(r.ru_utime.tv_sec + r.ru_stime.tv_sec) +
           static_cast<double>(r.ru_utime.tv_usec + r.ru_stime.tv_usec) / 1e6;
}

int deviceNumber(const std::vector<std::string>& names, const std::string& wanted) {
    for (size_t i = 0; i < names.size(); ++i)
        if (names[i] == wanted) return static_cast<int>(i);
    return kDefaultDevice;
}

// An open document of a generated signal (the same in both files).
struct Doc {
    WaveStore store;
    TrackList tracks;
    SpliceList splices;
    Doc(const std::string& path, const test::Stereo& signal) {
        test::writeWav(path, signal);
        store.source.open(path, File::Mode::ReadOnly);
        store.working.open(path, File::Mode::ReadOnly);
        store.layout.dataStart = 44;
        store.layout.dataEnd = 44 + static_cast<int32_t>(signal.size() * 2);
        store.layout.sampleRate = kRate;
        tracks[0].start = store.layout.dataStart;
        tracks[0].end = store.layout.dataEnd;
    }
};

struct Ended : PlaybackObserver {
    bool ended = false;
    void playbackStarted() override { ended = false; }
    void playbackEnded() override { ended = true; }
};

// Capture of the monitor in small pieces, each stamped with its arrival, so that the time of
// the first sound can be told to within a piece.
class Listener {
  public:
    explicit Listener(const QAudioDevice& device) {
        QAudioFormat f;
        f.setSampleRate(kRate);
        f.setChannelCount(2);
        f.setSampleFormat(QAudioFormat::Int16);
        source_ = std::make_unique<QAudioSource>(device, f);
        source_->setBufferSize(kRate * 4 / 200); // 5 ms pieces
        io_ = source_->start();
        QObject::connect(io_, &QIODevice::readyRead, [this] { read(); });
    }
    ~Listener() { source_->stop(); }
    void arm() {
        heard_.reset();
        armed_ = true;
    }
    // When the piece holding the first non-silent sample arrived.
    std::optional<Clock::time_point> heard() const { return heard_; }
    bool flowing() const { return bytes_ > 0; }

  private:
    void read() {
        const QByteArray data = io_->readAll();
        const auto now = Clock::now();
        bytes_ += data.size();
        if (!armed_ || heard_) return;
        const auto* s = reinterpret_cast<const int16_t*>(data.constData());
        const qsizetype n = data.size() / 2;
        for (qsizetype i = 0; i < n; ++i) {
            if (s[i] != 0) {
                heard_ = now;
                armed_ = false;
                return;
            }
        }
    }
    std::unique_ptr<QAudioSource> source_;
    QIODevice* io_ = nullptr;
    bool armed_ = false;
    std::optional<Clock::time_point> heard_;
    qint64 bytes_ = 0;
};

void latencyAndCpu(const std::string& work) {
    Doc doc(work + "/play.wav", test::music(30 * kRate, kRate, 3, 9000));
    QtEngineLoop loop;
    QtAudioOutput output;
    bench::YesUi ui;
    PlaybackEngine engine({doc.store, doc.tracks, doc.splices}, output, loop, ui);
    Ended ended;
    engine.setObserver(&ended);
    engine.setOutputDevice(deviceNumber(outputDeviceNames(), "Null-Output"));

    std::vector<double> latencies;
    {
        Listener listener(QMediaDevices::audioInputs().value(
            deviceNumber(inputDeviceNames(), "Null-Input"), QMediaDevices::defaultAudioInput()));
        runEvents(5, [&] { return listener.flowing(); });
        runEvents(0.3);
        for (int i = 0; i < 10; ++i) {
            listener.arm();
            const int32_t from = doc.store.layout.dataStart + i * kRate * 4;
            const auto command = Clock::now();
            if (!engine.playStretch(from, from + kRate * 2, true)) break;
            runEvents(3, [&] { return listener.heard().has_value(); });
            if (listener.heard())
                latencies.push_back(
                    std::chrono::duration<double, std::milli>(*listener.heard() - command).count());
            engine.cancel();
            runEvents(3, [&] { return ended.ended; });
            runEvents(0.3);
        }
    }
    std::sort(latencies.begin(), latencies.end());
    if (latencies.empty()) {
        std::printf("playback start latency   not measured: nothing was heard\n");
    } else {
        const double median = latencies[latencies.size() / 2];
        std::printf("playback start latency   median %.0f ms, best %.0f ms, worst %.0f ms "
                    "(%zu starts); target under 150 ms: %s\n",
                    median, latencies.front(), latencies.back(), latencies.size(),
                    median < 150 ? "met" : "MISSED");
    }

    // The whole process while playing 20 s: the engine, Qt and the sound library's threads.
    const double seconds = 20;
    if (!engine.playStretch(doc.store.layout.dataStart,
                            doc.store.layout.dataStart + static_cast<int32_t>(seconds * kRate * 4),
                            true)) {
        std::printf("CPU while playing        not measured: playback did not start\n");
        return;
    }
    runEvents(0.5);
    const double cpu0 = cpuSeconds();
    const auto wall0 = Clock::now();
    runEvents(seconds - 2);
    const double share = (cpuSeconds() - cpu0) / secondsSince(wall0) * 100;
    engine.cancel();
    runEvents(3, [&] { return ended.ended; });
    std::printf("CPU while playing        %.2f %% of one core (18 s of playback measured); "
                "target under 5 %%: %s\n",
                share, share < 5 ? "met" : "MISSED");
    if (!ui.messages.empty()) std::printf("  (the engine reported: %s)\n", ui.messages[0].c_str());
}

// A frame counter that survives the sound server bit for bit: left = low 16 bits, right =
// 0x4000 + the high bits (never 0, so the counter is told from silence).
void writeCounterWave(const std::string& path, int64_t frames) {
    std::ofstream out(path, std::ios::binary);
    std::array<uint8_t, kMaxWaveHeader> header{};
    WaveFormat format;
    format.dataSize = frames * 4;
    out.write(reinterpret_cast<const char*>(header.data()),
              static_cast<std::streamsize>(buildWaveHeader(format, header)));
    std::vector<int16_t> block;
    for (int64_t f = 0; f < frames;) {
        block.clear();
        for (int i = 0; i < 65536 && f < frames; ++i, ++f) {
            block.push_back(static_cast<int16_t>(static_cast<uint16_t>(f & 0xFFFF)));
            block.push_back(static_cast<int16_t>(0x4000 + (f >> 16)));
        }
        out.write(reinterpret_cast<const char*>(block.data()),
                  static_cast<std::streamsize>(block.size() * 2));
    }
}

pid_t spawn(const std::vector<std::string>& argv) {
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawnp(&pid, args[0], nullptr, nullptr, args.data(), environ) != 0) return -1;
    return pid;
}

void recording(const std::string& work, double minutes) {
    const auto frames = static_cast<int64_t>(minutes * 60 * kRate);
    const std::string played = work + "/counter.wav", taken = work + "/recorded.wav";
    writeCounterWave(played, frames);

    QtAudioInput input;
    bench::YesUi ui;
    Recorder recorder(input, ui);
    RecorderSettings settings;
    settings.inputDevice = deviceNumber(inputDeviceNames(), "Null-Input");
    recorder.setSettings(settings);
    std::filesystem::remove(taken);
    if (!recorder.createFile(taken, false) || !recorder.openDevice()) {
        std::printf("recording                not measured: the recorder could not start\n");
        return;
    }
    runEvents(1);
    recorder.record();
    const pid_t paplay = spawn({"paplay", "--device=nullout", played});
    int status = 0;
    runEvents(minutes * 60 + 30, [&] { return waitpid(paplay, &status, WNOHANG) == paplay; });
    runEvents(1);
    recorder.stop();
    const int64_t recordedBytes = recorder.recordedBytes();
    recorder.close();

    // Walk the counter through the recording.
    File f(taken, File::Mode::ReadOnly);
    const WaveReading reading = readWaveHeader(f);
    const bool sizeExact =
        reading.accepted && reading.repair.empty() && reading.layout.trailingLength == 0 &&
        reading.layout.dataLength() == recordedBytes && f.length() == 44 + recordedBytes;
    int64_t seen = 0, dropped = 0, repeated = 0, expected = -1;
    std::vector<int16_t> buf(1 << 20);
    for (int64_t pos = reading.layout.dataStart; pos < reading.layout.dataEnd;) {
        const size_t n = static_cast<size_t>(
            std::min<int64_t>(static_cast<int64_t>(buf.size()) * 2, reading.layout.dataEnd - pos));
        f.readExactly(pos, buf.data(), n);
        pos += static_cast<int64_t>(n);
        for (size_t i = 0; i + 1 < n / 2; i += 2) {
            if (buf[i + 1] == 0 && buf[i] == 0) continue; // silence before or after
            const int64_t value = (int64_t{static_cast<uint16_t>(buf[i + 1])} - 0x4000) << 16 |
                                  static_cast<uint16_t>(buf[i]);
            ++seen;
            if (expected >= 0 && value != expected) {
                if (value > expected)
                    dropped += value - expected;
                else
                    repeated += expected - value;
            }
            expected = value + 1;
        }
    }
    std::printf("recording %.0f min         %lld of %lld frames recorded; %lld dropped, %lld "
                "repeated (target 0); file size and header exact: %s\n",
                minutes, static_cast<long long>(seen), static_cast<long long>(frames),
                static_cast<long long>(dropped), static_cast<long long>(repeated),
                sizeExact ? "yes" : "NO");
    std::filesystem::remove(played);
    std::filesystem::remove(taken);
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_audio WORK_DIR [--minutes N] [--skip-recording]\n");
        return 2;
    }
    const std::string work = argv[1];
    double minutes = 10;
    bool skipRecording = false;
    for (int i = 2; i < argc; ++i) {
        if (std::strcmp(argv[i], "--minutes") == 0 && i + 1 < argc) minutes = std::atof(argv[++i]);
        if (std::strcmp(argv[i], "--skip-recording") == 0) skipRecording = true;
    }
    QCoreApplication app(argc, argv);
    std::filesystem::create_directories(work);
    latencyAndCpu(work);
    if (!skipRecording) recording(work, minutes);
    return 0;
}
