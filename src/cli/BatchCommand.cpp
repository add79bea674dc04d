// The batch processor on the command line: the same steps and log as the dialog, several files
// at once in their own processes, the log kept in list order.
#include "cli/BatchCommand.h"
#include "batch/BatchProcessor.h"
#include "cli/OverlayProfile.h"
#include "cli/TerminalUi.h"
#include "facade/Document.h"
#include "settings/SettingsProfile.h"

#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <optional>
#include <stdexcept>

namespace tarnival::cli {

namespace {

namespace fs = std::filesystem;

const char* const kBatchUsage =
    "Usage: tarnival-cli batch FILES-OR-FOLDERS... [OPTIONS]\n"
    "\n"
    "Processes every wave and APE file given (folders are searched, sub-folders included):\n"
    "open, optionally de-click, filter, balance, normalise or scale and trim, then save the\n"
    "whole side as NAMEcor.wav (or the chosen type) beside the input or in --out. The inputs\n"
    "are never changed. What happens is logged line by line; a file that fails is logged\n"
    "with the reason and the run goes on. Exit status 0 when every file was saved.\n"
    "\n"
    "  --out DIR              folder for the results (default: each input's folder)\n"
    "  --input-names          keep the input's name instead of adding \"cor\" (a result that\n"
    "                         would replace its input gets \"~~~\" appended instead)\n"
    "  --declick              detect and remove clicks\n"
    "  --passes N             super-scan passes after the first de-click (0-6)\n"
    "  --sensitivity 0-5      click threshold (default: the stored one, else 3)\n"
    "  --repair standard|precise   how clicks are repaired\n"
    "  --differential, --per-channel, --narrow, --normal, --agc 0-3, --discriminator 0-3,\n"
    "  --min-magnitude 0-10   the detector's other settings (see 'restore --help')\n"
    "  --filter LIST          filters, comma separated: rumble, hum, hiss=1-3, treble=-3..3,\n"
    "                         graphic=NAME (a graphic filter saved in the desktop\n"
    "                         application), or none\n"
    "  --normalise DB         scale to this peak, -30 to 0\n"
    "  --scale DB             scale by this much, -30 to 10\n"
    "  --balance              balance the channels automatically\n"
    "  --trim                 keep only the music and a second either side, faded\n"
    "  --format TYPE          wav, ape, ogg, flac, or external (the stored encoder)\n"
    "  --log FILE             write the log here instead of the standard output\n"
    "  --log-colours          mark the red lines of the log with colour codes, also in a file\n"
    "  --jobs N               files processed at once (default: the number of cores)\n";

struct UsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

int intValue(const std::string& option, const std::string& text, int low, int high) {
    char* end = nullptr;
    long v = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end || v < low || v > high)
        throw UsageError(option + " takes a whole number from " + std::to_string(low) + " to " +
                         std::to_string(high));
    return static_cast<int>(v);
}

double dbValue(const std::string& option, const std::string& text, double low, double high) {
    char* end = nullptr;
    double v = std::strtod(text.c_str(), &end);
    if (text.empty() || *end || !(v >= low && v <= high))
        throw UsageError(option + " takes a number of dB from " +
                         std::to_string(static_cast<int>(low)) + " to " +
                         std::to_string(static_cast<int>(high)));
    return v;
}

struct BatchCommandLine {
    std::vector<std::string> inputs;
    BatchOptions options;
    std::optional<int> sensitivity, repair, passes, mode, corWidth, agc, discriminator,
        minMagnitude;
    std::optional<std::string> format;
    std::string logFile;
    bool colours = false;
    int jobs = 0;
};

void parseFilters(const std::string& list, BatchOptions& o) {
    FilterSettings& f = o.filters;
    size_t from = 0;
    while (from <= list.size()) {
        size_t comma = list.find(',', from);
        std::string item = list.substr(from, comma == std::string::npos ? comma : comma - from);
        from = comma == std::string::npos ? list.size() + 1 : comma + 1;
        const size_t eq = item.find('=');
        const std::string name = item.substr(0, eq);
        const std::string value = eq == std::string::npos ? "" : item.substr(eq + 1);
        if (name == "none" && value.empty()) {
            // Filtering with nothing chosen: the step runs and is logged.
        } else if (name == "rumble" && value.empty()) {
            f.RumbleOn = true;
        } else if (name == "hum" && value.empty()) {
            f.HumOn = true;
        } else if (name == "hiss") {
            f.HissOn = true;
            f.HissLevel = value.empty() ? 1 : intValue("--filter hiss", value, 1, 3);
        } else if (name == "treble" && !value.empty()) {
            f.TrebleLevel = intValue("--filter treble", value, -3, 3);
            f.TrebleOn = f.TrebleLevel != 0;
        } else if (name == "graphic" && !value.empty()) {
            o.graphicName = value;
        } else {
            throw UsageError("--filter takes rumble, hum, hiss=1-3, treble=-3..3 and "
                             "graphic=NAME, comma separated; not \"" +
                             item + "\"");
        }
    }
    o.filter = true;
}

BatchCommandLine parseBatch(const std::vector<std::string>& args) {
    BatchCommandLine c;
    BatchOptions& o = c.options;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&]() -> const std::string& {
            if (i + 1 >= args.size()) throw UsageError(a + " needs a value");
            return args[++i];
        };
        if (a == "--out")
            o.outputPath = value();
        else if (a == "--input-names")
            o.naming = BatchNaming::InputNames;
        else if (a == "--declick")
            o.removeClicks = true;
        else if (a == "--passes")
            c.passes = intValue(a, value(), 0, 6);
        else if (a == "--sensitivity")
            c.sensitivity = intValue(a, value(), 0, 5);
        else if (a == "--differential" || a == "--per-channel")
            c.mode = a == "--differential" ? ids::kDifferential : ids::kPerChannel;
        else if (a == "--narrow" || a == "--normal")
            c.corWidth = a == "--narrow" ? ids::kNarrowWidth : ids::kNormalWidth;
        else if (a == "--agc")
            c.agc = intValue(a, value(), 0, 3);
        else if (a == "--discriminator")
            c.discriminator = intValue(a, value(), 0, 3);
        else if (a == "--min-magnitude")
            c.minMagnitude = intValue(a, value(), 0, 10);
        else if (a == "--repair") {
            const std::string& v = value();
            if (v != "standard" && v != "precise")
                throw UsageError("--repair is standard or precise");
            c.repair = v == "precise" ? ids::kRepairPrecise : ids::kRepairStandard;
        } else if (a == "--filter")
            parseFilters(value(), o);
        else if (a == "--normalise" || a == "--normalize") {
            o.normalise = true;
            o.levelDb = dbValue(a, value(), -30, 0);
        } else if (a == "--scale") {
            o.scale = true;
            o.levelDb = dbValue(a, value(), -30, 10);
        } else if (a == "--balance")
            o.balanceAuto = true;
        else if (a == "--trim")
            o.trimSilence = true;
        else if (a == "--format")
            c.format = value();
        else if (a == "--log")
            c.logFile = value();
        else if (a == "--log-colours")
            c.colours = true;
        else if (a == "--jobs")
            c.jobs = intValue(a, value(), 1, 64);
        else if (!a.empty() && a[0] == '-')
            throw UsageError("unknown option " + a);
        else
            c.inputs.push_back(a);
    }
    if (c.inputs.empty()) throw UsageError("no files or folders given");
    if (o.normalise && o.scale) throw UsageError("--normalise and --scale exclude each other");
    if (c.passes && *c.passes > 0 && !o.removeClicks) throw UsageError("--passes needs --declick");
    if (!o.anyStep())
        throw UsageError("nothing to do: choose at least one of --declick, --filter, "
                         "--normalise, --scale, --balance and --trim");
    static const char* const formats[] = {"wav", "ape", "ogg", "flac", "external"};
    if (c.format &&
        std::find(std::begin(formats), std::end(formats), *c.format) == std::end(formats))
        throw UsageError("--format is wav, ape, ogg, flac or external");
    return c;
}

