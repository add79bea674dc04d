#include "views/ViewGeometry.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace tarnival::view {
namespace {

constexpr std::array<int, kFineSteps> kFine44{
    5,    10,    20,    50,    100,    200,    500,    1000,    2000,    4410,
    8820, 22050, 44100, 88200, 220500, 441000, 882000, 2646000, 5292000, 13230000};
constexpr std::array<int, kFineSteps> kFine48{
    5,    10,    20,    50,    100,    200,    500,    1000,    2000,    4800,
    9600, 24000, 48000, 96000, 240000, 480000, 960000, 2880000, 5760000, 14400000};

} // namespace

int fineScale(int rate, int index) {
    index = std::clamp(index, 1, kFineSteps);
    return rate == 44100 ? kFine44[static_cast<size_t>(index - 1)]
                         : kFine48[static_cast<size_t>(index - 1)];
}

int coarseScale(int rate, int index) {
    // The coarse table is the fine table's steps 10 to 16.
    return fineScale(rate, std::clamp(index, 1, kCoarseSteps) + 9);
}

int maxFineIndex(int rate, int64_t dataBytes, int clientWidth) {
    const int64_t frames = dataBytes / 4;
    const int64_t divisions = std::max(1, clientWidth / kDivisionPixels);
    for (int i = 1; i <= kFineSteps; ++i)
        if (int64_t{fineScale(rate, i)} * divisions >= frames) return i;
    return kFineSteps;
}

ScaleLabel horizontalLabel(int rate, int index, bool coarse) {
    char text[32];
    if (coarse) {
        std::snprintf(text, sizeof text, "%.1f", double(coarseScale(rate, index)) / rate);
        return {"H Sec/Div", text};
    }
    const int value = fineScale(rate, index);
    if (index <= 9) {
        std::snprintf(text, sizeof text, "%d", value);
        return {"H Smp/Div", text};
    }
    if (index <= 17) {
        std::snprintf(text, sizeof text, "%.1f", double(value) / rate);
        return {"H Sec/Div", text};
    }
    std::snprintf(text, sizeof text, "%.1f", double(value) / (rate * 60.0));
    return {"H Min/Div", text};
}

int64_t Mapping::rawPositionAt(int x) const {
    // 50 pixels hold samplesPerDiv frames: 0.08 x samplesPerDiv bytes per pixel.
    const int64_t offset = static_cast<int64_t>((x - width / 2) * 0.08 * samplesPerDiv);
    return current + offset / 4 * 4;
}

int32_t Mapping::positionAt(int x) const {
    return static_cast<int32_t>(std::clamp<int64_t>(rawPositionAt(x), first, last));
}

int64_t Mapping::rightEdge() const {
    // On a whole frame, like every position the view reads from.
    return current + static_cast<int64_t>((width - width / 2) * 0.08 * samplesPerDiv) / 4 * 4;
}

int64_t Mapping::leftEdge() const {
    return rightEdge() - int64_t{width / kDivisionPixels} * samplesPerDiv * 4;
}

double Mapping::xOf(int64_t position) const {
    return width - double(rightEdge() - position) * 12.5 / samplesPerDiv;
}

double highlightHalfWidth(int32_t widthField, int samplesPerDiv) {
    const int frames = (widthField & 0x1FF) / 4;
    return (frames + 1) * 25.0 / samplesPerDiv;
}

int32_t draggedWidth(double framesFromCentre) {
    const int frames = std::min(75, static_cast<int>(2 * std::fabs(framesFromCentre)));
    return frames * 4;
}

std::string timeText(int64_t bytes, int rate) {
    const int64_t f = std::llabs(bytes) / 4;
    char text[64];
    std::snprintf(text, sizeof text, "%1s%02lld:%02lld:%03lld", bytes < 0 ? "-" : "",
                  static_cast<long long>(f / (int64_t{rate} * 60)),
                  static_cast<long long>((f / rate) % 60),
                  static_cast<long long>((f % rate) * 1000 / rate));
    return text;
}

} // namespace tarnival::view
