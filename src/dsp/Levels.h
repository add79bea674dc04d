#pragma once
// The level commands: the maximum sample, normalising to a peak, and the channel balance. Every
// scaling also multiplies the store's leftGain/rightGain, so that audio copied again from the
// source (Remove Filtering, the comparison display) is scaled the same way.
#include "document/UserInterface.h"
#include "document/WaveStore.h"
#include "dsp/FilterState.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace tarnival {

// Whether the frame at a byte position counts for the maximum: outside every cut section and,
// when the recording has tracks, inside one. Empty: every frame counts.
using FrameFilter = std::function<bool(int32_t framePosition)>;

// The largest absolute sample of the working file (computed once, then cached in levels),
// with the position of its frame in levels.MaxSamplePos; the caller moves the position marker
// there. Uses the open progress display, or opens "Finding Maximum Sample" for the search.
int FindMaxSample(const WaveStore& store, UserInterface& ui, LevelState& levels,
                  const FrameFilter& counts = {});

// Scales both channels so that the maximum sample reaches peakDb (0 or below) relative to
// 32767, in a "Normalising Volume" progress window. Samples beyond the counted maximum (inside
// cuts or between tracks) are clipped rather than wrapped. False, with a beep, for a silent
// wave, which has no peak to scale.
bool Normalise(WaveStore& store, UserInterface& ui, LevelState& levels, double peakDb,
               const FrameFilter& counts = {});

// The batch's Scale and Normalise: every sample times g, clipped; the gains and the known
// maximum follow.
void ScaleLevels(WaveStore& store, UserInterface& ui, LevelState& levels, double g);

// Left x 1/ratio, right x ratio, both reduced so that the loudest sample ends at 32000 if it
// would pass it. False, with a beep, for a ratio that is not a positive number.
bool AdjustBalance(WaveStore& store, UserInterface& ui, LevelState& levels, double ratio,
                   const FrameFilter& counts = {});

// The balance estimate from the load scan's sums of |L| + |R| and |R| - |L| and the current
// gains: the ratio to pass to AdjustBalance. Nothing when a channel is silent.
std::optional<double> BalanceEstimate(double levelSum, double balanceSum, float leftGain,
                                      float rightGain);
// The slider's ratio: d dB moves the right-to-left level ratio by d dB.
double BalanceRatio(int sliderDb);

// Dialog and report texts.
std::string BalanceEstimateText(std::optional<double> ratio);
std::string BalanceCaption(int sliderDb);
std::string NormaliseLabel(int peakDb);
std::string CurrentPeakText(int maxSample);
std::string VolumeAdjustmentsText(float leftGain, float rightGain);

} // namespace tarnival
