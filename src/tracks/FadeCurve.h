#pragma once
#include <cmath>
#include <cstdint>

namespace tarnival {

// The logarithmic fade reaches this gain (-60 dB) at its silent end.
constexpr double kLogFadeFloor = 0.001;

// Gain of a fade at fraction x of its length away from full level (0: full level, 1: the silent
// end): a straight line, or a logarithmic curve that sounds even to the ear.
inline double fadeGain(double x, bool linear) {
    return linear ? 1.0 - x : std::pow(kLogFadeFloor, x);
}

// One 16-bit sample scaled by a gain, truncated toward zero.
inline int16_t scaleSample(int16_t value, double gain) {
    return static_cast<int16_t>(static_cast<int32_t>(gain * value));
}

} // namespace tarnival
