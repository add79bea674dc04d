#include "audio/SoundServer.h"
#include "devices/DeviceList.h"
#include "support/TempDir.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <memory>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace tarnival::test {

namespace {

std::string run(const std::string& command) {
    std::string out;
    FILE* p = popen(command.c_str(), "r");
    if (!p) return out;
    char buf[512];
    while (fgets(buf, sizeof buf, p)) out += buf;
    pclose(p);
    return out;
}

bool serverHasNullDevices() {
    if (!std::getenv("PULSE_SERVER")) return false;
    std::string sinks = run("pactl list short sinks 2>/dev/null");
    std::string sources = run("pactl list short sources 2>/dev/null");
    return sinks.find("nullout") != std::string::npos &&
           sources.find("nullin") != std::string::npos;
}

// A server started by this test process, stopped (by its pid, in the script) when the process
// ends.
struct OwnServer {
    std::string dir;
    ~OwnServer() {
        if (!dir.empty())
            run(std::string(TARNIVAL_SOURCE_DIR) + "/scripts/sound-server.sh stop '" + dir + "'");
    }
};
OwnServer ownServer;

std::string prepare() {
    if (serverHasNullDevices()) return {};
    const char* script = TARNIVAL_SOURCE_DIR "/scripts/sound-server.sh";
    if (access(script, X_OK) != 0) return "scripts/sound-server.sh is missing";
    char pattern[] = "/tmp/tarnival-sound-test.XXXXXX";
    if (!mkdtemp(pattern)) return "no temporary folder for a sound server";
    ownServer.dir = pattern;
    std::string out = run(std::string(script) + " start '" + ownServer.dir + "' 2>&1");
    const std::string prefix = "export PULSE_SERVER=";
    size_t at = out.find(prefix);
    if (at == std::string::npos)
        return "no sound server could be started (is pulseaudio installed?): " + out;
    std::string server = out.substr(at + prefix.size());
    server.erase(server.find_last_not_of("\n\r ") + 1);
    setenv("PULSE_SERVER", server.c_str(), 1);
    if (!serverHasNullDevices()) return "the sound server has no null sink";
    return {};
}

int deviceNumber(const std::vector<std::string>& names, const std::string& wanted) {
    for (size_t i = 0; i < names.size(); ++i)
        if (names[i] == wanted) return static_cast<int>(i);
    return -1;
}

} // namespace

std::string soundServerProblem() {
    static const std::string problem = prepare();
    return problem;
}

int nullOutputDevice() {
    ensureQtApplication();
    return deviceNumber(outputDeviceNames(), "Null-Output");
}

int nullInputDevice() {
    ensureQtApplication();
    return deviceNumber(inputDeviceNames(), "Null-Input");
}

void ensureQtApplication() {
    static int argc = 1;
    static char name[] = "tarnival_audio_tests";
    static char* argv[] = {name, nullptr};
    // Never destroyed: at exit Qt's own globals may already be gone.
    if (!QCoreApplication::instance()) static_cast<void>(new QCoreApplication(argc, argv));
}

bool runEventsUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (!done() && std::chrono::steady_clock::now() < end) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return done();
}

// ---- Processes ----------------------------------------------------------------------------------

ChildProcess::ChildProcess(const std::vector<std::string>& argv, const std::string& stdoutPath) {
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (!stdoutPath.empty())
        posix_spawn_file_actions_addopen(&actions, 1, stdoutPath.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
    // Not the test's own error output: if the test crashed, a program still holding it would
    // keep ctest waiting.
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    if (posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ) == 0) pid_ = pid;
    posix_spawn_file_actions_destroy(&actions);
}

ChildProcess::~ChildProcess() {
    if (pid_ > 0) stop(SIGKILL);
}

int ChildProcess::stop(int signal) {
    if (pid_ <= 0) return status_;
    kill(pid_, signal);
    return wait(std::chrono::seconds(10));
}

