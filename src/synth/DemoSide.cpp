#include "synth/DemoSide.h"
#include "document/File.h"
#include "document/SafeFile.h"
#include "document/WaveHeader.h"
#include "synth/Signals.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>

namespace tarnival {

namespace {

int16_t sat(double v) {
    return static_cast<int16_t>(std::clamp(v, -32768.0, 32767.0));
}

// One piece: a few partials on a scale with note changes, a slow envelope and fade ends.
void renderPiece(std::vector<double>& l, std::vector<double>& r, size_t from, size_t frames,
                 int rate, std::mt19937& rng) {
    std::uniform_real_distribution<double> u(0.0, 1.0);
    const double tau = 6.283185307179586;
    const size_t noteFrames = static_cast<size_t>(rate) / 2;
    double freq[4] = {}, phase[4] = {};
    for (size_t i = 0; i < frames; ++i) {
        if (i % noteFrames == 0)
            for (int p = 0; p < 4; ++p)
                freq[p] = 130.81 * std::pow(2.0, std::floor(u(rng) * 24) / 12.0) * (p + 1);
        double t = static_cast<double>(i) / rate;
        double edge = std::min({1.0, t / 0.5, (static_cast<double>(frames - i) / rate) / 0.8});
        double env = edge * (0.55 + 0.45 * std::sin(tau * 0.2 * t));
        double vl = 0, vr = 0;
        for (int p = 0; p < 4; ++p) {
            phase[p] += tau * freq[p] / rate;
            vl += std::sin(phase[p]) / (p + 1);
            vr += std::sin(phase[p] + 0.3 * p) / (p + 1.5);
        }
        l[from + i] += 7000.0 * env * vl;
        r[from + i] += 7000.0 * env * vr;
    }
}

} // namespace

DemoSide writeDemoSide(const std::string& path, int pieces, double pieceSeconds,
                       double pauseSeconds, unsigned seed) {
    DemoSide side;
    std::mt19937 rng(seed);
    const int rate = side.rate;
    const double lead = 1.5;
    side.frames =
        static_cast<int>((lead * 2 + pieces * pieceSeconds + (pieces - 1) * pauseSeconds) * rate);
    std::vector<double> l(static_cast<size_t>(side.frames)), r(l.size());

    double t = lead;
    for (int p = 0; p < pieces; ++p) {
        side.pieceStarts.push_back(t);
        side.pieceEnds.push_back(t + pieceSeconds);
        renderPiece(l, r, static_cast<size_t>(t * rate), static_cast<size_t>(pieceSeconds * rate),
                    rate, rng);
        t += pieceSeconds + pauseSeconds;
    }

    // Surface noise everywhere, light crackle, and clicks of varied width and size.
    std::normal_distribution<double> hiss(0.0, 40.0);
    std::uniform_real_distribution<double> u(0.0, 1.0);
    for (size_t i = 0; i < l.size(); ++i) {
        l[i] += hiss(rng);
        r[i] += hiss(rng);
        if (u(rng) < 0.0004) {
            double c = (u(rng) - 0.5) * 1200.0;
            l[i] += c;
            r[i] += c * 0.8;
        }
    }
    std::uniform_int_distribution<int> where(rate, side.frames - rate);
    std::uniform_int_distribution<int> width(1, 40);
    std::uniform_real_distribution<double> size(2000.0, 16000.0);
    int clicks = static_cast<int>(side.frames / rate * 1.5);
    for (int c = 0; c < clicks; ++c) {
        int at = where(rng), w = width(rng);
        double a = size(rng) * (c % 2 ? -1 : 1);
        for (int f = 0; f < w; ++f) {
            double v = synth::clickValue(a, f, w, 0.6);
            l[static_cast<size_t>(at + f)] += v;
            r[static_cast<size_t>(at + f)] += v * 0.9;
        }
        side.clickFrames.push_back(at);
    }
    std::sort(side.clickFrames.begin(), side.clickFrames.end());

    std::array<uint8_t, kMaxWaveHeader> header{};
    buildWaveHeader({rate, 0, int64_t{side.frames} * 4}, header);
    std::vector<uint8_t> bytes(44 + static_cast<size_t>(side.frames) * 4);
    std::memcpy(bytes.data(), header.data(), 44);
    for (size_t i = 0; i < l.size(); ++i) {
        int16_t s[2] = {sat(l[i]), sat(r[i])};
        std::memcpy(&bytes[44 + i * 4], s, 4);
    }
    SafeFile safe(path);
    {
        File out(safe.temporaryPath(), File::Mode::ReadWrite);
        out.writeAt(0, bytes.data(), bytes.size());
    }
    safe.commit(true);
    return side;
}

} // namespace tarnival
