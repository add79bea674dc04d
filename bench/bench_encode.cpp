// Encodes a wave file with the output sinks the way saving a track feeds them (blocks of 256 KiB
// from the file) and prints, per format, the seconds taken, the processor seconds and the bytes
// written, so that the caller can compare them with cp, real time and other encoders. Run as its
// own process so that peak memory can be measured from outside.
//
//   bench_encode WAV OUTDIR [FORMAT...]     FORMAT: ape-fast ape-normal ape-high ape-extra
//                                           ogg-5 flac-5 (default: all of them)
#include "BenchCommon.h"
#include "document/File.h"
#include "document/WaveHeader.h"
#include "output/TrackSink.h"
#include "output/TrackWriter.h"

#include <filesystem>
#include <fstream>
#include <string>
#include <sys/resource.h>
#include <vector>

using namespace tarnival;
using namespace tarnival::bench;

namespace {

struct Format {
    const char* name;
    const char* extension;
    int fileType;
    int level; // APE level index, Ogg quality index or FLAC level
};

const Format kFormats[] = {
    {"ape-fast", "ape", ids::kFileApe, 0}, {"ape-normal", "ape", ids::kFileApe, 1},
    {"ape-high", "ape", ids::kFileApe, 2}, {"ape-extra", "ape", ids::kFileApe, 3},
    {"ogg-5", "ogg", ids::kFileOgg, 5},    {"flac-5", "flac", ids::kFileFlac, 5},
};

// User and system time of this process: on a busy machine the wall time also counts the time
// other programs had the processor.
double cpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: bench_encode WAV OUTDIR [FORMAT...]\n");
        return 2;
    }
    namespace fs = std::filesystem;
    const std::string input = argv[1];
    const fs::path outDir = argv[2];
    fs::create_directories(outDir);
    std::vector<std::string> wanted(argv + 3, argv + argc);

    File wav(input, File::Mode::ReadOnly);
    const WaveReading reading = readWaveHeader(wav);
    if (!reading.accepted) {
        std::fprintf(stderr, "bench_encode: %s\n", reading.problem.c_str());
        return 1;
    }
    const WaveLayout& layout = reading.layout;
    const int64_t dataSize = layout.dataEnd - layout.dataStart;
    std::printf("audio            %9.3f s\n",
                static_cast<double>(dataSize) / 4.0 / layout.sampleRate);

    YesUi ui;
    std::vector<uint8_t> block(kBlockSize);
    for (const Format& f : kFormats) {
        if (!wanted.empty() && std::find(wanted.begin(), wanted.end(), f.name) == wanted.end())
            continue;
        OutputOptions options;
        options.fileType = f.fileType;
        options.apeLevel = options.oggQuality = options.flacLevel = f.level;
        const std::string out = (outDir / (std::string(f.name) + "." + f.extension)).string();

        // Sinks write into a file the renderer has already created.
        std::ofstream(out, std::ios::binary | std::ios::trunc).close();
        const double cpu0 = cpuSeconds();
        const Clock::time_point t0 = Clock::now();
        std::unique_ptr<TrackSink> sink = makeTrackSink(options, out, ui);
        if (!sink->begin({layout.sampleRate, 0, dataSize}, {"Title", "Artist", "Album", "", 1, ""}))
            return 1;
        for (int64_t pos = layout.dataStart; pos < layout.dataEnd;) {
            const auto n = static_cast<size_t>(std::min<int64_t>(kBlockSize, layout.dataEnd - pos));
            wav.readExactly(pos, block.data(), n);
            sink->write(block.data(), n);
            pos += static_cast<int64_t>(n);
        }
        if (!sink->finish()) return 1;
        const double seconds = secondsSince(t0);
        std::printf("%-16s %9.3f s %9.3f cpu %12ju bytes\n", f.name, seconds, cpuSeconds() - cpu0,
                    static_cast<uintmax_t>(fs::file_size(out)));
    }
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("peak memory      %9.1f MB (max RSS)\n",
                static_cast<double>(usage.ru_maxrss) / 1024.0);
    return ui.messages.empty() ? 0 : 1;
}
