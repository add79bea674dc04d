#include "dsp/Levels.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <vector>

namespace tarnival {

namespace {

// Opens a progress window for an operation unless one is already showing.
class OwnProgress {
  public:
    OwnProgress(UserInterface& ui, const std::string& title) {
        if (ui.progressShown()) return;
        scope_.emplace(ui, std::vector<std::string>{});
        if (!title.empty()) ui.setProgressTitle(title);
    }

  private:
    std::optional<ProgressScope> scope_;
};

// Every left sample times left, every right sample times right, truncated and clipped, in
// blocks of the working file.
void scaleChannels(WaveStore& store, UserInterface& ui, double left, double right) {
    const WaveLayout& l = store.layout;
    std::vector<int16_t> buffer(kBlockSize / 2);
    ui.setProgressRange(l.dataStart, l.dataEnd);
    for (int64_t pos = l.dataStart; pos < l.dataEnd; pos += kBlockSize) {
        const size_t bytes = static_cast<size_t>(std::min<int64_t>(kBlockSize, l.dataEnd - pos));
        store.readWorking(pos, buffer.data(), bytes);
        for (size_t i = 0; i < bytes / 2; ++i) {
            double v = buffer[i] * (i % 2 ? right : left);
            buffer[i] =
                static_cast<int16_t>(static_cast<int32_t>(std::clamp(v, -32768.0, 32767.0)));
        }
        store.writeWorking(pos, buffer.data(), bytes);
        ui.setProgressPosition(pos);
        ui.pumpAndTakeCancel(); // these commands cannot be cancelled once started
    }
}

} // namespace

int FindMaxSample(const WaveStore& store, UserInterface& ui, LevelState& levels,
                  const FrameFilter& counts) {
    if (levels.MaxSample >= 0) return levels.MaxSample;
    const WaveLayout& l = store.layout;
    OwnProgress progress(ui, "Finding Maximum Sample");
    ui.setCancelEnabled(false);
    ui.setProgressRange(0, l.dataEnd);

    int best = -1;
    int32_t bestPos = l.dataStart;
    std::vector<int16_t> buffer(kBlockSize / 2);
    for (int64_t pos = l.dataStart; pos < l.dataEnd; pos += kBlockSize) {
        const size_t bytes = static_cast<size_t>(std::min<int64_t>(kBlockSize, l.dataEnd - pos));
        store.readWorking(pos, buffer.data(), bytes);
        ui.setProgressPosition(pos);
        for (size_t i = 0; i < bytes / 2; ++i) {
            const int v = std::abs(static_cast<int>(buffer[i]));
            if (v <= best) continue;
            const int32_t frame = static_cast<int32_t>(pos + static_cast<int64_t>(i / 2) * 4);
            if (counts && !counts(frame)) continue;
            best = v;
            bestPos = frame;
        }
        ui.pumpAndTakeCancel();
    }
    levels.MaxSample = std::max(best, 0);
    levels.MaxSamplePos = bestPos;
    return levels.MaxSample;
}

bool Normalise(WaveStore& store, UserInterface& ui, LevelState& levels, double peakDb,
               const FrameFilter& counts) {
    OwnProgress progress(ui, "Normalising Volume");
    ui.setCancelEnabled(false);
    const int max = FindMaxSample(store, ui, levels, counts);
    if (max <= 0) {
        ui.beep();
        return false;
    }
    const double x = std::pow(10.0, std::min(peakDb, 0.0) / 20.0) * 32767.0 / max;
    store.leftGain = static_cast<float>(store.leftGain * x);
    store.rightGain = static_cast<float>(store.rightGain * x);
    levels.MaxSample = std::min(32767, static_cast<int>(x * max));
    scaleChannels(store, ui, x, x);
    return true;
}

void ScaleLevels(WaveStore& store, UserInterface& ui, LevelState& levels, double g) {
    OwnProgress progress(ui, "Normalising Volume");
    ui.setCancelEnabled(false);
    store.leftGain = static_cast<float>(store.leftGain * g);
    store.rightGain = static_cast<float>(store.rightGain * g);
    if (levels.MaxSample >= 0)
        levels.MaxSample = std::min(32767, static_cast<int>(levels.MaxSample * g));
    scaleChannels(store, ui, g, g);
}

bool AdjustBalance(WaveStore& store, UserInterface& ui, LevelState& levels, double ratio,
                   const FrameFilter& counts) {
    if (!(ratio > 0.0) || !std::isfinite(ratio)) {
        ui.beep();
        return false;
    }
    OwnProgress progress(ui, "");
    double left = 1.0 / ratio;
    double right = ratio;
    const double bigger = std::max(ratio, 1.0 / ratio);
    const int max = FindMaxSample(store, ui, levels, counts);
    if (max * bigger > 32000.0) {
        const double k = 32000.0 / (max * bigger);
        left *= k;
        right *= k;
    }
    ui.setProgressText(0, "Adjusting Balance");
    ui.setCancelEnabled(false);
    store.leftGain = static_cast<float>(store.leftGain * left);
    store.rightGain = static_cast<float>(store.rightGain * right);
    scaleChannels(store, ui, left, right);
    levels.MaxSample = -1;
    return true;
}

std::optional<double> BalanceEstimate(double levelSum, double balanceSum, float leftGain,
                                      float rightGain) {
    const double left = levelSum - balanceSum; // twice the sum of |L|
    const double right = levelSum + balanceSum;
    if (!(left > 0.0) || !(right > 0.0) || !(leftGain > 0.0f) || !(rightGain > 0.0f))
        return std::nullopt;
    return std::sqrt(left / right) * std::sqrt(static_cast<double>(leftGain) / rightGain);
}

double BalanceRatio(int sliderDb) {
    return std::pow(10.0, sliderDb * 0.025);
}

std::string BalanceEstimateText(std::optional<double> ratio) {
    if (!ratio) return "Estimated Correction Required:\nNone";
    const double e = 40.0 * std::log10(*ratio);
    char text[80];
    if (e > 0)
        std::snprintf(text, sizeof text, "Estimated Correction Required:\nRight %+4.1f dB", e);
    else
        std::snprintf(text, sizeof text, "Estimated Correction Required:\nLeft %+4.1f dB", -e);
    return text;
}

std::string BalanceCaption(int sliderDb) {
    char text[48];
    if (sliderDb < 0)
        std::snprintf(text, sizeof text, "Channel Balance: Left %+ddB", -sliderDb);
    else if (sliderDb > 0)
        std::snprintf(text, sizeof text, "Channel Balance: Right %+ddB", sliderDb);
    else
        return "Channel Balance: Off";
    return text;
}

std::string NormaliseLabel(int peakDb) {
    char text[48];
    std::snprintf(text, sizeof text, "Set New Peak level to: %d dB", peakDb);
    return text;
}

std::string CurrentPeakText(int maxSample) {
    char text[48];
    std::snprintf(text, sizeof text, "Current Peak Level = %5.1f dB",
                  20.0 * std::log10(maxSample / 32768.0));
    return text;
}

std::string VolumeAdjustmentsText(float leftGain, float rightGain) {
    char text[96];
    std::snprintf(text, sizeof text, "\nVolume Adjustments\n\tLeft: %+4.1fdB\n\tRight: %+4.1fdB",
                  20.0 * std::log10(leftGain), 20.0 * std::log10(rightGain));
    return text;
}

} // namespace tarnival
