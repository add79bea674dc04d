#pragma once
#include "document/WaveStore.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace tarnival {

class File;

// The largest file the document takes (0x7FFF0000 bytes): positions are 32-bit.
constexpr int64_t kMaxFileLength = 2147418112;

// ---- Writing --------------------------------------------------------------------------------

constexpr size_t kMaxWaveHeader = 46;

// What a written wave header describes.
struct WaveFormat {
    int sampleRate = 44100;
    int alignment = 0;    // data offset modulo 4 the audio must keep: 0 or 2
    int64_t dataSize = 0; // bytes of audio that follow the header
};

// A 44-byte RIFF header, or 46 bytes with an empty format extension when the alignment is 2,
// so that the samples keep their offset modulo 4. Any rate but 48000 is written as 44100.
// Returns the header length.
size_t buildWaveHeader(const WaveFormat& format, std::array<uint8_t, kMaxWaveHeader>& header);

// The largest data size a RIFF header can describe for the given alignment.
int64_t maxWaveDataSize(int alignment);

// ---- Reading --------------------------------------------------------------------------------

// The chunks of a wave file as the document reads them.
struct WaveReading {
    bool accepted = false;
    // Why the file was refused, in a sentence for the user; empty when accepted.
    std::string problem;
    // Accepted, but longer than the document can hold.
    bool tooLong = false;
    // Accepted after reading a data chunk whose length could not be right (missing, or running
    // past the end of the file); says what was done. Empty otherwise.
    std::string repair;
    WaveLayout layout;
};

// Walks the RIFF chunks of an open file: 16-bit stereo PCM at 44100 or 48000 Hz, a format
// chunk of 16 or 18 bytes, any chunks before the data chunk and any after it. Never reads more
// than a few bytes at a time, whatever the chunk lengths claim.
WaveReading readWaveHeader(const File& file);

} // namespace tarnival
