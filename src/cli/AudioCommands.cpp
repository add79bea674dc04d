// The sound-device commands of the terminal front end: listing the devices and recording.
#include "cli/AudioCommands.h"
#include "audio/Recorder.h"
#include "cli/TerminalUi.h"
#include "devices/DeviceList.h"
#include "devices/QtAudio.h"
#include "document/Settings.h"
#include "settings/SettingsProfile.h"

#include <QCoreApplication>
#include <QMediaDevices>
#include <QTimer>

#include <cmath>
#include <cstdio>
#include <unistd.h>

namespace tarnival::cli {

const char* const kRecordUsage =
    "Usage: tarnival-cli record OUT.wav [OPTIONS]\n"
    "\n"
    "Records 16-bit stereo from the record device into a new wave file. Ctrl-C stops the\n"
    "recording and keeps the file whole.\n"
    "\n"
    "Options:\n"
    "  --seconds N         stop after N seconds (otherwise: until Ctrl-C)\n"
    "  --auto              start when a signal comes, stop after about 30 s of silence\n"
    "  --device N          record device number (see 'tarnival-cli devices'; -1 = default)\n"
    "  --rate 44100|48000  sample rate of the file (default: the \"RecordRate\" setting)\n"
    "  --convert 78/45     record a 78 rpm disc played at 45 rpm, at the right speed\n"
    "  --convert RATIO     any speed ratio from 0.250 to 4.000 (for example 0.674)\n"
    "  --yes               replace OUT.wav when it exists\n";

namespace {

// A Qt event loop for the devices; the command line has none of its own.
struct QtRuntime {
    int argc = 1;
    char name[16] = "tarnival-cli";
    char* argv[2] = {name, nullptr};
    QCoreApplication app{argc, argv};
};

void listDevices(const char* title, const char* key, const std::vector<std::string>& names,
                 const std::string& defaultName, int chosen) {
    std::printf("%s (setting \"%s\"):\n", title, key);
    std::printf("  %c %2d  %s%s\n",
                chosen < 0 || chosen >= static_cast<int>(names.size()) ? '*' : ' ', -1,
                kDefaultDeviceLabel, defaultName.empty() ? "" : (" (" + defaultName + ")").c_str());
    for (size_t i = 0; i < names.size(); ++i)
        std::printf("  %c %2zu  %s\n", static_cast<int>(i) == chosen ? '*' : ' ', i,
                    names[i].c_str());
}

bool parseInt(const std::string& text, int& value) {
    try {
        size_t used = 0;
        value = std::stoi(text, &used);
        return used == text.size();
    } catch (const std::exception&) {
        return false;
    }
}

std::string levelBar(int length, int width) {
    std::string bar;
    const int cells = 20;
    const int filled = std::clamp(length * cells / std::max(width, 1), 0, cells);
    bar.append(static_cast<size_t>(filled), '#');
    bar.append(static_cast<size_t>(cells - filled), '.');
    return bar;
}

// The progress line: what the dialog's status, time and meter say, on one line.
class RecordProgress : public RecorderObserver {
  public:
    explicit RecordProgress(const Recorder& recorder) : recorder_(recorder), tty_(isatty(2)) {}
    void recorderChanged() override {
        const int64_t second = recorder_.recordedBytes() / (int64_t{recorder_.deviceRate()} * 4);
        const Recorder::State state = recorder_.state();
        if (!tty_ && second == lastSecond_ && state == lastState_) return;
        if (tty_ && ++calls_ % 4 != 0 && state == lastState_) return;
        lastSecond_ = second;
        lastState_ = state;
        const LevelMeter& m = recorder_.meter();
        std::string status = recorder_.statusText();
        while (!status.empty() && status.front() == ' ') status.erase(0, 1);
        while (!status.empty() && status.back() == ' ') status.pop_back();
        std::fprintf(stderr, "%s%-26s %3lld:%02lld  L %s R %s %s%s", tty_ ? "\r" : "",
                     status.c_str(), static_cast<long long>(second / 60),
                     static_cast<long long>(second % 60), levelBar(m.bar(0), m.width()).c_str(),
                     levelBar(m.bar(1), m.width()).c_str(),
                     m.overload(0) || m.overload(1) ? "OVERLOAD " : "", tty_ ? "" : "\n");
        std::fflush(stderr);
    }
    void end() {
        if (tty_) std::fputc('\n', stderr);
    }

