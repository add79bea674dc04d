#include "document/Overview.h"

#include <algorithm>
#include <cstdlib>

namespace tarnival {

ChunkOverview chunkOverview(const int16_t* samples, int sampleCount) {
    ChunkOverview out;
    int64_t absSum = 0;
    int64_t balance = 0;
    int32_t minV[2] = {0, 0}, maxV[2] = {0, 0};
    int64_t partial[2][2] = {{0, 0}, {0, 0}};
    int turns[2] = {0, 0};
    bool positive[2] = {sampleCount > 0 && samples[0] > 0, sampleCount > 1 && samples[1] > 0};
    for (int i = 0; i < sampleCount; ++i) {
        int ch = i & 1;
        int32_t v = samples[i];
        absSum += std::abs(v);
        balance += ch ? std::abs(v) : -std::abs(v);
        minV[ch] = std::min(minV[ch], v);
        maxV[ch] = std::max(maxV[ch], v);
        if (positive[ch] ? v < -20 : v > 20) {
            positive[ch] = !positive[ch];
            ++turns[ch];
        }
        if (turns[ch] < 2) partial[ch][turns[ch]] += v;
    }
    int64_t level = absSum;
    for (auto& ch : partial)
        for (int64_t p : ch) level -= p < 0 ? -p : p;
    out.level = static_cast<int32_t>(level);
    out.envelope = {static_cast<int8_t>(minV[0] / 256), static_cast<int8_t>(maxV[0] / 256),
                    static_cast<int8_t>(minV[1] / 256), static_cast<int8_t>(maxV[1] / 256)};
    out.levelSum = static_cast<double>(absSum);
    out.balanceSum = static_cast<double>(balance);
    return out;
}

} // namespace tarnival
