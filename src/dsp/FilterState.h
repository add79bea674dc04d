#pragma once
// What the document keeps about filtering and levels: the filter choices, what the working file
// currently carries, the per-bin tables of the spectral pass and the cached maximum sample.
#include <array>
#include <cstdint>
#include <string>

namespace tarnival {

constexpr int kBins = 256; // bins of the 512-point transform that the spectral pass works on

// Which of the dialog's two radio buttons is chosen.
enum class FilterApply { ReplaceExisting, Superimpose };

// The filter choices of the "Apply Filter(s)" dialog and the noise profile block.
struct FilterSettings {
    bool RumbleOn = false;
    bool HumOn = false;
    bool HissOn = false;
    int HissLevel = 1; // 0..3, stored as "Subtractor"
    bool TrebleOn = false;
    int TrebleLevel = 0; // -3..3, 4 dB per step
    bool GraphicOn = false;
    std::string GraphicName;
    FilterApply ApplyMode = FilterApply::ReplaceExisting;
    int32_t ProfileStart = 0; // byte positions of the noise profile block; 0: none
    int32_t ProfileEnd = 0;

    bool hasProfile() const { return ProfileStart != 0; }
};

// What the working file currently carries (also stored in session files).
struct AppliedFilters {
    bool Filtered = false;
    bool AppliedRumble = false;
    bool AppliedHum = false;
    int AppliedHiss = 0;   // sum of the hiss levels applied, at most 3
    int AppliedTreble = 0; // sum of the treble levels applied, -3..3
    std::string AppliedGraphic;

    bool any() const {
        return AppliedRumble || AppliedHum || AppliedHiss > 0 || AppliedTreble != 0 ||
               !AppliedGraphic.empty();
    }
};

// Mean windowed magnitude per bin of the noise, left and right: Profile[channel][bin].
using NoiseProfile = std::array<std::array<int32_t, kBins>, 2>;

// Bits of FilterMode.
constexpr int kModeHiss = 1;
constexpr int kModeHum = 2;
constexpr int kModeGraphic = 4;

// The spectral tables of the document.
struct SpectralTables {
    std::array<float, kBins> BinWeight{};   // threshold weight per bin
    std::array<float, kBins> GraphicGain{}; // linear gain per bin of the chosen graphic curve
    NoiseProfile Profile{};
    std::array<std::array<int32_t, kBins>, 2> Threshold{};
    int FilterMode = 0;

    SpectralTables() { reset(); }
    // Weights min(1, k / 10), flat graphic gains, no profile.
    void reset();
};

// The cached maximum sample of the working file.
struct LevelState {
    int MaxSample = -1; // largest absolute sample value; -1: unknown
    int32_t MaxSamplePos = 0;
};

// Everything the document owns for filtering and levels. The level gains themselves live
// in WaveStore (leftGain, rightGain) because every copy from the source applies them.
struct FilterState {
    FilterSettings settings;
    AppliedFilters applied;
    SpectralTables tables;
    LevelState levels;

    // A fresh file: nothing applied, no profile block, maximum unknown. The graphic choice and
    // its gains stay, as they belong to the dialog rather than the recording.
    void resetForNewFile() {
        applied = {};
        settings.ProfileStart = settings.ProfileEnd = 0;
        tables.Profile = {};
        levels = {};
    }
};

} // namespace tarnival