// The files of the list: folders searched, plain files taken as given (one that is not a
// recording is logged as not opened, like any other that fails).
std::vector<std::string> expandInputs(const std::vector<std::string>& inputs) {
    std::vector<std::string> files;
    for (const std::string& in : inputs) {
        std::error_code ec;
        if (fs::is_directory(in, ec)) {
            std::vector<std::string> found = BatchFilesIn(in);
            files.insert(files.end(), found.begin(), found.end());
        } else {
            files.push_back(in);
        }
    }
    return files;
}

// Log text for a terminal or a file: the dialog's line ends become the system's.
std::string plain(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i)
        if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')) out += text[i];
    return out;
}

class LogWriter {
  public:
    explicit LogWriter(FILE* file, bool colour) : file_(file), colour_(colour) {}
    void write(const std::string& text, bool red) {
        if (red && colour_) std::fputs("\033[31m", file_);
        std::fputs(plain(text).c_str(), file_);
        if (red && colour_) std::fputs("\033[0m", file_);
        std::fflush(file_);
    }

  private:
    FILE* file_;
    bool colour_;
};

bool stopping() {
    return TerminalUi::terminating != 0;
}

// The host of one file's run: its lines are collected to be written in list order.
struct CollectingHost : BatchHost {
    std::vector<std::pair<std::string, bool>> lines;
    void log(const std::string& text, bool red) override { lines.emplace_back(text, red); }
    bool abortRequested() const override { return stopping(); }
};

