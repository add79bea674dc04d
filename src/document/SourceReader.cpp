#include "document/SourceReader.h"
#include "document/ApeDecoder.h"

#include <algorithm>
#include <vector>

namespace tarnival {

namespace {
constexpr int64_t kDecodeFrames = 65536;
}

bool ApeSourceReader::decodeUpTo(int64_t end) {
    end = std::min<int64_t>(end, layout_.dataEnd);
    if (decodedEnd_ >= end) return true;
    if (damaged_) return false;
    std::vector<int16_t> frames(static_cast<size_t>(kDecodeFrames) * 2);
    int64_t first = (decodedEnd_ - layout_.dataStart) / 4;
    if (!decoder_.seek(first)) {
        damaged_ = first;
        return false;
    }
    while (decodedEnd_ < end) {
        int64_t want = std::min<int64_t>(kDecodeFrames, (end - decodedEnd_ + 3) / 4);
        int64_t got = decoder_.read(frames.data(), want);
        got = std::max<int64_t>(got, 0);
        decoded_.writeAt(decodedEnd_, frames.data(), static_cast<size_t>(got) * 4);
        decodedEnd_ += got * 4;
        // A damaged frame must not turn into silence without a word.
        if (got != want) {
            damaged_ = (decodedEnd_ - layout_.dataStart) / 4;
            return false;
        }
    }
    return true;
}

size_t ApeSourceReader::read(int64_t pos, void* buffer, size_t count) {
    int64_t end = pos + static_cast<int64_t>(count);
    decodeUpTo(end);
    // Only what has been decoded (and the header written when the file was made) is delivered.
    int64_t available = std::min<int64_t>(end, std::max<int64_t>(decodedEnd_, layout_.dataStart));
    if (decodedEnd_ >= layout_.dataEnd) available = end;
    if (available <= pos) return 0;
    return decoded_.readAt(pos, buffer, static_cast<size_t>(available - pos));
}

} // namespace tarnival
