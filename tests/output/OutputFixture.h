#pragma once
#include "document/WaveStore.h"
#include "output/SaveTracks.h"
#include "support/ScriptedUi.h"
#include "support/Signals.h"
#include "support/TempDir.h"
#include "tracks/SpliceList.h"
#include "tracks/TrackList.h"

#include <cstdint>
#include <string>
#include <vector>

namespace tarnival::test {

// A RIFF WAVE file read back strictly: every chunk accounted for, sizes consistent.
struct ParsedWave {
    uint32_t fmtLength = 0;
    uint16_t format = 0, channels = 0, blockAlign = 0, bits = 0;
    uint32_t rate = 0, byteRate = 0;
    uint16_t extension = 0xFFFF; // the 16-bit extension size of an 18-byte format chunk
    size_t dataOffset = 0;
    uint32_t dataSize = 0;
    uint32_t riffSize = 0;
    std::vector<uint8_t> data;
};
// Fails the current test (and returns false) when the bytes are not a valid wave file.
bool parseWave(const std::vector<uint8_t>& file, ParsedWave& out);
ParsedWave readWave(const std::string& path);

inline int16_t sampleAt(const std::vector<uint8_t>& bytes, size_t sampleIndex) {
    return static_cast<int16_t>(bytes[2 * sampleIndex] | (bytes[2 * sampleIndex + 1] << 8));
}

// An opened recording: a source file, and a working file whose audio differs from it (the
// source inverted) so that reading the wrong file shows.
struct Recording {
    TempDir dir;
    std::string inputPath;
    std::string workingPath;
    WaveStore store;
    TrackList tracks;
    SpliceList splices;
    ScriptedUi ui;
    Stereo working; // the working file's samples

    explicit Recording(const Stereo& samples, int rate = 44100, int fmtLength = 16);
    // The working file's bytes at [from, to) (source positions).
    std::vector<uint8_t> workingBytes(int64_t from, int64_t to) const;
    OutputContext context(OutputOptions options = {});
    // Appends a track with the given display range and lengths.
    Track& addTrack(int32_t start, int32_t end, int32_t fadeIn = 0, int32_t fadeOut = 0,
                    int32_t pre = 0, int32_t post = 0, const std::string& title = "");
};

// n stereo frames of one constant value per channel.
Stereo constant(int frames, int16_t left, int16_t right);

} // namespace tarnival::test