// The host of a run inside this process: lines go straight out.
struct DirectHost : BatchHost {
    LogWriter& writer;
    explicit DirectHost(LogWriter& w) : writer(w) {}
    void log(const std::string& text, bool red) override { writer.write(text, red); }
    bool abortRequested() const override { return stopping(); }
};

const char* outcomeText(BatchFileResult::Outcome o) {
    switch (o) {
    case BatchFileResult::Outcome::Saved:
        return "saved";
    case BatchFileResult::Outcome::NotOpened:
        return "not opened";
    case BatchFileResult::Outcome::Failed:
        return "failed";
    case BatchFileResult::Outcome::Aborted:
        return "stopped";
    }
    return "";
}

void progressLine(size_t done, size_t total, const std::string& file,
                  BatchFileResult::Outcome outcome, const std::string& output) {
    std::fprintf(stderr, "[%zu/%zu %3d%%] %s: %s%s%s\n", done, total,
                 total ? static_cast<int>(100 * done / total) : 100, file.c_str(),
                 outcomeText(outcome), output.empty() ? "" : " as ", output.c_str());
}

// A child's report on its pipe: each log line as a flag byte ('R' red, 'N' not), its text and a
// NUL; then 'O' with the outcome digit and the output path.
void sendAll(int fd, const std::string& bytes) {
    size_t at = 0;
    while (at < bytes.size()) {
        ssize_t n = ::write(fd, bytes.data() + at, bytes.size() - at);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        at += static_cast<size_t>(n);
    }
}

struct PipeHost : BatchHost {
    int fd;
    explicit PipeHost(int f) : fd(f) {}
    void log(const std::string& text, bool red) override {
        std::string record(1, red ? 'R' : 'N');
        record += text;
        record += '\0';
        sendAll(fd, record);
    }
    bool abortRequested() const override { return stopping(); }
};

void onChildSignal(int) {
    TerminalUi::interrupted = 1;
    TerminalUi::terminating = 1;
}

[[noreturn]] void runChild(int fd, const std::string& file, const BatchOptions& options) {
    // The parent passes a stop on; one signal or several, the file ends cleanly.
    for (int s : {SIGINT, SIGTERM, SIGHUP}) std::signal(s, onChildSignal);
    int code = 3;
    {
        SettingsProfile stored;
        OverlayProfile profile(stored);
        PipeHost host(fd);
        BatchUi ui(host);
        CMorvath3Doc doc(profile, ui);
        BatchFileResult r = ProcessBatchFile(doc, host, file, options);
        code = static_cast<int>(r.outcome);
        std::string record = "O";
        record += static_cast<char>('0' + code);
        record += r.output;
        record += '\0';
        sendAll(fd, record);
    }
    ::close(fd);
    std::fflush(nullptr);
    _exit(0);
}

