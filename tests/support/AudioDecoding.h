#pragma once
#include "support/Signals.h"

#include <map>
#include <string>

namespace tarnival::test {

// What a decoder made of a file.
struct DecodedAudio {
    std::string error; // empty when the whole file decoded
    int rate = 0;
    int channels = 0;
    Stereo samples; // interleaved 16-bit
    std::map<std::string, std::string> tags;
};

// An APE file through our FFmpeg-based decoder, which checks every frame's CRC.
DecodedAudio decodeApe(const std::string& path);
// An APE file through the Java decoder of libjmac-java; scratchWav is where it writes.
DecodedAudio decodeApeWithJava(const std::string& path, const std::string& scratchWav);
// Any file FFmpeg reads (Ogg Vorbis here); float output is scaled to 16 bits and rounded. Tags
// are those of the container and of the audio stream.
DecodedAudio decodeWithFfmpeg(const std::string& path);
// A FLAC file through libFLAC's stream decoder, with its MD5 check; tags are its Vorbis comments.
DecodedAudio decodeFlac(const std::string& path);

// Bytes of interleaved 16-bit samples, as a sink receives them.
std::vector<uint8_t> pcmBytes(const Stereo& samples);

} // namespace tarnival::test
