#include "output/TrackSink.h"
#include "output/TrackWriter.h"

#include <cstring>
#include <limits>

namespace tarnival {

namespace {
void put16(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}
void put32(uint8_t* p, uint32_t v) {
    put16(p, v & 0xFFFF);
    put16(p + 2, v >> 16);
}
} // namespace

int64_t maxWaveDataSize(int alignment) {
    return int64_t{std::numeric_limits<uint32_t>::max()} - 36 - alignment;
}

size_t buildWaveHeader(const TrackFormat& format, std::array<uint8_t, kMaxWaveHeader>& header) {
    const uint32_t align = format.alignment == 2 ? 2 : 0;
    const bool rate48 = format.sampleRate == 48000;
    const auto size = static_cast<uint32_t>(format.dataSize);
    uint8_t* h = header.data();
    std::memcpy(h, "RIFF", 4);
    put32(h + 4, size + 36 + align);
    std::memcpy(h + 8, "WAVEfmt ", 8);
    put32(h + 16, 16 + align);
    put16(h + 20, 1);
    put16(h + 22, 2);
    put32(h + 24, rate48 ? 48000 : 44100);
    put32(h + 28, rate48 ? 192000 : 176400);
    put16(h + 32, 4);
    put16(h + 34, 16);
    if (align) put16(h + 36, 0);
    std::memcpy(h + 36 + align, "data", 4);
    put32(h + 40 + align, size);
    return 44 + align;
}

WaveSink::~WaveSink() {
    file_.close();
}

bool WaveSink::begin(const TrackFormat& format, const TrackTags&) {
    std::array<uint8_t, kMaxWaveHeader> header{};
    size_t length = buildWaveHeader(format, header);
    file_.open(path_, File::Mode::Create);
    file_.writeAt(0, header.data(), length);
    offset_ = static_cast<int64_t>(length);
    return true;
}

void WaveSink::write(const uint8_t* bytes, size_t count) {
    file_.writeAt(offset_, bytes, count);
    offset_ += static_cast<int64_t>(count);
}

bool WaveSink::finish() {
    file_.close();
    return true;
}

void WaveSink::abandon() noexcept {
    bool created = file_.isOpen();
    file_.close();
    if (created) removeFile(path_);
}

std::unique_ptr<TrackSink> makeTrackSink(const OutputOptions& options, const std::string& path,
                                         UserInterface&) {
    if (options.fileType == ids::kFileWave) return std::make_unique<WaveSink>(path);
    return nullptr;
}

} // namespace tarnival
