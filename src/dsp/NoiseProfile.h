#pragma once
// The noise profile: where it comes from (a captured block or one found automatically), how it
// is measured, and the per-bin gain rule that subtracts it.
#include "dsp/FilterContext.h"

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace tarnival {

// Bytes examined by the music finder in each direction (about 310 s at 44.1 kHz).
constexpr int32_t kMusicSearchBytes = 54684000;
// Automatic profile blocks: 0.2 s long, kept 0.2 s away from the music (bytes at 44.1 kHz).
constexpr int32_t kProfileGap = 35200;
constexpr int32_t kProfileLead = 70400;

// Length limits of a captured block, in bytes: 0.1 s and 1.0 s.
inline int32_t minProfileBytes(int rate) {
    return rate * 4 / 10;
}
inline int32_t maxProfileBytes(int rate) {
    return rate * 4;
}

// Fills Profile from the settings' profile block: the mean windowed magnitude of every bin over
// the whole 512-frame blocks inside it, truncated toward zero. fromSource reads the source (with
// the level gains, so that it matches the working file's scale) instead of the working file.
// False, with the profile cleared, when the block holds no whole 512-frame block of audio.
bool MeasureProfile(const WaveStore& store, CFft& fft, FilterState& state, bool fromSource);

// Where music begins when walking from position in direction (+1 forward, -1 backward), judged
// by the spectral roughness of consecutive 512-frame blocks of the working file; -1 when the
// first kMusicSearchBytes hold none.
int32_t FindMusic(const WaveStore& store, CFft& fft, int64_t position, int direction);

struct ProfileBlock {
    bool found = false;
    int32_t start = 0;
    int32_t end = 0;
    bool doubtful = false; // taken from a quiet gap shorter than 0.2 s
};

// Chooses a noise block: before the first music, after the last, or else around the quietest
// chunk between them. chunkLevels may be empty (the quiet-chunk case then looks at nothing).
ProfileBlock FindProfileBlock(const WaveStore& store, CFft& fft,
                              const std::vector<int32_t>& chunkLevels);

// The warnings for a doubtful automatic block.
constexpr const char* kBadProfileLogLine = "\t\tWarning - Bad Noise Profile\r\n";
std::string badProfileWarning(bool waveNotCorrected);

// Finds a profile block automatically when none is set (warning about a doubtful one through
// the batch log or a message). Returns whether a block is set.
bool EnsureProfileBlock(FilterContext& ctx);

// Takes [start, end) as the noise profile block: refuses a block outside 0.1..1.0 s with the
// message, asks first when ask is set, then sets and measures the profile and says so. Returns
// whether it was captured. Front ends without the question (a command line option) pass false.
bool CaptureProfileBlock(FilterContext& ctx, int32_t start, int32_t end, bool ask);
// "Capture New Profile" on the selected block [blockStart, blockEnd).
inline bool CaptureProfileCommand(FilterContext& ctx) {
    return CaptureProfileBlock(ctx, ctx.blockStart, ctx.blockEnd, true);
}

// "View Profile": makes sure a profile block exists and is measured, and returns it for the
// waveform view to select and zoom to; nothing (after "Unable to show profile.") when
// touchesCut says the block overlaps a cut section or its cross-fade.
std::optional<ProfileBlock>
ViewProfileCommand(FilterContext& ctx, const std::function<bool(int32_t, int32_t)>& touchesCut);

// The weights of bins 0..2: with hum 4 / (hissLevel + 1) each, so that their threshold is four
// times the profile whatever the hiss level; without, 0, 0.1 and 0.2.
void SetHumWeights(SpectralTables& tables, bool hum, int hissLevel);

// Threshold[ch][k] = (hissLevel + 1) x Profile[ch][k] x BinWeight[k], truncated.
void ComputeThresholds(SpectralTables& tables, int hissLevel);

// The gain rule of one spectral pass: peak-hold envelopes per channel and a floor per bin.
// Created per pass; Apply works on the spectrum CFft::Transform(1) left in the buffer.
class SpectralGain {
  public:
    // mode: FilterMode bits. Subtraction covers every bin with hiss, bins 0..2 with hum alone.
    SpectralGain(const SpectralTables& tables, int mode, int hissLevel);
    void Apply(CFft& fft, int channel) { Apply(fft.Buffer, channel); }
    // The same on a spectrum in CFft's packed layout: pairs[2k], pairs[2k + 1] are bin k, the
    // Nyquist value standing in pairs[1]. The single-precision form serves the filter pass.
    void Apply(double* pairs, int channel) { apply(pairs, channel); }
    void Apply(float* pairs, int channel) { apply(pairs, channel); }

    float envelope(int channel, int k) const { return envelope_[channel][k]; }
    float floor(int k) const { return floor_[k]; }

  private:
    template <class T> void apply(T* pairs, int channel);
    const SpectralTables& tables_;
    int mode_;
    int subtractBins_;
    std::array<std::array<float, kBins>, 2> envelope_;
    std::array<float, kBins> floor_;
};

} // namespace tarnival