struct FileReport {
    std::vector<std::pair<std::string, bool>> lines;
    BatchFileResult::Outcome outcome = BatchFileResult::Outcome::Failed;
    std::string output;
    bool done = false;
};

void parseReport(const std::string& bytes, FileReport& report) {
    size_t at = 0;
    while (at < bytes.size()) {
        size_t end = bytes.find('\0', at);
        if (end == std::string::npos) break;
        const char kind = bytes[at];
        std::string text = bytes.substr(at + 1, end - at - 1);
        if (kind == 'O' && !text.empty()) {
            report.outcome = static_cast<BatchFileResult::Outcome>(text[0] - '0');
            report.output = text.substr(1);
        } else if (kind == 'R' || kind == 'N') {
            report.lines.emplace_back(text, kind == 'R');
        }
        at = end + 1;
    }
}

BatchSummary runInProcess(const std::vector<std::string>& files, const BatchOptions& options,
                          LogWriter& writer, Profile& profile) {
    DirectHost host(writer);
    BatchUi ui(host);
    CMorvath3Doc doc(profile, ui);
    BatchSummary s;
    for (size_t i = 0; i < files.size() && !stopping(); ++i) {
        BatchFileResult r = ProcessBatchFile(doc, host, files[i], options);
        if (r.outcome == BatchFileResult::Outcome::Saved)
            ++s.saved;
        else if (r.outcome != BatchFileResult::Outcome::Aborted)
            ++s.failed;
        progressLine(i + 1, files.size(), files[i], r.outcome, r.output);
    }
    return s;
}

BatchSummary runInProcesses(const std::vector<std::string>& files, const BatchOptions& options,
                            LogWriter& writer, int jobs) {
    struct Running {
        pid_t pid;
        int fd;
        size_t index;
        std::string bytes;
    };
    std::vector<Running> running;
    std::vector<FileReport> reports(files.size());
    size_t next = 0, written = 0;
    BatchSummary s;
    bool forwarded = false;
    std::fflush(nullptr); // a child must not write out what the parent had buffered
    while (written < files.size()) {
        while (!stopping() && next < files.size() && static_cast<int>(running.size()) < jobs) {
            int fds[2];
            if (::pipe(fds) != 0) throw std::runtime_error("cannot make a pipe");
            pid_t pid = ::fork();
            if (pid < 0) {
                ::close(fds[0]);
                ::close(fds[1]);
                throw std::runtime_error("cannot start a job");
            }
            if (pid == 0) {
                ::close(fds[0]);
                for (const Running& r : running) ::close(r.fd);
                runChild(fds[1], files[next], options);
            }
            ::close(fds[1]);
            running.push_back({pid, fds[0], next, {}});
            ++next;
        }
        if (stopping() && !forwarded) {
            forwarded = true;
            for (const Running& r : running) ::kill(r.pid, SIGTERM);
        }
        if (running.empty()) {
            // Stopped before these files began: nothing of them is logged.
            if (stopping()) break;
            continue;
        }
        std::vector<pollfd> fds;
        for (const Running& r : running) fds.push_back({r.fd, POLLIN, 0});
        if (::poll(fds.data(), fds.size(), 200) < 0 && errno != EINTR)
            throw std::runtime_error("cannot wait for the jobs");
        for (size_t k = 0; k < running.size();) {
            Running& r = running[k];
            if (!(fds[k].revents & (POLLIN | POLLHUP | POLLERR))) {
                ++k;
                continue;
            }
            char buffer[8192];
            ssize_t n = ::read(r.fd, buffer, sizeof buffer);
            if (n > 0) {
                r.bytes.append(buffer, static_cast<size_t>(n));
                ++k;
                continue;
            }
            if (n < 0 && errno == EINTR) {
                ++k;
                continue;
            }
            ::close(r.fd);
            int status = 0;
            while (::waitpid(r.pid, &status, 0) < 0 && errno == EINTR) {
            }
            FileReport& report = reports[r.index];
            parseReport(r.bytes, report);
            if (!(WIFEXITED(status) && WEXITSTATUS(status) == 0)) {
                report.outcome = BatchFileResult::Outcome::Failed;
                report.lines.emplace_back("\tThe job processing this file ended unexpectedly\r\n",
                                          true);
            }
            report.done = true;
            running.erase(running.begin() + static_cast<long>(k));
            fds.erase(fds.begin() + static_cast<long>(k));
        }
        while (written < next && reports[written].done) {
            FileReport& report = reports[written];
            for (const auto& [text, red] : report.lines) writer.write(text, red);
            if (report.outcome == BatchFileResult::Outcome::Saved)
                ++s.saved;
            else if (report.outcome != BatchFileResult::Outcome::Aborted)
                ++s.failed;
            progressLine(written + 1, files.size(), files[written], report.outcome, report.output);
            ++written;
        }
        if (stopping() && running.empty() && written == next) break;
    }
    return s;
}

} // namespace

