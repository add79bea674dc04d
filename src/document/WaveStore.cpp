#include "document/WaveStore.h"

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
    for (size_t i = 0; i + 1 < count; i += 2) {
        // Wrap rather than clip: the gains only ever come from a measured peak.
        samples[i] = static_cast<int16_t>(static_cast<int32_t>(samples[i] * leftGain));
        samples[i + 1] = static_cast<int16_t>(static_cast<int32_t>(samples[i + 1] * rightGain));
    }
    if (count % 2)
        samples[count - 1] =
            static_cast<int16_t>(static_cast<int32_t>(samples[count - 1] * leftGain));
}

} // namespace tarnival
