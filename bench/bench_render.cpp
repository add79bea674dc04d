// Loads a recording (open, scan, tracks, corrections), then times writing every detected track
// as a wave file the way "Save..." does. Prints the bytes written so that the caller can time a
// plain copy of the same amount.
//
//   bench_render FILE OUTDIR
#include "BenchCommon.h"
#include "output/SaveTracks.h"

#include <filesystem>
#include <string>

using namespace tarnival;
using namespace tarnival::bench;

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: bench_render FILE OUTDIR\n");
        return 2;
    }
    namespace fs = std::filesystem;
    const std::string input = argv[1];
    const fs::path outDir = argv[2];
    fs::create_directories(outDir);

    MemoryProfile profile;
    useSameFolder(profile);
    YesUi ui;
    CMorvath3Doc doc(profile, ui);
    Clock::time_point t0 = Clock::now();
    if (!doc.OpenWave(input) || !doc.ProcessFile()) {
        std::fprintf(stderr, "bench_render: the recording could not be loaded\n");
        return 1;
    }
    const double load = secondsSince(t0);

    SaveRequest request;
    for (int i = 1; i <= doc.tracks.trackCount(); ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "%02d.wav", i);
        request.trackIndexes.push_back(i);
        request.trackNumbers.push_back(i);
        request.paths.push_back((outDir / name).string());
    }
    OutputOptions options;
    options.fadeLinear = doc.tracks.fadeLinear;
    options.gapless = doc.tracks.gapless;
    OutputContext context{doc.store, doc.tracks, doc.splices, ui, options, {}, {}};

    Clock::time_point t1 = Clock::now();
    SaveOutcome outcome =
        SaveTracks(context, input, request, [](const std::vector<std::string>&) { return true; });
    const double render = secondsSince(t1);
    if (outcome.status != SaveStatus::Saved) {
        std::fprintf(stderr, "bench_render: the tracks were not saved\n");
        return 1;
    }

    uintmax_t bytes = 0;
    for (const std::string& p : outcome.written) bytes += fs::file_size(p);
    std::printf("load             %9.3f s\n", load);
    std::printf("render           %9.3f s  (%zu tracks)\n", render, outcome.written.size());
    std::printf("bytes            %9ju\n", bytes);
    return 0;
}
