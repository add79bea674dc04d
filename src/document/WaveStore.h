#pragma once
#include "document/File.h"

#include <cstddef>
#include <cstdint>

namespace tarnival {

constexpr int32_t kBlockSize = 262144; // bytes: the unit of streaming, scanning and filtering
constexpr int32_t kChunkSize = 4096;   // bytes: the unit of the overview data
constexpr int32_t kSectorSize = 2352;  // bytes: one CD sector, the unit of track boundaries
constexpr int32_t kEdgeGuard = 20480;  // no correction closer than this to either end of data

// Where the audio sits in the file. Both files share this layout.
struct WaveLayout {
    int32_t dataStart = 0;
    int32_t dataEnd = 0;
    int32_t trailingLength = 0;
    int32_t frameRemainder = 0;
    int32_t firstCorrectable = 0;
    int32_t lastCorrectable = 0;
    int64_t fileLength = 0;
    int sampleRate = 44100;

    int32_t dataLength() const { return dataEnd - dataStart; }
    // Brings a position down to a whole frame.
    int32_t toFrame(int32_t position) const { return frameRemainder + position / 4 * 4; }
};

// The two files of the open document: the read-only source (the original audio) and the
// working copy that corrections and filters rewrite in place.
class WaveStore {
  public:
    File source;
    File working;
    WaveLayout layout;
    float leftGain = 1.0f;
    float rightGain = 1.0f;

    // Reads count bytes at pos; bytes past the end of the file read as zero.
    void readSource(int64_t pos, void* buffer, size_t count) const;
    void readWorking(int64_t pos, void* buffer, size_t count) const;
    void writeWorking(int64_t pos, const void* buffer, size_t count);
    // Source audio with the channel gains applied: what "the original" means for restores.
    // pos must be a frame position.
    void readSourceWithGains(int64_t pos, int16_t* samples, size_t bytes) const;

    // Multiplies left samples by leftGain and right by rightGain, truncating toward zero and
    // saturating at 16 bits. samples[0] is a left sample. Nothing happens when both gains are
    // exactly 1.
    void applyGains(int16_t* samples, size_t count) const;
};

} // namespace tarnival
