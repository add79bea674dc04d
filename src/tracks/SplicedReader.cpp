#include "tracks/SplicedReader.h"
#include "document/WaveStore.h"

#include <algorithm>
#include <cstring>

namespace tarnival {

SplicedReader::SplicedReader(const WaveStore& store, const SpliceList& splices, Stream stream)
    : store_(store), splices_(splices), stream_(stream) {
    seek(0);
}

int SplicedReader::firstSpliceAfter(int64_t s) const {
    for (int i = 0; i < splices_.count(); ++i)
        if (splices_.splices[static_cast<size_t>(i)].cutStart > s) return i;
    return splices_.count();
}

void SplicedReader::seek(int64_t s) {
    pos_ = s;
    next_ = firstSpliceAfter(s);
    // A position past a cut start but before its resume point lies inside the cut.
    int before = next_ - 1;
    if (before >= 0) {
        const Splice& splice = splices_.splices[static_cast<size_t>(before)];
        if (pos_ < spliceResume(splice)) {
            pos_ = spliceResume(splice);
            next_ = firstSpliceAfter(pos_);
        }
    }
}

SplicedReader::Piece SplicedReader::read(uint8_t* buffer, int64_t max, int64_t end) {
    // Past a cross-fade: resume after the cut. max() keeps a damaged record (cut end before its
    // start) from sending the read position backwards forever.
    while (next_ < splices_.count() &&
           pos_ >= splices_.splices[static_cast<size_t>(next_)].cutStart) {
        pos_ = std::max(pos_, spliceResume(splices_.splices[static_cast<size_t>(next_)]));
        next_ = firstSpliceAfter(pos_);
    }
    Piece piece;
    piece.sourcePos = pos_;
    if (pos_ >= end || max < 1) return piece;

    int64_t n;
    if (next_ < splices_.count()) {
        const Splice& splice = splices_.splices[static_cast<size_t>(next_)];
        const int64_t fadeStart = int64_t{splice.cutStart} - splice.crossFade;
        if (pos_ < fadeStart) {
            n = std::min(std::min(fadeStart, end) - pos_, max);
        } else {
            // Inside the cross-fade: the half of the splice's bytes made from this stream.
            n = std::min(std::min<int64_t>(splice.cutStart, end) - pos_, max);
            const int64_t half = stream_ == Stream::Corrected ? splice.crossFade : 0;
            const int64_t from = half + (pos_ - fadeStart);
            const auto have = static_cast<int64_t>(splice.fadeBytes.size());
            for (int64_t j = 0; j < n; ++j)
                buffer[j] =
                    from + j < have ? splice.fadeBytes[static_cast<size_t>(from + j)] : uint8_t{0};
            piece.bytes = n;
            piece.crossFade = true;
            pos_ += n;
            return piece;
        }
    } else {
        n = std::min(end - pos_, max);
    }

    std::memset(buffer, 0, static_cast<size_t>(n));
    const int64_t from = std::max<int64_t>(pos_, store_.layout.dataStart);
    const int64_t to = std::min<int64_t>(pos_ + n, store_.layout.dataEnd);
    if (from < to) {
        uint8_t* into = buffer + (from - pos_);
        if (stream_ == Stream::Corrected)
            store_.readWorking(from, into, static_cast<size_t>(to - from));
        else
            store_.readSource(from, into, static_cast<size_t>(to - from));
    }
    piece.bytes = n;
    pos_ += n;
    return piece;
}

} // namespace tarnival
