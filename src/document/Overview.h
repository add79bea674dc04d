#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace tarnival {

// Overview data of one 4096-byte chunk (up to 2048 interleaved samples).
struct ChunkOverview {
    int32_t level = 0;                // loudness with the slow half-wave swing taken out
    std::array<int8_t, 4> envelope{}; // min L, max L, min R, max R, each / 256
    double levelSum = 0;              // sum of |L| + |R|
    double balanceSum = 0;            // sum of |R| - |L|
};

// The chunk level is the sum of |L| + |R| less the magnitudes of each channel's first two
// half-wave sums (zero crossings counted with a +-20 hysteresis), so that low-frequency swings
// such as rumble count less than the music's detail.
ChunkOverview chunkOverview(const int16_t* samples, int sampleCount);

// The overview of a whole recording: one level and one envelope per 4096-byte chunk of the file,
// and the running sums over everything scanned.
struct OverviewData {
    std::vector<int32_t> chunkLevels;
    std::vector<std::array<int8_t, 4>> chunkEnvelope; // min L, max L, min R, max R (/256)
    double levelSum = 0;
    double balanceSum = 0;

    // file length / 4096 + 1 zeroed entries.
    void size(int64_t fileLength) {
        chunkLevels.assign(static_cast<size_t>(fileLength / 4096 + 1), 0);
        chunkEnvelope.assign(chunkLevels.size(), {0, 0, 0, 0});
        levelSum = balanceSum = 0;
    }
    void clear() {
        chunkLevels.clear();
        chunkEnvelope.clear();
        levelSum = balanceSum = 0;
    }
    // Adds the chunks of one block read at file position blockStart: samples 0 .. sampleCount.
    void addBlock(int64_t blockStart, const int16_t* samples, int sampleCount);
};

} // namespace tarnival
