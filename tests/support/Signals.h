#pragma once
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace tarnival::test {

// Interleaved stereo 16-bit audio, left first.
using Stereo = std::vector<int16_t>;

// Music-like material: a few drifting partials with a slow envelope, different in each channel.
Stereo music(int frames, int rate = 44100, uint32_t seed = 1, double level = 6000.0);
Stereo silence(int frames);
// Gaussian-ish hiss at the given RMS.
Stereo hiss(int frames, double rms, uint32_t seed = 7);
// Adds b into a (saturating), b may be shorter.
void mix(Stereo& a, const Stereo& b, int atFrame = 0);
void append(Stereo& a, const Stereo& b);

struct Click {
    int frame; // first frame of the click
    int widthFrames;
    int amplitude; // peak added to the samples
    bool left = true, right = true;
};
// Adds a click (a decaying alternating impulse) and returns it.
void addClick(Stereo& a, const Click& c);
// Scatters n clicks of varied width and size in [fromFrame, toFrame); returns them sorted.
std::vector<Click> addClicks(Stereo& a, int n, int fromFrame, int toFrame, uint32_t seed = 3);

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
