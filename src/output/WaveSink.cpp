#include "output/WaveSink.h"

namespace tarnival {

WaveSink::~WaveSink() {
    file_.close();
}

bool WaveSink::begin(const TrackFormat& format, const TrackTags&) {
    std::array<uint8_t, kMaxWaveHeader> header{};
    size_t length = buildWaveHeader(format, header);
    file_.open(path_, File::Mode::ReadWrite);
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
    file_.close();
}

} // namespace tarnival