int ChildProcess::wait(std::chrono::milliseconds timeout) {
    if (pid_ <= 0) return status_;
    const auto end = std::chrono::steady_clock::now() + timeout;
    int status = 0;
    while (true) {
        pid_t r = waitpid(pid_, &status, WNOHANG);
        if (r == pid_) break;
        if (std::chrono::steady_clock::now() > end) return -1;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    pid_ = -1;
    status_ = WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
    return status_;
}

MonitorCapture::MonitorCapture(const std::string& rawPath)
    : path_(rawPath), parec_({"parec", "--device=nullout.monitor", "--format=s16le", "--rate=44100",
                              "--channels=2", "--latency-msec=10"},
                             rawPath) {}

bool MonitorCapture::waitUntilFlowing() {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    std::error_code ec;
    while (std::chrono::steady_clock::now() < end) {
        if (std::filesystem::file_size(path_, ec) >= 4410 * 4) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

Stereo MonitorCapture::finish() {
    parec_.stop(SIGTERM);
    std::vector<uint8_t> bytes = readFile(path_);
    Stereo s(bytes.size() / 4 * 2);
    for (size_t i = 0; i < s.size(); ++i)
        s[i] = static_cast<int16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
    return s;
}

// ---- Comparisons --------------------------------------------------------------------------------

double correlationAt(const Stereo& a, const Stereo& b, int lag) {
    double ab = 0, aa = 0, bb = 0;
    const size_t n = b.size();
    const size_t off = static_cast<size_t>(lag) * 2;
    if (lag < 0 || off + n > a.size()) return 0;
    for (size_t i = 0; i < n; ++i) {
        const double x = a[off + i], y = b[i];
        ab += x * y;
        aa += x * x;
        bb += y * y;
    }
    return aa > 0 && bb > 0 ? ab / std::sqrt(aa * bb) : 0;
}

int firstSound(const Stereo& s, int limit) {
    for (size_t i = 0; i < s.size(); ++i)
        if (std::abs(s[i]) > limit) return static_cast<int>(i / 2);
    return -1;
}

int bestLag(const Stereo& whole, const Stereo& part, double& correlation) {
    correlation = -1;
    // Before the audio under test the null sink gives exact silence: search about where the
    // sound starts, allowing for a quiet (faded) beginning of the part, with a short stretch of
    // the part; then measure the whole part there.
    const int onset = firstSound(whole, 0);
    if (onset < 0) return -1;
    const int partOnset = std::max(firstSound(part, 0), 0);
    const Stereo probe = slice(part, partOnset, 2048);
    int best = -1;
    double bestProbe = -1;
    for (int lag = std::max(0, onset - 2000); lag <= onset + 2000; ++lag) {
        double c = correlationAt(whole, probe, lag);
        if (c > bestProbe) {
            bestProbe = c;
            best = lag - partOnset;
        }
    }
    if (best < 0) return -1;
    correlation = correlationAt(whole, part, best);
    return best;
}

double rmsOf(const Stereo& s, int fromFrame, int frames) {
    double sum = 0;
    size_t n = 0;
    for (size_t i = static_cast<size_t>(fromFrame) * 2;
         i < std::min(s.size(), static_cast<size_t>(fromFrame + frames) * 2); ++i, ++n)
        sum += static_cast<double>(s[i]) * s[i];
    return n ? std::sqrt(sum / static_cast<double>(n)) : 0;
}

int longestQuietRun(const Stereo& s, int fromFrame, int toFrame, int limit) {
    int longest = 0, run = 0;
    for (int f = fromFrame; f < toFrame && static_cast<size_t>(f) * 2 + 1 < s.size(); ++f) {
        const size_t i = static_cast<size_t>(f) * 2;
        if (std::abs(s[i]) <= limit && std::abs(s[i + 1]) <= limit)
            longest = std::max(longest, ++run);
        else
            run = 0;
    }
    return longest;
}

Stereo slice(const Stereo& s, int fromFrame, int frames) {
    const size_t from = std::min(s.size(), static_cast<size_t>(fromFrame) * 2);
    const size_t to = std::min(s.size(), from + static_cast<size_t>(frames) * 2);
    return Stereo(s.begin() + static_cast<std::ptrdiff_t>(from),
                  s.begin() + static_cast<std::ptrdiff_t>(to));
}

} // namespace tarnival::test
