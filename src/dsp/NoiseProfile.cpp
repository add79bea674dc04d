#include "dsp/NoiseProfile.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace tarnival {

namespace {

constexpr int kFrames = CFft::N;             // 512 frames per examined block
constexpr int32_t kBlockBytes = 4 * kFrames; // 2048

// 512 frames of the working file at pos; anything outside the audio data reads as silence, so
// that neither header nor trailing chunks are taken for sound.
void readAudio(const WaveStore& store, int64_t pos, int16_t* samples) {
    const WaveLayout& l = store.layout;
    std::memset(samples, 0, kBlockBytes);
    int64_t from = std::max<int64_t>(pos, l.dataStart);
    int64_t to = std::min<int64_t>(pos + kBlockBytes, l.dataEnd);
    if (from < to)
        store.readWorking(from, reinterpret_cast<uint8_t*>(samples) + (from - pos),
                          static_cast<size_t>(to - from));
}

void loadChannel(CFft& fft, const int16_t* samples, int channel) {
    for (int i = 0; i < kFrames; ++i) fft.Buffer[i] = samples[2 * i + channel];
}

} // namespace

void SpectralTables::reset() {
    for (int k = 0; k < kBins; ++k) {
        BinWeight[k] = std::min(1.0f, static_cast<float>(k) * 0.1f);
        GraphicGain[k] = 1.0f;
    }
    Profile = {};
    Threshold = {};
    FilterMode = 0;
}

bool MeasureProfile(const WaveStore& store, CFft& fft, FilterState& state, bool fromSource) {
    const WaveLayout& l = store.layout;
    NoiseProfile& profile = state.tables.Profile;
    profile = {};
    // The block may come from a session file: keep it on the frame grid and inside the audio.
    int64_t start = std::max<int64_t>(l.toFrame(state.settings.ProfileStart), l.dataStart);
    int64_t end = std::min<int64_t>(state.settings.ProfileEnd, l.dataEnd);
    // Only whole blocks: a partial last block would reach past the chosen stretch, perhaps
    // into the music beside it.
    int64_t count = end > start ? (end - start) / kBlockBytes : 0;
    if (count <= 0) return false;

    std::array<std::array<double, kBins>, 2> sums{};
    int16_t samples[2 * kFrames];
    for (int64_t i = 0; i < count; ++i) {
        int64_t b = start + i * kBlockBytes;
        if (fromSource)
            store.readSourceWithGains(b, samples, kBlockBytes);
        else
            readAudio(store, b, samples);
        for (int ch = 0; ch < 2; ++ch) {
            loadChannel(fft, samples, ch);
            fft.ApplyWindow();
            fft.Transform(1);
            for (int k = 0; k < kBins; ++k) sums[ch][k] += fft.Magnitude(k);
        }
    }
    for (int ch = 0; ch < 2; ++ch)
        for (int k = 0; k < kBins; ++k)
            profile[ch][k] = static_cast<int32_t>(sums[ch][k] / static_cast<double>(count));
    return true;
}

int32_t FindMusic(const WaveStore& store, CFft& fft, int64_t position, int direction) {
    const WaveLayout& l = store.layout;
    const int64_t lastBlock = int64_t{l.dataEnd} - kBlockBytes;
    if (lastBlock < l.dataStart) return -1;
    const int step = direction < 0 ? -1 : 1;
    int64_t start = l.toFrame(static_cast<int32_t>(
        std::clamp<int64_t>(position, l.dataStart, std::max<int64_t>(l.dataStart, lastBlock))));
    int64_t limit =
        std::clamp<int64_t>(position + step * int64_t{kMusicSearchBytes}, l.dataStart, lastBlock);
    int64_t blocks = step > 0 ? (limit - start) / kBlockBytes : (start - limit) / kBlockBytes;

    int score = 0;
    int16_t samples[2 * kFrames];
    int64_t d = start;
    for (int64_t i = 0; i < blocks; ++i, d += step * kBlockBytes) {
        readAudio(store, d, samples);
        for (int ch = 0; ch < 2; ++ch) {
            loadChannel(fft, samples, ch);
            score += fft.SpectralRoughness() > 1.5 ? 2 : -1;
        }
        score = std::max(score, 0);
        if (score > 20) return static_cast<int32_t>(d);
    }
    return -1;
}

