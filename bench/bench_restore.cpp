// Restores one recording the way opening it does (open, copy and scan, track detection,
// corrections) and prints how long each phase took. Run as its own process so that the caller
// can measure wall time and peak memory from outside.
//
//   bench_restore FILE [--sensitivity N] [--hash] [--keep COPY]
//   bench_restore --generate FILE SECONDS [SEED]
#include "BenchCommon.h"
#include "synth/DemoSide.h"
#include "tracks/TrackContext.h"
#include "tracks/TrackDetection.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <sys/resource.h>
#include <vector>

using namespace tarnival;
using namespace tarnival::bench;

namespace {

// Records when the document reaches each step, through the calls it makes anyway.
class PhaseUi : public YesUi {
  public:
    Clock::time_point lastScanPosition{};
    Clock::time_point correctionsStart{};
    Clock::time_point tracksFound{};
    Clock::time_point end{};
    bool inCorrections = false;

    void setProgressPosition(int64_t) override {
        if (!inCorrections) lastScanPosition = Clock::now();
    }
    void setCurrentTask(int index) override {
        if (index == 1) {
            inCorrections = true;
            correctionsStart = Clock::now();
        }
    }
    void setProgressText(int line, const std::string& text) override {
        if (line == 1 && text.rfind("Tracks Found", 0) == 0) tracksFound = Clock::now();
    }
    void progressEnd() override {
        YesUi::progressEnd();
        end = Clock::now();
    }
};

// The scan loop is over at the first list refill after its last block.
class PhaseObserver : public DocumentObserver {
  public:
    explicit PhaseObserver(const PhaseUi& ui) : ui_(ui) {}
    Clock::time_point scanEnd{};
    void listRefilled() override {
        if (scanEnd < ui_.lastScanPosition && !ui_.inCorrections) scanEnd = Clock::now();
    }

  private:
    const PhaseUi& ui_;
};

double span(Clock::time_point a, Clock::time_point b) {
    return std::chrono::duration<double>(b - a).count();
}

// FNV-1a over the working file: a quick way to see that two builds made the same bytes.
uint64_t hashFile(const File& file) {
    uint64_t h = 1469598103934665603ull;
    std::vector<uint8_t> buf(1 << 20);
    int64_t length = file.length();
    for (int64_t pos = 0; pos < length;) {
        size_t got = file.readAt(pos, buf.data(), buf.size());
        if (got == 0) break;
        for (size_t i = 0; i < got; ++i) h = (h ^ buf[i]) * 1099511628211ull;
        pos += static_cast<int64_t>(got);
    }
    return h;
}

int generate(const std::string& path, double seconds, unsigned seed) {
    // Pieces of about 2.5 minutes with 3-second pauses, filling the length asked for.
    const double pause = 3.0, lead = 3.0;
    int pieces = std::max(1, static_cast<int>(std::lround(seconds / 150.0)));
    double pieceSeconds = (seconds - lead - (pieces - 1) * pause) / pieces;
    if (pieceSeconds < 5.0) {
        std::fprintf(stderr, "bench_restore: %g seconds is too short\n", seconds);
        return 2;
    }
    DemoSide side = writeDemoSide(path, pieces, pieceSeconds, pause, seed);
    std::printf("generated %s: %.1f s, %d pieces of %.1f s, %zu clicks\n", path.c_str(),
                static_cast<double>(side.frames) / side.rate, pieces, pieceSeconds,
                side.clickFrames.size());
    return 0;
}

int usage() {
    std::fprintf(stderr, "usage: bench_restore FILE [--sensitivity N] [--hash] [--keep COPY]\n"
                         "       bench_restore --generate FILE SECONDS [SEED]\n");
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty()) return usage();
    if (args[0] == "--generate") {
        if (args.size() < 3) return usage();
        unsigned seed = args.size() > 3 ? static_cast<unsigned>(std::stoul(args[3])) : 2026;
        return generate(args[1], std::stod(args[2]), seed);
    }

    std::string path = args[0];
    int sensitivity = -1;
    bool hash = false;
    std::string keep;
    for (size_t i = 1; i < args.size(); ++i) {
        if (args[i] == "--sensitivity" && i + 1 < args.size())
            sensitivity = std::stoi(args[++i]);
        else if (args[i] == "--hash")
            hash = true;
        else if (args[i] == "--keep" && i + 1 < args.size())
            keep = args[++i];
        else
            return usage();
    }

    MemoryProfile profile;
    useSameFolder(profile);
    if (sensitivity >= 0) profile.setInt("Settings", "Sensitivity", sensitivity);
    PhaseUi ui;
    PhaseObserver observer(ui);
    CMorvath3Doc doc(profile, ui);
    doc.setObserver(&observer);

    Clock::time_point t0 = Clock::now();
    if (!doc.OpenWave(path)) return 1;
    Clock::time_point opened = Clock::now();
    if (!doc.ProcessFile()) {
        std::fprintf(stderr, "bench_restore: processing stopped\n");
        return 1;
    }
    Clock::time_point done = Clock::now();

    const double audio = audioSeconds(doc);
    const double total = span(t0, done);
    int clicks = 0;
    for (int i = 1; i < doc.corrections.count() - 1; ++i)
        if (doc.corrections[i].width >= 0 && doc.corrections[i].magnitude >= 0) ++clicks;

    std::printf("audio            %9.1f s (%d Hz)\n", audio, doc.store.layout.sampleRate);
    std::printf("open             %9.3f s\n", span(t0, opened));
    std::printf("copy + scan      %9.3f s\n", span(opened, observer.scanEnd));
    std::printf("tail + tracks    %9.3f s  (%d tracks)\n", span(observer.scanEnd, ui.tracksFound),
                doc.tracks.trackCount());
    if (ui.inCorrections)
        std::printf("corrections      %9.3f s  (%d corrections)\n",
                    span(ui.correctionsStart, ui.end), clicks);
    std::printf("total (in-proc)  %9.3f s  = %.0fx real time\n", total, audio / total);

    // Detection alone, again on the same levels: it reads no audio, so this is its whole cost.
    {
        TrackContext ctx = doc.trackContext();
        Clock::time_point t = Clock::now();
        DetectTracks(ctx);
        std::printf("track detection  %9.3f s  (re-run alone)\n", secondsSince(t));
    }
    if (hash)
        std::printf("working hash     %016llx\n",
                    static_cast<unsigned long long>(hashFile(doc.store.working)));
    if (!keep.empty())
        std::filesystem::copy_file(doc.workingPath(), keep,
                                   std::filesystem::copy_options::overwrite_existing);
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("peak memory      %9.1f MB (max RSS)\n",
                static_cast<double>(usage.ru_maxrss) / 1024.0);
    if (!ui.messages.empty())
        std::printf("messages         %zu (see stderr)\n", ui.messages.size());
    doc.CloseWave();
    return 0;
}
