// Filters on a whole side, and hiss reduction quality beside sox.
//
//   bench_filters FILE          copies FILE to a working file beside it, then runs every filter
//                               (rumble, hiss + hum + graphic, treble) over all of it, as
//                               "Apply Filter(s)" does; prints the time of each pass and the
//                               peak memory. Run as its own process so the caller can time it.
//   bench_filters --hiss DIR    music with hiss at 20 and 30 dB SNR: SNR gain and residual
//                               noise in a quiet stretch for hiss levels 1-3 and for sox
//                               noisered with a profile from the same stretch.
#include "BenchCommon.h"
#include "document/WaveHeader.h"
#include "dsp/FilterChain.h"
#include "dsp/NoiseProfile.h"
#include "support/Signals.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using namespace tarnival;
using namespace tarnival::bench;

namespace {

double peakMegabytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

// Opens path as the source and a copy of it as the working file.
bool openCopy(WaveStore& store, const std::string& path, const std::string& copy) {
    std::filesystem::copy_file(path, copy, std::filesystem::copy_options::overwrite_existing);
    store.source.open(path, File::Mode::ReadOnly);
    WaveReading reading = readWaveHeader(store.source);
    if (!reading.accepted) {
        std::fprintf(stderr, "bench_filters: %s: %s\n", path.c_str(), reading.problem.c_str());
        return false;
    }
    store.layout = reading.layout;
    store.working.open(copy, File::Mode::ReadWrite);
    return true;
}

int runAll(const std::string& path) {
    const std::string copy = path + ".filt~.wav";
    WaveStore store;
    if (!openCopy(store, path, copy)) return 1;
    CFft fft;
    YesUi ui;
    FilterState state;
    FilterContext ctx{store, fft, ui, state};

    Clock::time_point t0 = Clock::now();
    if (!EnsureProfileBlock(ctx)) {
        std::fprintf(stderr, "bench_filters: no noise profile found\n");
        return 1;
    }
    const double search = secondsSince(t0);

    FilterSettings& s = state.settings;
    s.RumbleOn = s.HumOn = s.HissOn = s.TrebleOn = s.GraphicOn = true;
    s.HissLevel = 2;
    s.TrebleLevel = 1;
    s.GraphicName = "bench";
    for (int k = 0; k < kBins; ++k) state.tables.GraphicGain[k] = k < 120 ? 1.0f : 0.7f;

    std::vector<Clock::time_point> marks;
    ui.onCurrentTask = [&](int) { marks.push_back(Clock::now()); };
    Clock::time_point start = Clock::now();
    FilterRunResult r = ApplyFilters(ctx);
    Clock::time_point end = Clock::now();
    marks.push_back(end);
    if (r.cancelled) return 1;

    const double audio =
        static_cast<double>(store.layout.dataLength()) / 4.0 / store.layout.sampleRate;
    const double total = std::chrono::duration<double>(end - start).count();
    std::printf("audio            %9.1f s (%d Hz)\n", audio, store.layout.sampleRate);
    std::printf("profile search   %9.3f s\n", search);
    const char* names[] = {"high-pass", "spectral", "treble"};
    for (size_t i = 0; i + 1 < marks.size() && i < 3; ++i)
        std::printf("%-16s %9.3f s\n", names[i],
                    std::chrono::duration<double>(marks[i + 1] - marks[i]).count());
    std::printf("filters          %9.3f s  = %.0fx real time\n", total, audio / total);
    std::printf("peak memory      %9.1f MB (max RSS)\n", peakMegabytes());
    store.working.close();
    std::filesystem::remove(copy);
    return 0;
}

// ---- Hiss quality -----------------------------------------------------------------------------

constexpr int kRate = 44100;
constexpr double kProfileFrom = 0.5, kProfileTo = 1.0; // seconds: noise only
constexpr double kQuietFrom = 1.1, kQuietTo = 1.9;     // seconds: noise only, not the profile
constexpr double kMusicFrom = 2.0, kMusicTo = 22.0;

int frameAt(double seconds) {
    return static_cast<int>(seconds * kRate);
}

double energy(const test::Stereo& s, double from, double to) {
    double e = 0;
    for (size_t i = 2 * static_cast<size_t>(frameAt(from));
         i < 2 * static_cast<size_t>(frameAt(to)); ++i)
        e += static_cast<double>(s[i]) * s[i];
    return e;
}

double errorEnergy(const test::Stereo& a, const test::Stereo& b, double from, double to) {
    double e = 0;
    for (size_t i = 2 * static_cast<size_t>(frameAt(from));
         i < 2 * static_cast<size_t>(frameAt(to)); ++i) {
        double d = static_cast<double>(a[i]) - b[i];
        e += d * d;
    }
    return e;
}

test::Stereo readData(const std::string& path) {
    File f(path, File::Mode::ReadOnly);
    WaveReading r = readWaveHeader(f);
    test::Stereo s(static_cast<size_t>(r.accepted ? r.layout.dataLength() / 2 : 0));
    if (!s.empty()) f.readExactly(r.layout.dataStart, s.data(), s.size() * 2);
    return s;
}

// Runs a program (its output discarded) and says whether it succeeded.
bool runProgram(const std::vector<std::string>& args) {
    std::fflush(stdout);
    pid_t pid = fork();
    if (pid == 0) {
        if (FILE* null = std::freopen("/dev/null", "w", stdout)) (void)null;
        std::vector<char*> argv;
        for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    if (pid < 0 || waitpid(pid, &status, 0) != pid) return false;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

void report(const char* who, const test::Stereo& clean, const test::Stereo& noisy,
            const test::Stereo& out) {
    const double snrIn = 10 * std::log10(energy(clean, kMusicFrom, kMusicTo) /
                                         errorEnergy(noisy, clean, kMusicFrom, kMusicTo));
    const double snrOut = 10 * std::log10(energy(clean, kMusicFrom, kMusicTo) /
                                          errorEnergy(out, clean, kMusicFrom, kMusicTo));
    const double quiet =
        10 * std::log10(energy(out, kQuietFrom, kQuietTo) / energy(noisy, kQuietFrom, kQuietTo));
    std::printf("    %-22s SNR %5.1f -> %5.1f dB (%+5.1f)   quiet stretch %+6.1f dB\n", who, snrIn,
                snrOut, snrOut - snrIn, quiet);
}

int hissQuality(const std::string& dir) {
    std::filesystem::create_directories(dir);
    const bool sox = runProgram({"sox", "--version"});
    test::Stereo clean = test::silence(frameAt(kMusicFrom));
    test::append(clean, test::music(frameAt(kMusicTo - kMusicFrom), kRate, 31));
    const double musicRms =
        std::sqrt(energy(clean, kMusicFrom, kMusicTo) / (2.0 * frameAt(kMusicTo - kMusicFrom)));

    for (double snr : {20.0, 30.0}) {
        test::Stereo noisy = clean;
        test::mix(noisy, test::hiss(static_cast<int>(clean.size() / 2),
                                    musicRms / std::pow(10.0, snr / 20.0), 32));
        const std::string noisyPath = dir + "/noisy.wav";
        test::writeWav(noisyPath, noisy);
        std::printf("  hiss at %.0f dB below the music (RMS %.0f):\n", snr,
                    musicRms / std::pow(10.0, snr / 20.0));

        for (int level = 1; level <= 3; ++level) {
            WaveStore store;
            if (!openCopy(store, noisyPath, dir + "/work~.wav")) return 1;
            CFft fft;
            YesUi ui;
            FilterState state;
            FilterContext ctx{store, fft, ui, state};
            state.settings.ProfileStart = store.layout.dataStart + 4 * frameAt(kProfileFrom);
            state.settings.ProfileEnd = store.layout.dataStart + 4 * frameAt(kProfileTo);
            RunSpectralFilter(ctx, {store.layout.dataStart, store.layout.dataEnd}, kModeHiss,
                              level);
            store.working.close();
            char who[48];
            std::snprintf(who, sizeof who, "tarnival hiss %d (%ddB)", level, 6 * level + 2);
            report(who, clean, noisy, readData(dir + "/work~.wav"));
        }
        if (!sox) {
            std::printf("    sox not found: no comparison\n");
            continue;
        }
        const std::string prof = dir + "/noise.prof";
        char trim[2][32];
        std::snprintf(trim[0], sizeof trim[0], "%g", kProfileFrom);
        std::snprintf(trim[1], sizeof trim[1], "%g", kProfileTo - kProfileFrom);
        if (!runProgram({"sox", noisyPath, "-n", "trim", trim[0], trim[1], "noiseprof", prof}))
            return 1;
        for (const char* amount : {"0.21", "0.5"}) {
            const std::string out = dir + "/sox.wav";
            // -D: no dither, which would add noise of its own to the quiet stretch.
            if (!runProgram({"sox", "-D", noisyPath, out, "noisered", prof, amount})) return 1;
            report((std::string("sox noisered ") + amount).c_str(), clean, noisy, readData(out));
        }
    }
    return 0;
}

int usage() {
    std::fprintf(stderr, "usage: bench_filters FILE\n       bench_filters --hiss DIR\n");
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() != 1 && !(args.size() == 2 && args[0] == "--hiss")) return usage();
    try {
        return args.size() == 2 ? hissQuality(args[1]) : runAll(args[0]);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_filters: %s\n", e.what());
        return 1;
    }
}
