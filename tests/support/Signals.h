#pragma once
#include "synth/Signals.h"

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace tarnival::test {

// The signal generators are shared with the demo.
using synth::addClick;
using synth::addClicks;
using synth::append;
using synth::Click;
using synth::hiss;
using synth::mix;
using synth::music;
using synth::silence;
using synth::Stereo;

// A whole RIFF WAVE file image.
struct WavOptions {
    int rate = 44100;
    bool lowerCaseIds = false;
    int fmtLength = 16; // 16 or 18 (or anything, for refusals)
    std::vector<std::pair<std::string, std::string>> chunksBeforeData; // id, payload
    std::vector<uint8_t> trailing;                                     // bytes after the data chunk
    int channels = 2;
    int bits = 16;
};
std::vector<uint8_t> wavBytes(const Stereo& samples, const WavOptions& options = {});
void writeFile(const std::string& path, const std::vector<uint8_t>& bytes);
std::vector<uint8_t> readFile(const std::string& path);
void writeWav(const std::string& path, const Stereo& samples, const WavOptions& options = {});

} // namespace tarnival::test
