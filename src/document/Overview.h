#pragma once
#include <array>
#include <cstdint>

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

} // namespace tarnival