int batch(const std::vector<std::string>& args) {
    if (!args.empty() && (args[0] == "--help" || args[0] == "-h")) {
        std::fputs(kBatchUsage, stdout);
        return 0;
    }
    BatchCommandLine c;
    try {
        c = parseBatch(args);
    } catch (const UsageError& e) {
        std::fprintf(stderr, "tarnival: %s\n\n%s", e.what(), kBatchUsage);
        return 2;
    }
    SettingsProfile stored;
    OverlayProfile profile(stored);
    BatchOptions& o = c.options;
    o.scan.load(profile);
    if (o.scan.sensitivity < 0) o.scan.sensitivity = settings::kDefaultSensitivity;
    if (c.sensitivity) o.scan.sensitivity = *c.sensitivity;
    if (c.repair) o.scan.repairMethod = *c.repair;
    if (c.mode) o.scan.mode = *c.mode;
    if (c.corWidth) o.scan.corWidth = *c.corWidth;
    if (c.agc) o.scan.agc = *c.agc;
    if (c.discriminator) o.scan.discriminator = *c.discriminator;
    if (c.minMagnitude) o.scan.minMagnitude = *c.minMagnitude;
    o.superPasses = c.passes.value_or(0);
    o.output = loadOutputSettings(profile);
    if (c.format) {
        const std::string& f = *c.format;
        o.output.externalEncoder = f == "external";
        o.output.fileType = f == "ape"    ? ids::kFileApe
                            : f == "ogg"  ? ids::kFileOgg
                            : f == "flac" ? ids::kFileFlac
                                          : ids::kFileWave;
    }
    if (!o.outputPath.empty()) {
        std::error_code ec;
        fs::create_directories(o.outputPath, ec);
        if (ec) {
            std::fprintf(stderr, "tarnival: cannot make the folder %s: %s\n", o.outputPath.c_str(),
                         ec.message().c_str());
            return 1;
        }
    }
    FILE* logFile = stdout;
    if (!c.logFile.empty()) {
        logFile = std::fopen(c.logFile.c_str(), "w");
        if (!logFile) {
            std::fprintf(stderr, "tarnival: cannot write the log %s: %s\n", c.logFile.c_str(),
                         std::strerror(errno));
            return 1;
        }
    }
    LogWriter writer(logFile, c.colours || (logFile == stdout && ::isatty(STDOUT_FILENO)));
    const std::vector<std::string> files = expandInputs(c.inputs);
    int jobs = c.jobs;
    if (jobs <= 0) jobs = std::max(1L, ::sysconf(_SC_NPROCESSORS_ONLN));
    jobs = std::min<int>(jobs, static_cast<int>(std::max<size_t>(files.size(), 1)));

    BatchSummary s = jobs <= 1 ? runInProcess(files, o, writer, profile)
                               : runInProcesses(files, o, writer, jobs);
    s.aborted = stopping();
    if (s.aborted) writer.write(kBatchAbortingLine, true);
    writer.write(s.aborted ? kBatchAbortedLine : kBatchDoneLine, s.aborted);
    std::fprintf(stderr, "%zu file%s: %d saved, %d failed%s\n", files.size(),
                 files.size() == 1 ? "" : "s", s.saved, s.failed,
                 s.aborted ? ", the rest stopped" : "");
    if (logFile != stdout) std::fclose(logFile);
    return s.aborted || s.failed > 0 || s.saved != static_cast<int>(files.size()) ? 1 : 0;
}

} // namespace tarnival::cli
