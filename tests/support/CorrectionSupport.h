#pragma once
#include "document/WaveStore.h"
#include "support/Signals.h"
#include "support/TempDir.h"

#include <cstdint>
#include <string>
#include <vector>

namespace tarnival::test {

// Writes samples as source.wav in dir, copies it to work~.wav (through the store's gains, as a
// load does), opens both in store and fills its layout from the file's chunks.
void openStore(WaveStore& store, const TempDir& dir, const Stereo& samples,
               const WavOptions& options = {}, float leftGain = 1.0f, float rightGain = 1.0f);

// The whole working or source file.
std::vector<uint8_t> workingBytes(const WaveStore& store);
std::vector<uint8_t> sourceBytes(const WaveStore& store);
// The source file as the working file would hold it with the store's gains applied.
std::vector<uint8_t> gainedSourceBytes(const WaveStore& store);
// Overwrites the working file with bytes (e.g. to go back to a snapshot).
void setWorkingBytes(WaveStore& store, const std::vector<uint8_t>& bytes);

// One sample of the working file: frame relative to the data start, channel 0 left, 1 right.
int16_t workingSample(const WaveStore& store, int frame, int channel);
// Byte position of a frame.
inline int32_t framePosition(const WaveStore& store, int frame) {
    return store.layout.dataStart + 4 * frame;
}

// Frames (relative to the data start) in which two file images differ; the images must be the
// same length.
std::vector<int> changedFrames(const WaveStore& store, const std::vector<uint8_t>& before,
                               const std::vector<uint8_t>& after);

} // namespace tarnival::test
