#include "audio/LevelMeter.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace tarnival {

namespace {
constexpr int kLoudSpan = 3000; // half peak-to-peak from which the largest sample counts
} // namespace

int channelPeak(const int16_t* samples, int frames, int channel) {
    int high = -32768, low = 32767;
    for (int i = 0; i < frames; ++i) {
        int v = samples[2 * i + channel];
        high = std::max(high, v);
        low = std::min(low, v);
    }
    if (frames <= 0) high = low = 0;
    int level = (high - low) / 2;
    if (level >= kLoudSpan) level = std::max(std::abs(high), std::abs(low));
    if (level == 0) level = 1;
    return static_cast<int>(200.0 * std::log10(level / 32768.0));
}

int meterLength(int p, int width) {
    int length = p <= -100 ? width * (p + 430) / 640 : width * (p * 10 / 3 + 630) / 640;
    return std::max(length, 10);
}

MeterColour meterColour(int length, int width) {
    if (length * 640 > width * 625) return MeterColour::Red;
    if (length * 640 > width * 530) return MeterColour::Orange;
    if (length * 640 > width * 430) return MeterColour::Yellow;
    return MeterColour::Green;
}

uint32_t meterRgb(MeterColour colour) {
    switch (colour) {
    case MeterColour::Red:
        return 0xFF0000;
    case MeterColour::Orange:
        return 0xFFC800;
    case MeterColour::Yellow:
        return 0xFFFF00;
    case MeterColour::Green:
        break;
    }
    return 0x00FF00;
}

void LevelMeter::setWidth(int width) {
    if (width == width_ || width <= 0) return;
    for (int c = 0; c < 2; ++c) {
        bars_[c] = bars_[c] * width / width_;
        holds_[c] = holds_[c] * width / width_;
    }
    width_ = width;
}

void LevelMeter::update(const std::array<int, 2>& peaks) {
    for (int c = 0; c < 2; ++c) {
        bars_[c] = std::max(meterLength(peaks[c], width_), bars_[c] - 1);
        holds_[c] = std::max(holds_[c], bars_[c]);
        if (peaks[c] >= 0) overloads_[c] = true;
    }
}

void LevelMeter::clearPeak() {
    holds_ = {0, 0};
    overloads_ = {false, false};
}

} // namespace tarnival