ProfileBlock FindProfileBlock(const WaveStore& store, CFft& fft,
                              const std::vector<int32_t>& chunkLevels) {
    const WaveLayout& l = store.layout;
    ProfileBlock block;
    if (l.dataLength() < kBlockBytes) return block;
    auto take = [&](int64_t start, int64_t end) {
        block.found = true;
        block.start = static_cast<int32_t>(start);
        block.end = static_cast<int32_t>(end);
        return block;
    };

    // The lead-in before the first music, else the run-out after the last.
    const int64_t m = FindMusic(store, fft, l.dataStart, +1);
    if (m != -1 && l.dataStart + kProfileLead < m) return take(m - kProfileLead, m - kProfileGap);
    const int64_t lastBlock = int64_t{l.dataEnd} - kBlockBytes;
    const int64_t e = FindMusic(store, fft, lastBlock, -1);
    if (e != -1 && e + kProfileLead < lastBlock) return take(e + kProfileGap, e + kProfileLead);

    // The quietest chunk between them. Where no music was found the search covers that side
    // of the file; the overview leaves the first and last 4096 bytes of audio unmeasured (level
    // 0), so they are never taken for quiet.
    const int64_t align = l.dataStart % kChunkSize;
    const int64_t firstChunk = (int64_t{l.dataStart} + kChunkSize) / kChunkSize;
    const int64_t endChunk = std::min<int64_t>(static_cast<int64_t>(chunkLevels.size()),
                                               (int64_t{l.dataEnd} - kChunkSize) / kChunkSize);
    int64_t lo = std::max(firstChunk, (m == -1 ? int64_t{l.dataStart} : m) / kChunkSize);
    int64_t hi = std::min(endChunk, (e == -1 ? int64_t{l.dataEnd} : e) / kChunkSize);
    if (lo >= hi) lo = firstChunk, hi = endChunk;
    if (lo >= hi) return block;
    int64_t quietest = lo;
    for (int64_t c = lo; c < hi; ++c)
        if (chunkLevels[static_cast<size_t>(c)] < chunkLevels[static_cast<size_t>(quietest)])
            quietest = c;
    const int64_t q = std::clamp<int64_t>(quietest * kChunkSize + align, l.dataStart, lastBlock);

    int64_t h = FindMusic(store, fft, q, -1);
    int64_t after = FindMusic(store, fft, q, +1);
    if (h == -1) h = l.dataStart; // no music before: the quiet reaches the start
    if (after == -1) after = l.dataEnd;
    const int64_t o = l.toFrame(static_cast<int32_t>((h + after) / 2));
    const int64_t start = std::max<int64_t>(l.dataStart, o - kProfileGap / 2);
    const int64_t end = std::min<int64_t>(o + kProfileGap / 2, l.dataEnd);
    if (end - start < kBlockBytes) return block;
    block.doubtful = after - h < kProfileGap;
    return take(start, end);
}

std::string badProfileWarning(bool waveNotCorrected) {
    if (waveNotCorrected)
        return "Warning\nThe Noise Profile may be unreliable.\npress 'F1' for additional help.";
    return "Warning\nThe Noise Profile may be unreliable. This will affect the operation of the "
           "Hiss and Hum Filters. Do not use either of these filters without first verifying "
           "your noise profile.\npress 'F1' for additional help.";
}

bool EnsureProfileBlock(FilterContext& ctx) {
    FilterSettings& s = ctx.state.settings;
    if (s.hasProfile()) return true;
    static const std::vector<int32_t> none;
    ProfileBlock b =
        FindProfileBlock(ctx.store, ctx.fft, ctx.chunkLevels ? *ctx.chunkLevels : none);
    if (!b.found) return false;
    s.ProfileStart = b.start;
    s.ProfileEnd = b.end;
    if (b.doubtful) {
        if (ctx.batchLog)
            ctx.batchLog(kBadProfileLogLine);
        else
            ctx.ui.message(badProfileWarning(ctx.waveNotCorrected));
    }
    return true;
}

bool CaptureProfileBlock(FilterContext& ctx, int32_t start, int32_t end, bool ask) {
    const WaveLayout& l = ctx.layout();
    const int64_t length = end > start ? int64_t{end} - start : 0;
    if (length < minProfileBytes(l.sampleRate) || length > maxProfileBytes(l.sampleRate) ||
        start < l.dataStart || end > l.dataEnd) {
        ctx.ui.message("The length of the current block is out of range for noise "
                       "capture.\nSelected block must be in the range 0.1 to 1.0 seconds.");
        return false;
    }
    if (ask && !affirmative(ctx.ui.ask(
                   "The currently selected block will be captured as the new Noise "
                   "Profile.\nEnsure that the block contains only the noise (hiss and/or hum) "
                   "to be removed",
                   "Tarnival", Buttons::OkCancel)))
        return false;
    ctx.state.settings.ProfileStart = start;
    ctx.state.settings.ProfileEnd = end;
    MeasureProfile(ctx.store, ctx.fft, ctx.state, false);
    ctx.ui.message("The selected block has been captured");
    ctx.markModified();
    return true;
}

