#include "support/CorrectionSupport.h"
#include "document/Bytes.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <stdexcept>

namespace tarnival::test {

namespace {
uint32_t le32(const std::vector<uint8_t>& b, size_t at) {
    return readLe32(&b[at]);
}

bool isId(const std::vector<uint8_t>& b, size_t at, const char* id) {
    for (int i = 0; i < 4; ++i)
        if (std::toupper(b[at + static_cast<size_t>(i)]) != id[i]) return false;
    return true;
}

std::vector<uint8_t> wholeFile(const File& f) {
    std::vector<uint8_t> bytes(static_cast<size_t>(f.length()));
    f.readExactly(0, bytes.data(), bytes.size());
    return bytes;
}
} // namespace

void openStore(WaveStore& store, const TempDir& dir, const Stereo& samples,
               const WavOptions& options, float leftGain, float rightGain) {
    std::vector<uint8_t> image = wavBytes(samples, options);
    size_t at = 12;
    while (at + 8 <= image.size() && !isId(image, at, "DATA")) at += 8 + le32(image, at + 4);
    if (at + 8 > image.size()) throw std::runtime_error("test wave has no data chunk");

    WaveLayout& lay = store.layout;
    lay.dataStart = static_cast<int32_t>(at + 8);
    lay.dataEnd = lay.dataStart + static_cast<int32_t>(le32(image, at + 4));
    lay.fileLength = static_cast<int64_t>(image.size());
    lay.trailingLength = static_cast<int32_t>(lay.fileLength - lay.dataEnd);
    lay.frameRemainder = lay.dataStart % 4;
    lay.firstCorrectable = lay.dataStart + kEdgeGuard;
    lay.lastCorrectable = lay.dataEnd - kEdgeGuard;
    lay.sampleRate = options.rate;
    store.leftGain = leftGain;
    store.rightGain = rightGain;

    writeFile(dir.file("source.wav"), image);
    auto* data = reinterpret_cast<int16_t*>(image.data() + lay.dataStart);
    store.applyGains(data, static_cast<size_t>(lay.dataLength() / 2));
    writeFile(dir.file("work~.wav"), image);
    store.source.open(dir.file("source.wav"), File::Mode::ReadOnly);
    store.working.open(dir.file("work~.wav"), File::Mode::ReadWrite);
}

std::vector<uint8_t> workingBytes(const WaveStore& store) {
    return wholeFile(store.working);
}
std::vector<uint8_t> sourceBytes(const WaveStore& store) {
    return wholeFile(store.source);
}

std::vector<uint8_t> gainedSourceBytes(const WaveStore& store) {
    std::vector<uint8_t> bytes = sourceBytes(store);
    auto* data = reinterpret_cast<int16_t*>(bytes.data() + store.layout.dataStart);
    store.applyGains(data, static_cast<size_t>(store.layout.dataLength() / 2));
    return bytes;
}

void setWorkingBytes(WaveStore& store, const std::vector<uint8_t>& bytes) {
    store.working.writeAt(0, bytes.data(), bytes.size());
}

int16_t workingSample(const WaveStore& store, int frame, int channel) {
    int16_t v = 0;
    store.working.readExactly(framePosition(store, frame) + 2 * channel, &v, 2);
    return v;
}

std::vector<int> changedFrames(const WaveStore& store, const std::vector<uint8_t>& before,
                               const std::vector<uint8_t>& after) {
    if (before.size() != after.size()) throw std::runtime_error("images differ in length");
    std::vector<int> frames;
    const int64_t start = store.layout.dataStart;
    for (size_t i = 0; i < before.size(); ++i) {
        if (before[i] == after[i]) continue;
        int frame = static_cast<int>((static_cast<int64_t>(i) - start) / 4);
        if (static_cast<int64_t>(i) < start) frame = -1 - static_cast<int>((start - 1 - i) / 4);
        if (frames.empty() || frames.back() != frame) frames.push_back(frame);
    }
    return frames;
}

} // namespace tarnival::test
