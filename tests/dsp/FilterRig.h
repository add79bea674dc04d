#pragma once
// A working file with the filter state around it, and measurements on its audio.
#include "document/Overview.h"
#include "dsp/FilterContext.h"
#include "support/CorrectionSupport.h"
#include "support/ScriptedUi.h"

#include <cmath>
#include <vector>

namespace tarnival::test {

inline Stereo tone(int frames, double freq, double amplitude, int rate = 44100) {
    Stereo s(static_cast<size_t>(frames) * 2);
    for (int i = 0; i < frames; ++i) {
        double v = amplitude * std::sin(2.0 * M_PI * freq * i / rate);
        s[2 * static_cast<size_t>(i)] = s[2 * static_cast<size_t>(i) + 1] = static_cast<int16_t>(v);
    }
    return s;
}

// Amplitude of a sinusoid at freq in channel ch over frames [from, to) (least squares).
inline double amplitudeAt(const Stereo& s, double freq, int from, int to, int ch = 0,
                          int rate = 44100) {
    double c = 0, q = 0;
    for (int i = from; i < to; ++i) {
        double v = s[2 * static_cast<size_t>(i) + static_cast<size_t>(ch)];
        c += v * std::cos(2.0 * M_PI * freq * i / rate);
        q += v * std::sin(2.0 * M_PI * freq * i / rate);
    }
    return 2.0 * std::hypot(c, q) / (to - from);
}

inline double rms(const Stereo& s, int from, int to) {
    double sum = 0;
    for (size_t i = 2 * static_cast<size_t>(from); i < 2 * static_cast<size_t>(to); ++i)
        sum += static_cast<double>(s[i]) * s[i];
    return std::sqrt(sum / (2.0 * (to - from)));
}

inline double db(double ratio) {
    return 20.0 * std::log10(ratio);
}

struct FilterRig {
    TempDir dir;
    WaveStore store;
    CFft fft;
    ScriptedUi ui;
    FilterState state;
    std::vector<int32_t> chunkLevels;
    Stereo input;

    explicit FilterRig(const Stereo& audio, int rate = 44100, float leftGain = 1.0f,
                       float rightGain = 1.0f)
        : input(audio) {
        WavOptions options;
        options.rate = rate;
        openStore(store, dir, audio, options, leftGain, rightGain);
        // The overview as the load leaves it: the first and last 4096 bytes unmeasured.
        const WaveLayout& l = store.layout;
        chunkLevels.assign(static_cast<size_t>(l.fileLength / kChunkSize + 1), 0);
        for (int64_t at = l.dataStart + kChunkSize; at + 2 * kChunkSize <= l.dataEnd;
             at += kChunkSize) {
            int frame = static_cast<int>((at - l.dataStart) / 4);
            chunkLevels[static_cast<size_t>(at / kChunkSize)] =
                chunkOverview(audio.data() + 2 * frame, 2048).level;
        }
    }
    FilterContext ctx() {
        FilterContext c{store, fft, ui, state};
        c.chunkLevels = &chunkLevels;
        return c;
    }
    int frames() const { return store.layout.dataLength() / 4; }
    int32_t pos(double seconds) const {
        return store.layout.dataStart + 4 * static_cast<int32_t>(seconds * store.layout.sampleRate);
    }
    Stereo working() const {
        Stereo s(static_cast<size_t>(store.layout.dataLength() / 2));
        store.readWorking(store.layout.dataStart, s.data(), s.size() * 2);
        return s;
    }
};

} // namespace tarnival::test