  private:
    const Recorder& recorder_;
    bool tty_;
    int calls_ = 0;
    int64_t lastSecond_ = -1;
    Recorder::State lastState_ = Recorder::State::Idle;
};

} // namespace

int devices(const std::vector<std::string>& args) {
    if (!args.empty()) {
        std::fputs("Usage: tarnival-cli devices\n", args[0] == "--help" ? stdout : stderr);
        return args[0] == "--help" ? 0 : 2;
    }
    QtRuntime qt;
    SettingsProfile stored;
    listDevices("Playback devices", settings::kOutputDevice.key, outputDeviceNames(),
                QMediaDevices::defaultAudioOutput().description().toStdString(),
                get(stored, settings::kOutputDevice));
    listDevices("Record devices", settings::kInputDevice.key, inputDeviceNames(),
                QMediaDevices::defaultAudioInput().description().toStdString(),
                get(stored, settings::kInputDevice));
    std::printf("Record volume control (setting \"%s\"): %s\n", settings::kVolControl.key,
                get(stored, settings::kVolControl).c_str());
    return 0;
}

int record(const std::vector<std::string>& args) {
    SettingsProfile stored;
    RecorderSettings options = loadRecorderSettings(stored);
    options.mode = ids::kRecManual;
    std::string out;
    int seconds = 0;
    bool yes = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&](std::string& into) {
            if (i + 1 >= args.size()) return false;
            into = args[++i];
            return true;
        };
        std::string v;
        if (a == "-h" || a == "--help") {
            std::fputs(kRecordUsage, stdout);
            return 0;
        } else if (a == "--seconds") {
            if (!value(v) || !parseInt(v, seconds) || seconds < 1) {
                std::fprintf(stderr, "tarnival: --seconds needs a whole number of seconds\n");
                return 2;
            }
            options.mode = ids::kRecTimed;
        } else if (a == "--auto") {
            options.mode = ids::kRecAuto;
        } else if (a == "--device") {
            if (!value(v) || !parseInt(v, options.inputDevice) || options.inputDevice < -1) {
                std::fprintf(stderr, "tarnival: --device needs a device number (-1 = default)\n");
                return 2;
            }
        } else if (a == "--rate") {
            if (!value(v) || !parseInt(v, options.rate) ||
                (options.rate != 44100 && options.rate != 48000)) {
                std::fprintf(stderr, "tarnival: --rate is 44100 or 48000\n");
                return 2;
            }
        } else if (a == "--convert") {
            if (!value(v)) {
                std::fprintf(stderr, "tarnival: --convert needs 78/45 or a ratio\n");
                return 2;
            }
            if (v == "78/45") {
                options.convertMode = ids::kConvert78;
            } else {
                char* end = nullptr;
                double ratio = std::strtod(v.c_str(), &end);
                const auto perMille = static_cast<int>(std::lround(ratio * 1000));
                if (end == v.c_str() || *end != '\0' || perMille < kMinConvertRatio ||
                    perMille > kMaxConvertRatio) {
                    std::fprintf(stderr,
                                 "tarnival: --convert is 78/45 or a ratio from 0.250 to 4.000\n");
                    return 2;
                }
                options.convertMode = ids::kConvertCustom;
                options.convertRatio = perMille;
            }
        } else if (a == "--yes") {
            yes = true;
        } else if (!a.empty() && a[0] == '-') {
            std::fprintf(stderr, "tarnival: unknown option '%s'\n\n%s", a.c_str(), kRecordUsage);
            return 2;
        } else if (out.empty()) {
            out = a;
        } else {
            std::fprintf(stderr, "tarnival: one output file only\n");
            return 2;
        }
    }
    if (options.mode == ids::kRecTimed && seconds == 0) options.mode = ids::kRecManual;
    if (out.empty()) {
        std::fputs(kRecordUsage, stderr);
        return 2;
    }

    QtRuntime qt;
    TerminalUi ui(yes);
    QtRecording recording(ui);
    Recorder& recorder = recording.recorder();
    recorder.setSettings(options);
    if (seconds > 0) recorder.setDurationSeconds(seconds);
    if (!recorder.createFile(out, yes)) {
        if (!yes) std::fprintf(stderr, "tarnival: add --yes to replace an existing file\n");
        return 1;
    }
    if (!recorder.openDevice()) {
        recorder.close();
        return 1;
    }
    std::fprintf(stderr, "Recording from %s at %d Hz into %s%s\n",
                 recording.input().deviceName().c_str(), recorder.deviceRate(), out.c_str(),
                 recorder.deviceRate() != options.rate
                     ? (" (written as " + std::to_string(options.rate) + " Hz)").c_str()
                     : "");
    RecordProgress progress(recorder);
    recorder.setObserver(&progress);
    recorder.record();

    // Ends when the recorder finishes by itself (timed, silence, full disk, lost device) or at
    // Ctrl-C, which stops the recording the way the Stop button does.
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (TerminalUi::interrupted) {
            recorder.stop();
            qt.app.quit();
        } else if (recorder.state() == Recorder::State::Idle) {
            qt.app.quit();
        }
    });
    watch.start(50);
    qt.app.exec();
    progress.end();
    recorder.setObserver(nullptr);

    const int64_t bytes = recorder.recordedBytes();
    const bool kept = recorder.close();
    if (!kept) {
        std::fprintf(stderr, "Nothing was recorded; %s was not kept.\n", out.c_str());
        return 1;
    }
    std::printf("%s: %.1f s recorded (%lld bytes of audio, %d Hz)\n", out.c_str(),
                static_cast<double>(bytes) / (int64_t{options.rate} * 4),
                static_cast<long long>(bytes), options.rate);
    return 0;
}

} // namespace tarnival::cli
