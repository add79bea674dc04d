#include "synth/Material.h"

#include <algorithm>
#include <cmath>
#include <random>

namespace tarnival::synth {

namespace {

constexpr double kTau = 6.283185307179586;
constexpr double kHissRms = 12.0;

using Rng = std::mt19937;

double uniform(Rng& rng, double lo, double hi) {
    return std::uniform_real_distribution<double>(lo, hi)(rng);
}

int16_t sat(double v) {
    return static_cast<int16_t>(std::clamp(v, -32768.0, 32767.0));
}

struct Buffers {
    std::vector<double> l, r;
    explicit Buffers(int frames) : l(static_cast<size_t>(frames)), r(l.size()) {}
    int frames() const { return static_cast<int>(l.size()); }
};

// A few held chords of harmonic voices with vibrato; notes change legato (short cross-fades).
void sustained(Buffers& out, int rate, Rng& rng) {
    const int voices = 4, harmonics = 6;
    for (int v = 0; v < voices; ++v) {
        const double pan = uniform(rng, 0.25, 0.75);
        const double level = 3100.0 / (1 + 0.3 * v);
        double phase[harmonics] = {};
        double freq = 0, nextFreq = 0;
        int nextChange = 0;
        int glide = 0;
        const double vibratoRate = uniform(rng, 4.5, 6.0);
        for (int i = 0; i < out.frames(); ++i) {
            if (i == nextChange) {
                freq = nextFreq > 0 ? nextFreq
                                    : 110.0 * std::pow(2.0, std::floor(uniform(rng, 0, 30)) / 12.0);
                nextFreq = 110.0 * std::pow(2.0, std::floor(uniform(rng, 0, 30)) / 12.0);
                nextChange = i + static_cast<int>(uniform(rng, 0.8, 2.5) * rate);
                glide = 0;
            }
            // The last 30 ms before a change slide to the next note.
            const int toChange = nextChange - i;
            const int slide = rate * 3 / 100;
            double f = freq;
            if (toChange < slide) {
                ++glide;
                f = freq + (nextFreq - freq) * glide / slide;
            }
            const double t = static_cast<double>(i) / rate;
            f *= 1.0 + 0.003 * std::sin(kTau * vibratoRate * t);
            const double env = 0.7 + 0.3 * std::sin(kTau * 0.15 * t + v);
            double s = 0;
            for (int h = 0; h < harmonics; ++h) {
                phase[h] += kTau * f * (h + 1) / rate;
                if (phase[h] > kTau) phase[h] -= kTau;
                if (f * (h + 1) < rate / 2.2) s += std::sin(phase[h]) / std::pow(h + 1, 1.2);
            }
            out.l[static_cast<size_t>(i)] += level * env * s * (1 - pan) * 2;
            out.r[static_cast<size_t>(i)] += level * env * s * pan * 2;
        }
    }
}

// Plucked strings and piano-like notes: instant attacks with a short hammer noise, upper
// partials dying first, a little inharmonicity; several notes ringing together.
void plucked(Buffers& out, int rate, Rng& rng) {
    std::normal_distribution<double> noise(0.0, 1.0);
    int at = rate / 10;
    while (at < out.frames()) {
        const double f0 = 82.4 * std::pow(2.0, std::floor(uniform(rng, 0, 36)) / 12.0);
        const double level = uniform(rng, 2000.0, 6000.0);
        const double pan = uniform(rng, 0.2, 0.8);
        const double tau0 = uniform(rng, 0.2, 0.8);
        const int length = std::min(out.frames() - at, static_cast<int>(5 * tau0 * rate));
        const int attack = rate / 2000;
        for (int h = 1; h <= 12; ++h) {
            const double f = f0 * h * std::sqrt(1 + 0.0004 * h * h);
            if (f > rate / 2.2) break;
            const double a = level / std::pow(h, 1.1);
            const double decay = std::exp(-1.0 / ((tau0 / (1 + 0.4 * h)) * rate));
            const double step = kTau * f / rate;
            const double ph = uniform(rng, 0, kTau);
            double g = a;
            for (int n = 0; n < length; ++n, g *= decay) {
                // Half a millisecond from rest to full: sharp, but not a step.
                const double rise =
                    n < attack ? 0.5 - 0.5 * std::cos(3.141592653589793 * n / attack) : 1.0;
                const double s = rise * g * std::sin(ph + step * n);
                out.l[static_cast<size_t>(at + n)] += s * (1 - pan) * 2;
                out.r[static_cast<size_t>(at + n)] += s * pan * 2;
            }
        }
        // The hammer or plectrum: 3 ms of dull noise at the start.
        const int hammer = rate * 3 / 1000;
        double nl = 0, nr = 0;
        for (int n = 0; n < hammer && at + n < out.frames(); ++n) {
            const double e = level * 0.08 * std::sin(3.141592653589793 * n / hammer);
            nl = 0.7 * nl + 0.3 * noise(rng);
            nr = 0.7 * nr + 0.3 * noise(rng);
            out.l[static_cast<size_t>(at + n)] += e * nl;
            out.r[static_cast<size_t>(at + n)] += e * nr;
        }
        at += static_cast<int>(uniform(rng, 0.15, 0.5) * rate);
    }
}

// A drum kit at 120 beats a minute (kick, snare, hi-hat, occasional ghost notes) over a bass line.
void drums(Buffers& out, int rate, Rng& rng) {
    std::normal_distribution<double> noise(0.0, 1.0);
    const int sixteenth = rate / 8;
    auto hit = [&](int at, int kind, double level) {
        const int length = std::min(out.frames() - at, rate / 2);
        double phase = 0, prevL = 0, prevR = 0;
        const double panL = kind == 2 ? 0.7 : uniform(rng, 0.9, 1.1);
        const double panR = kind == 2 ? 1.3 : uniform(rng, 0.9, 1.1);
        for (int n = 0; n < length; ++n) {
            const double t = static_cast<double>(n) / rate;
            double l = 0, r = 0;
            if (kind == 0) { // kick: a falling sine and a click of noise
                phase += kTau * (50.0 + 90.0 * std::exp(-t / 0.03)) / rate;
                const double body = std::sin(phase) * std::exp(-t / 0.15);
                const double beater = noise(rng) * std::exp(-t / 0.002) * 0.3;
                l = r = body;
                l += beater;
                r += beater;
            } else if (kind == 1) { // snare: noise and a short tone
                phase += kTau * 190.0 / rate;
                const double tone = 0.5 * std::sin(phase) * std::exp(-t / 0.06);
                const double env = std::exp(-t / 0.12);
                l = tone + env * (0.7 * noise(rng) + 0.3 * noise(rng));
                r = tone + env * (0.7 * noise(rng) + 0.3 * noise(rng));
            } else { // hi-hat: differentiated noise, short
                const double env = std::exp(-t / 0.03);
                const double nl = noise(rng), nr = noise(rng);
                l = env * (nl - prevL) * 0.5;
                r = env * (nr - prevR) * 0.5;
                prevL = nl;
                prevR = nr;
            }
            out.l[static_cast<size_t>(at + n)] += level * panL * l;
            out.r[static_cast<size_t>(at + n)] += level * panR * r;
        }
    };
    for (int step = 0; step * sixteenth < out.frames(); ++step) {
        const int at = step * sixteenth;
        const int inBar = step % 16;
        if (inBar == 0 || inBar == 8 || (inBar == 10 && uniform(rng, 0, 1) < 0.5))
            hit(at, 0, uniform(rng, 9000, 12000));
        if (inBar == 4 || inBar == 12)
            hit(at, 1, uniform(rng, 5000, 7000));
        else if (uniform(rng, 0, 1) < 0.12)
            hit(at, 1, uniform(rng, 1000, 2000)); // ghost
        if (inBar % 2 == 0) hit(at, 2, uniform(rng, 2500, 4000));
    }
    // Bass: one note a beat, plucked and decaying.
    double phase = 0;
    double f = 55;
    for (int i = 0; i < out.frames(); ++i) {
        const int inBeat = i % (2 * sixteenth * 2);
        if (inBeat == 0) f = 41.2 * std::pow(2.0, std::floor(uniform(rng, 0, 15)) / 12.0);
        phase += kTau * f / rate;
        const double t = static_cast<double>(inBeat) / rate;
        const double s = 2500 * std::exp(-t / 0.3) * (std::sin(phase) + 0.3 * std::sin(2 * phase));
        out.l[static_cast<size_t>(i)] += s;
        out.r[static_cast<size_t>(i)] += s;
    }
}

// Speech-like sound: glottal flow pulses through a cascade of three moving formant resonators,
// fricative noise between some syllables, pauses between phrases.
void speech(Buffers& out, int rate, Rng& rng) {
    std::normal_distribution<double> noise(0.0, 1.0);
    struct Resonator {
        double y1 = 0, y2 = 0;
        double run(double x, double f, double bw, int fs) {
            const double r = std::exp(-3.141592653589793 * bw / fs);
            const double a1 = 2 * r * std::cos(kTau * f / fs), a2 = r * r;
            const double y = (1 - a1 + a2) * x + a1 * y1 - a2 * y2; // unity gain at DC
            y2 = y1;
            y1 = y;
            return y;
        }
    };
    const double vowels[][3] = {{730, 1090, 2440}, {270, 2290, 3010}, {530, 1840, 2480},
                                {570, 840, 2410},  {440, 1020, 2240}, {300, 870, 2240},
                                {660, 1720, 2410}};
    Resonator res[3];
    Resonator fric;
    double f1 = 500, f2 = 1500, f3 = 2500;
    double glottis = 0, flow = 0;
    int i = rate / 20;
    while (i < out.frames()) {
        // A phrase of 3 to 8 syllables, then a pause.
        const int syllables = static_cast<int>(uniform(rng, 3, 9));
        const double f0Start = uniform(rng, 110, 200);
        for (int s = 0; s < syllables && i < out.frames(); ++s) {
            if (uniform(rng, 0, 1) < 0.35) { // fricative
                const int len = static_cast<int>(uniform(rng, 0.06, 0.12) * rate);
                const double centre = uniform(rng, 3500, 6000);
                for (int n = 0; n < len && i < out.frames(); ++n, ++i) {
                    const double env = std::sin(3.141592653589793 * n / len);
                    const double v = fric.run(noise(rng), centre, 1500, rate) * 800 * env;
                    out.l[static_cast<size_t>(i)] += v;
                    out.r[static_cast<size_t>(i)] += 0.95 * v;
                }
            }
            const double* target = vowels[static_cast<int>(uniform(rng, 0, 7))];
            const int len = static_cast<int>(uniform(rng, 0.12, 0.28) * rate);
            for (int n = 0; n < len && i < out.frames(); ++n, ++i) {
                // Formants glide towards the vowel over about 40 ms.
                const double k = 1.0 / (0.015 * rate);
                f1 += (target[0] - f1) * k;
                f2 += (target[1] - f2) * k;
                f3 += (target[2] - f3) * k;
                const double f0 =
                    f0Start * (1.0 - 0.15 * s / syllables) * (1 + 0.05 * std::sin(kTau * n / len));
                glottis += f0 / rate;
                if (glottis >= 1) glottis -= 1;
                // Glottal flow: opens smoothly, closes faster, stays shut; the lips radiate its
                // derivative.
                const double open =
                    glottis < 0.4    ? 0.5 - 0.5 * std::cos(3.141592653589793 * glottis / 0.4)
                    : glottis < 0.56 ? std::cos(3.141592653589793 * (glottis - 0.4) / 0.32)
                                     : 0.0;
                const double radiated = open - flow;
                flow = open;
                const double env = std::min(1.0, std::min(n, len - n) / (0.02 * rate));
                double v = res[2].run(res[1].run(res[0].run(radiated, f1, 80, rate), f2, 100, rate),
                                      f3, 140, rate);
                v *= 100000 * env;
                out.l[static_cast<size_t>(i)] += v;
                out.r[static_cast<size_t>(i)] += 0.95 * v;
            }
        }
        i += static_cast<int>(uniform(rng, 0.2, 0.6) * rate);
    }
}

} // namespace

const char* materialName(Material kind) {
    switch (kind) {
    case Material::Sustained:
        return "sustained tones";
    case Material::Plucked:
        return "plucked notes";
    case Material::Drums:
        return "drums";
    case Material::Speech:
        return "speech";
    }
    return "?";
}

Stereo material(Material kind, int frames, int rate, uint32_t seed) {
    Rng rng(seed * 7919u + static_cast<uint32_t>(kind));
    Buffers b(frames);
    switch (kind) {
    case Material::Sustained:
        sustained(b, rate, rng);
        break;
    case Material::Plucked:
        plucked(b, rate, rng);
        break;
    case Material::Drums:
        drums(b, rate, rng);
        break;
    case Material::Speech:
        speech(b, rate, rng);
        break;
    }
    std::normal_distribution<double> hiss(0.0, kHissRms);
    Stereo out(static_cast<size_t>(frames) * 2);
    for (size_t i = 0; i < b.l.size(); ++i) {
        out[2 * i] = sat(b.l[i] + hiss(rng));
        out[2 * i + 1] = sat(b.r[i] + hiss(rng));
    }
    return out;
}

double shapedClickValue(const ShapedClick& c, int f) {
    if (c.shape == ClickShape::Impulse) return clickValue(c.amplitude, f, c.widthFrames, 0.7);
    // Reaches its peak on the second frame and falls to about 5 % by the last.
    if (f == 0) return 0.6 * c.amplitude;
    return c.amplitude * std::exp(-3.0 * (f - 1) / std::max(c.widthFrames - 1, 1));
}

void addShapedClick(Stereo& a, const ShapedClick& c) {
    for (int f = 0; f < c.widthFrames; ++f) {
        const size_t i = static_cast<size_t>(c.frame + f) * 2;
        if (i + 1 >= a.size()) break;
        const double v = shapedClickValue(c, f);
        if (c.left) a[i] = sat(a[i] + v);
        if (c.right) a[i + 1] = sat(a[i + 1] + v * 0.9);
    }
}

std::vector<ShapedClick> addShapedClicks(Stereo& a, const ClickPlan& plan, uint32_t seed) {
    Rng rng(seed);
    std::vector<ShapedClick> clicks;
    const int span = plan.toFrame - plan.fromFrame;
    if (plan.count <= 0 || span <= 0) return clicks;
    // Evenly spread slots with a random place in each keep the clicks apart.
    const int slot = span / plan.count;
    for (int k = 0; k < plan.count; ++k) {
        ShapedClick c;
        const int room = std::max(1, slot - plan.minGap - plan.maxWidth);
        c.frame =
            plan.fromFrame + k * slot + plan.minGap / 2 + static_cast<int>(uniform(rng, 0, room));
        c.widthFrames = static_cast<int>(uniform(rng, plan.minWidth, plan.maxWidth + 1));
        c.widthFrames = std::min(c.widthFrames, plan.maxWidth);
        const double peak =
            plan.minPeak *
            std::pow(static_cast<double>(plan.maxPeak) / plan.minPeak, uniform(rng, 0, 1));
        c.amplitude = static_cast<int>(peak) * (uniform(rng, 0, 1) < 0.5 ? -1 : 1);
        const double which = uniform(rng, 0, 1);
        c.left = which < 0.8;
        c.right = which < 0.6 || which >= 0.8;
        c.shape = uniform(rng, 0, 1) < 0.5 ? ClickShape::Impulse : ClickShape::Pulse;
        addShapedClick(a, c);
        clicks.push_back(c);
    }
    return clicks;
}

} // namespace tarnival::synth
