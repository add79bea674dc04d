#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace tarnival {

class File;

// The compression levels offered, in the order of the "Ape Level" index (Fast, Normal, High,
// Extra High).
constexpr std::array<int, 4> kApeLevels = {1000, 2000, 3000, 4000};
// The level for a stored index; an index outside the table gives the default level (High).
int apeLevelForIndex(int index);

// The filters use the processor's vector instructions when it has them; false forces the plain
// code (the output is the same either way; tests compare the two).
void apeUseVectorInstructions(bool allowed);

// Stereo sample pairs in every frame but the last, at every level.
constexpr int64_t kApeBlocksPerFrame = 294912;
// The most sample pairs one file takes (4 GiB of PCM). Its offsets are 32-bit: finish() fails
// when the compressed audio does not fit them.
constexpr int64_t kApeMaxBlocks = (int64_t{1} << 30) - 1;

// An APE tag of version 1.0: the items in the order given (key, value), then the footer. Keys
// must be 2 to 255 printable ASCII characters.
std::vector<uint8_t> buildApeTag(const std::vector<std::pair<std::string, std::string>>& items);

// Writes a Monkey's Audio file of format version 3.97 (16-bit stereo) into an open, empty file.
// The PCM is compressed frame by frame as it arrives, so memory does not grow with the length;
// the number of sample pairs must be known at the start because the header and the seek table
// come before the audio.
class ApeEncoder {
  public:
    // Writes the header for totalBlocks sample pairs (1..kApeMaxBlocks) at `level` (one of
    // kApeLevels); throws std::invalid_argument for values outside those, FileError on a write
    // failure.
    ApeEncoder(File& file, int sampleRate, int level, int64_t totalBlocks);
    ~ApeEncoder();
    ApeEncoder(const ApeEncoder&) = delete;
    ApeEncoder& operator=(const ApeEncoder&) = delete;

    // Interleaved 16-bit little-endian stereo bytes, split anywhere. Bytes beyond the promised
    // total are not encoded (finish then fails).
    void add(const uint8_t* bytes, size_t count);
    // Encodes the rest (an incomplete last pair is completed with a zero sample), appends
    // `tag` and completes the header. Returns false, leaving an unusable file, when the audio
    // received was not the promised number of sample pairs, or the file outgrew 32-bit offsets.
    bool finish(const std::vector<uint8_t>& tag);

    int64_t blocksReceived() const;

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace tarnival
