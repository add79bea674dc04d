#include "support/Signals.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>

namespace tarnival::test {

namespace {
int16_t sat(double v) {
    return static_cast<int16_t>(std::clamp(v, -32768.0, 32767.0));
}
void put16(std::vector<uint8_t>& b, int v) {
    b.push_back(static_cast<uint8_t>(v & 0xFF));
    b.push_back(static_cast<uint8_t>((v >> 8) & 0xFF));
}
void put32(std::vector<uint8_t>& b, uint32_t v) {
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>((v >> (8 * i)) & 0xFF));
}
void putId(std::vector<uint8_t>& b, std::string id, bool lower) {
    if (lower) std::transform(id.begin(), id.end(), id.begin(), ::tolower);
    id.resize(4, ' ');
    b.insert(b.end(), id.begin(), id.end());
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

void addClick(Stereo& a, const Click& c) {
    for (int f = 0; f < c.widthFrames; ++f) {
        size_t i = static_cast<size_t>(c.frame + f) * 2;
        if (i + 1 >= a.size()) break;
        double decay = 1.0 - static_cast<double>(f) / std::max(c.widthFrames, 1);
        double v = c.amplitude * decay * ((f % 2) ? -0.7 : 1.0);
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

std::vector<uint8_t> wavBytes(const Stereo& samples, const WavOptions& o) {
    std::vector<uint8_t> b;
    putId(b, "RIFF", o.lowerCaseIds);
    put32(b, 0); // patched below
    putId(b, "WAVE", o.lowerCaseIds);
    putId(b, "fmt ", o.lowerCaseIds);
    put32(b, static_cast<uint32_t>(o.fmtLength));
    int align = o.channels * o.bits / 8;
    put16(b, 1);
    put16(b, o.channels);
    put32(b, static_cast<uint32_t>(o.rate));
    put32(b, static_cast<uint32_t>(o.rate * align));
    put16(b, align);
    put16(b, o.bits);
    for (int i = 16; i < o.fmtLength; ++i) b.push_back(0);
    for (const auto& [id, payload] : o.chunksBeforeData) {
        putId(b, id, o.lowerCaseIds);
        put32(b, static_cast<uint32_t>(payload.size()));
        b.insert(b.end(), payload.begin(), payload.end());
    }
    putId(b, "data", o.lowerCaseIds);
    put32(b, static_cast<uint32_t>(samples.size() * 2));
    for (int16_t s : samples) put16(b, s);
    b.insert(b.end(), o.trailing.begin(), o.trailing.end());
    uint32_t riff = static_cast<uint32_t>(b.size() - 8);
    for (int i = 0; i < 4; ++i)
        b[4 + static_cast<size_t>(i)] = static_cast<uint8_t>(riff >> (8 * i));
    return b;
}

void writeFile(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
    if (!f) throw std::runtime_error("cannot write " + path);
}

std::vector<uint8_t> readFile(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    if (!f) throw std::runtime_error("cannot read " + path);
    return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

void writeWav(const std::string& path, const Stereo& samples, const WavOptions& options) {
    writeFile(path, wavBytes(samples, options));
}

} // namespace tarnival::test
