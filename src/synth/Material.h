#pragma once
#include "synth/Signals.h"

#include <cstdint>
#include <vector>

namespace tarnival::synth {

// Kinds of music-like material that stress click repair differently: steady tones are easy to
// predict, plucked notes and drums start abruptly (onsets that look like clicks), speech mixes
// voiced formants, noisy fricatives and pauses.
enum class Material { Sustained, Plucked, Drums, Speech };
constexpr Material kMaterials[] = {Material::Sustained, Material::Plucked, Material::Drums,
                                   Material::Speech};
const char* materialName(Material kind);

// frames of stereo material at the rate, with light surface hiss (RMS 12) in both channels.
Stereo material(Material kind, int frames, int rate = 44100, uint32_t seed = 1);

// Click shapes. Impulse: the decaying alternating impulse of addClick. Pulse: one polarity, an
// abrupt rise and an exponential fall, as a dust particle gives.
enum class ClickShape { Impulse, Pulse };

struct ShapedClick {
    int frame = 0; // first frame
    int widthFrames = 1;
    int amplitude = 0; // signed peak
    bool left = true, right = true;
    ClickShape shape = ClickShape::Impulse;
};

// The value the click adds at frame f of its width (left channel; the right gets 0.9 of it).
double shapedClickValue(const ShapedClick& c, int f);
void addShapedClick(Stereo& a, const ShapedClick& c);

// n clicks in [fromFrame, toFrame), at least minGap frames apart, widths uniform in
// [minWidth, maxWidth], peaks log-uniform in [minPeak, maxPeak] with random sign, on both
// channels (60 %) or one, shapes alternating at random. Added to a; returned sorted.
struct ClickPlan {
    int count = 0;
    int fromFrame = 0, toFrame = 0;
    int minGap = 2000;
    int minWidth = 1, maxWidth = 8;
    int minPeak = 800, maxPeak = 20000;
};
std::vector<ShapedClick> addShapedClicks(Stereo& a, const ClickPlan& plan, uint32_t seed);

} // namespace tarnival::synth
