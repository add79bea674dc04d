#pragma once
#include "tracks/SpliceList.h"

#include <cstdint>

namespace tarnival {

class WaveStore;

// Reads the recording as it sounds after the cuts: source positions in order, every cut section
// stepped over and the bytes before it replaced by the splice's cross-fade. The track writer
// and playback both read through this, so a cut sounds the same in both.
class SplicedReader {
  public:
    enum class Stream { Original, Corrected };

    // One stretch handed out by read(): where it sits in the source and whether it came from a
    // cross-fade (then sourcePos is the position of the bytes it replaces).
    struct Piece {
        int64_t bytes = 0;
        int64_t sourcePos = 0;
        bool crossFade = false;
    };

    SplicedReader(const WaveStore& store, const SpliceList& splices, Stream stream);

    // Next read starts at source position s; a position inside a cut resumes after the cut.
    void seek(int64_t s);
    int64_t position() const { return pos_; }

    // Reads at most max bytes, never reaching end (a source position) and never across the
    // edge of a cross-fade. Returns a piece of 0 bytes at the end. Bytes outside the data chunk
    // read as silence so that a damaged range cannot leak header or trailing bytes.
    Piece read(uint8_t* buffer, int64_t max, int64_t end);

  private:
    int firstSpliceAfter(int64_t s) const;

    const WaveStore& store_;
    const SpliceList& splices_;
    Stream stream_;
    int64_t pos_ = 0;
    int next_ = 0;
};

} // namespace tarnival
