#include "document/WaveStore.h"

#include <algorithm>
#include <cstring>

namespace tarnival {

namespace {
void readZeroFilled(const File& f, int64_t pos, void* buffer, size_t count) {
    size_t got = pos < 0 ? 0 : f.readAt(pos, buffer, count);
    if (got < count) std::memset(static_cast<char*>(buffer) + got, 0, count - got);
}
} // namespace

void WaveStore::readSource(int64_t pos, void* buffer, size_t count) const {
    readZeroFilled(source, pos, buffer, count);
}

void WaveStore::readWorking(int64_t pos, void* buffer, size_t count) const {
    readZeroFilled(working, pos, buffer, count);
}

void WaveStore::writeWorking(int64_t pos, const void* buffer, size_t count) {
    working.writeAt(pos, buffer, count);
}

void WaveStore::readSourceWithGains(int64_t pos, int16_t* samples, size_t bytes) const {
    readSource(pos, samples, bytes);
    applyGains(samples, bytes / 2);
}

void WaveStore::applyGains(int16_t* samples, size_t count) const {
    if (leftGain == 1.0f && rightGain == 1.0f) return;
    // Saturate rather than wrap: source peaks that corrections had removed can exceed the
    // working file's, and a wrapped sample is a full-scale click.
    auto scale = [](int16_t v, float gain) {
        float x = static_cast<float>(v) * gain;
        x = std::clamp(x, -32768.0f, 32767.0f);
        return static_cast<int16_t>(static_cast<int32_t>(x));
    };
    for (size_t i = 0; i + 1 < count; i += 2) {
        samples[i] = scale(samples[i], leftGain);
        samples[i + 1] = scale(samples[i + 1], rightGain);
    }
    if (count % 2) samples[count - 1] = scale(samples[count - 1], leftGain);
}

} // namespace tarnival
