#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace tarnival::synth {

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
// The value a click adds at frame f of its width: a decaying impulse that alternates in sign,
// the odd frames scaled by alternate.
double clickValue(double amplitude, int f, int widthFrames, double alternate);
// Adds a click (a decaying alternating impulse) and returns it.
void addClick(Stereo& a, const Click& c);
// Scatters n clicks of varied width and size in [fromFrame, toFrame); returns them sorted.
std::vector<Click> addClicks(Stereo& a, int n, int fromFrame, int toFrame, uint32_t seed = 3);

} // namespace tarnival::synth
