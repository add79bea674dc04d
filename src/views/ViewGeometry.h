#pragma once
// The waveform view's scales and its mapping between pixels, positions and sample values. No
// Qt here, so that the arithmetic can be checked on its own.
#include <array>
#include <cstdint>
#include <string>

namespace tarnival::view {

constexpr int kDivisionPixels = 50;
constexpr int kFineSteps = 20;
constexpr int kCoarseSteps = 7;
constexpr int kDefaultFineIndex = 4;   // 50 samples per division
constexpr int kDefaultCoarseIndex = 4; // one second per division
constexpr int kAdjustFineIndex = 5;    // 100 samples per division
constexpr std::array<int, 6> kVerticalScales{20, 50, 100, 200, 500, 1000};
constexpr int kDefaultVerticalIndex = 5; // 500
// From here on a screen column covers whole chunks: the chunk envelope replaces the samples.
constexpr int kEnvelopeScale = 50000;

// Samples per division of step index (1-based) in the fine or coarse table of a rate.
int fineScale(int rate, int index);
int coarseScale(int rate, int index);
// The highest fine step at which the whole data still fits the width, at most 20.
int maxFineIndex(int rate, int64_t dataBytes, int clientWidth);

struct ScaleLabel {
    std::string caption; // "H Smp/Div", "H Sec/Div" or "H Min/Div"
    std::string value;
};
ScaleLabel horizontalLabel(int rate, int index, bool coarse);

// Where the window stands: the current position sits at the horizontal centre.
struct Mapping {
    int32_t current = 0;
    int width = 0;
    int samplesPerDiv = 50;
    int32_t first = 0; // first and last sample position of the data (frames)
    int32_t last = 0;

    // The position under pixel column x, on a whole frame, clamped to the data.
    int32_t positionAt(int x) const;
    // The same without the clamp, for ranges that may reach beyond the file.
    int64_t rawPositionAt(int x) const;
    int64_t rightEdge() const;
    int64_t leftEdge() const;
    double xOf(int64_t position) const;
    // Pixels that one frame distance takes.
    double framesToPixels(double frames) const { return frames * kDivisionPixels / samplesPerDiv; }
};

// Pixel row of sample value s on a channel whose baseline is y0.
inline double sampleY(int y0, int sample, int verticalScale) {
    return y0 - sample * 1.6 / verticalScale;
}
// Samples that share one pixel column.
inline int columnStep(int samplesPerDiv) {
    return samplesPerDiv / kDivisionPixels > 1 ? samplesPerDiv / kDivisionPixels : 1;
}

// Half-width in pixels of a correction's highlight.
double highlightHalfWidth(int32_t widthField, int samplesPerDiv);
// A correction edge dragged this many frames from the centre: the new width in bytes.
int32_t draggedWidth(double framesFromCentre);

// "%1s%02d:%02d:%03d" of a byte distance (sign, minutes, seconds, milliseconds).
std::string timeText(int64_t bytes, int rate);

} // namespace tarnival::view
