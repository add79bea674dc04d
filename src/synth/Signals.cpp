#include "synth/Signals.h"

#include <algorithm>
#include <cmath>
#include <random>

namespace tarnival::synth {

namespace {
int16_t sat(double v) {
    return static_cast<int16_t>(std::clamp(v, -32768.0, 32767.0));
}
} // namespace

Stereo music(int frames, int rate, uint32_t seed, double level) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> u(0.0, 1.0);
    const int partials = 6;
    double freq[2][partials], amp[2][partials], phase[2][partials];
    for (int ch = 0; ch < 2; ++ch)
        for (int p = 0; p < partials; ++p) {
            freq[ch][p] = 110.0 * std::pow(2.0, std::floor(u(rng) * 36) / 12.0);
            amp[ch][p] = (0.3 + 0.7 * u(rng)) / (p + 1);
            phase[ch][p] = u(rng) * 6.283185307179586;
        }
    Stereo out(static_cast<size_t>(frames) * 2);
    const double tau = 6.283185307179586;
    for (int i = 0; i < frames; ++i) {
        double t = static_cast<double>(i) / rate;
        double env = 0.6 + 0.4 * std::sin(tau * 0.3 * t);
        for (int ch = 0; ch < 2; ++ch) {
            double v = 0;
            for (int p = 0; p < partials; ++p)
                v += amp[ch][p] *
                     std::sin(phase[ch][p] + tau * freq[ch][p] * t * (1.0 + 0.002 * std::sin(t)));
            out[static_cast<size_t>(i) * 2 + static_cast<size_t>(ch)] = sat(level * env * v / 1.5);
        }
    }
    return out;
}

Stereo silence(int frames) {
    return Stereo(static_cast<size_t>(frames) * 2, 0);
}

Stereo hiss(int frames, double rms, uint32_t seed) {
    std::mt19937 rng(seed);
    std::normal_distribution<double> n(0.0, rms);
    Stereo out(static_cast<size_t>(frames) * 2);
    for (auto& s : out) s = sat(n(rng));
    return out;
}

void mix(Stereo& a, const Stereo& b, int atFrame) {
    size_t off = static_cast<size_t>(atFrame) * 2;
    for (size_t i = 0; i < b.size() && off + i < a.size(); ++i)
        a[off + i] = sat(static_cast<double>(a[off + i]) + b[i]);
}

void append(Stereo& a, const Stereo& b) {
    a.insert(a.end(), b.begin(), b.end());
}

double clickValue(double amplitude, int f, int widthFrames, double alternate) {
    double decay = 1.0 - static_cast<double>(f) / std::max(widthFrames, 1);
    return amplitude * decay * ((f % 2) ? -alternate : 1.0);
}

void addClick(Stereo& a, const Click& c) {
    for (int f = 0; f < c.widthFrames; ++f) {
        size_t i = static_cast<size_t>(c.frame + f) * 2;
        if (i + 1 >= a.size()) break;
        double v = clickValue(c.amplitude, f, c.widthFrames, 0.7);
        if (c.left) a[i] = sat(a[i] + v);
        if (c.right) a[i + 1] = sat(a[i + 1] + v * 0.9);
    }
}

std::vector<Click> addClicks(Stereo& a, int n, int fromFrame, int toFrame, uint32_t seed) {
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> where(fromFrame, std::max(fromFrame, toFrame - 64));
    std::uniform_int_distribution<int> width(1, 24);
    std::uniform_int_distribution<int> amp(3000, 20000);
    std::vector<Click> clicks;
    for (int i = 0; i < n; ++i) {
        Click c{where(rng), width(rng), amp(rng) * ((i % 2) ? -1 : 1)};
        addClick(a, c);
        clicks.push_back(c);
    }
    std::sort(clicks.begin(), clicks.end(), [](auto& x, auto& y) { return x.frame < y.frame; });
    return clicks;
}

} // namespace tarnival::synth
