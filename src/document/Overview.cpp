#include "document/Overview.h"

#include <algorithm>
#include <cstdlib>

namespace tarnival {

namespace {

struct ChannelSums {
    int64_t absSum = 0;
    int32_t minV = 0;
    int32_t maxV = 0;
    int64_t halfWaves = 0; // |first half-wave sum| + |second half-wave sum|
};

// One channel of interleaved samples (stride 2); kept apart so the loop stays branch-light.
ChannelSums channelSums(const int16_t* samples, int count) {
    ChannelSums c;
    int64_t partial[2] = {0, 0};
    int turns = 0;
    bool positive = count > 0 && samples[0] > 0;
    for (int i = 0; i < count; ++i) {
        int32_t v = samples[2 * i];
        c.absSum += std::abs(v);
        c.minV = std::min(c.minV, v);
        c.maxV = std::max(c.maxV, v);
        if (turns < 2) {
            if (positive ? v < -20 : v > 20) {
                positive = !positive;
                ++turns;
            }
            if (turns < 2) partial[turns] += v;
        }
    }
    c.halfWaves = std::llabs(partial[0]) + std::llabs(partial[1]);
    return c;
}

} // namespace

ChunkOverview chunkOverview(const int16_t* samples, int sampleCount) {
    ChannelSums l = channelSums(samples, (sampleCount + 1) / 2);
    ChannelSums r = channelSums(samples + 1, sampleCount / 2);
    ChunkOverview out;
    out.level = static_cast<int32_t>(l.absSum + r.absSum - l.halfWaves - r.halfWaves);
    out.envelope = {static_cast<int8_t>(l.minV / 256), static_cast<int8_t>(l.maxV / 256),
                    static_cast<int8_t>(r.minV / 256), static_cast<int8_t>(r.maxV / 256)};
    out.levelSum = static_cast<double>(l.absSum + r.absSum);
    out.balanceSum = static_cast<double>(r.absSum - l.absSum);
    return out;
}

void OverviewData::addBlock(int64_t blockStart, const int16_t* samples, int sampleCount) {
    const int64_t chunk0 = blockStart / 4096;
    for (int c = 0; c * 2048 < sampleCount; ++c) {
        auto index = static_cast<size_t>(chunk0 + c);
        if (index >= chunkLevels.size()) break;
        ChunkOverview o = chunkOverview(samples + c * 2048, std::min(2048, sampleCount - c * 2048));
        chunkLevels[index] = o.level;
        chunkEnvelope[index] = o.envelope;
        levelSum += o.levelSum;
        balanceSum += o.balanceSum;
    }
}

} // namespace tarnival