std::optional<ProfileBlock>
ViewProfileCommand(FilterContext& ctx, const std::function<bool(int32_t, int32_t)>& touchesCut) {
    const FilterSettings& s = ctx.state.settings;
    if (!EnsureProfileBlock(ctx) || !MeasureProfile(ctx.store, ctx.fft, ctx.state, false) ||
        (touchesCut && touchesCut(s.ProfileStart, s.ProfileEnd))) {
        ctx.ui.message("Unable to show profile.");
        return std::nullopt;
    }
    ProfileBlock b;
    b.found = true;
    b.start = s.ProfileStart;
    b.end = s.ProfileEnd;
    return b;
}

void SetHumWeights(SpectralTables& tables, bool hum, int hissLevel) {
    for (int k = 0; k < 3; ++k)
        tables.BinWeight[k] =
            hum ? 4.0f / static_cast<float>(hissLevel + 1) : static_cast<float>(k) * 0.1f;
}

void ComputeThresholds(SpectralTables& tables, int hissLevel) {
    for (int ch = 0; ch < 2; ++ch)
        for (int k = 0; k < kBins; ++k)
            tables.Threshold[ch][k] = static_cast<int32_t>(
                static_cast<double>(hissLevel + 1) * tables.Profile[ch][k] * tables.BinWeight[k]);
}

SpectralGain::SpectralGain(const SpectralTables& tables, int mode, int hissLevel)
    : tables_(tables), mode_(mode) {
    // Hum alone touches only the bins of the mains hum; with graphic alone nothing is
    // subtracted (a hiss rule nobody asked for must not creep into the other bins).
    subtractBins_ = (mode & kModeHiss) ? kBins : (mode & kModeHum) ? 3 : 0;
    for (auto& channel : envelope_) channel.fill(1.0f);
    floor_.fill(static_cast<float>(0.8 / std::ldexp(1.0, std::clamp(hissLevel, 0, 3))));
    if (mode & kModeHum)
        for (int k = 0; k < 3; ++k) floor_[k] = 0.1f;
}

template <class T> void SpectralGain::apply(T* b, int channel) {
    const auto& threshold = tables_.Threshold[channel];
    auto& envelope = envelope_[channel];
    // Written without branches so that it vectorises. A bin of magnitude 0 gets the floor,
    // which leaves it 0; the envelope is kept above the denormal range in digital silence.
    constexpr T tiny = static_cast<T>(1e-30);
    T magnitude[kBins];
    for (int k = 0; k < subtractBins_; ++k)
        magnitude[k] = std::sqrt(b[2 * k] * b[2 * k] + b[2 * k + 1] * b[2 * k + 1]);
    for (int k = 0; k < subtractBins_; ++k) {
        const T m = magnitude[k];
        const float held = 0.95f * envelope[k];
        const float mf = static_cast<float>(m);
        float env = held > mf ? held : mf;
        env = env > 1e-20f ? env : 1e-20f;
        envelope[k] = env;
        // Up to an envelope of twice the threshold the whole threshold goes; above, less in
        // proportion, so that loud passages keep their detail.
        const T t = static_cast<T>(threshold[k]);
        const T share = 2 * t / env;
        const T cut = t * (share < 1 ? share : 1);
        const T g = 1 - cut / (m > tiny ? m : tiny);
        const T floor = floor_[k];
        magnitude[k] = g > floor ? g : floor;
    }
    for (int k = 0; k < subtractBins_; ++k) {
        b[2 * k] *= magnitude[k];
        b[2 * k + 1] *= magnitude[k];
    }
    if (mode_ & kModeGraphic) {
        const auto& gain = tables_.GraphicGain;
        for (int k = 0; k < kBins; ++k) {
            b[2 * k] *= gain[k];
            b[2 * k + 1] *= gain[k];
        }
    }
}

template void SpectralGain::apply(double*, int);
template void SpectralGain::apply(float*, int);

} // namespace tarnival
