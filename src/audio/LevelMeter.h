#pragma once
#include <array>
#include <cstdint>

namespace tarnival {

// Peak level of one channel of a buffer in tenths of a dB below full scale (0 = a sample at
// full scale). Quiet buffers are measured peak to peak, so that a small offset does not read as
// signal; loud ones by their largest sample.
int channelPeak(const int16_t* samples, int frames, int channel);

// Bar length in pixels for a peak p on a meter w pixels wide (at least 10).
int meterLength(int p, int width);

enum class MeterColour { Green, Yellow, Orange, Red };
MeterColour meterColour(int length, int width);
// 0xRRGGBB of a bar colour.
uint32_t meterRgb(MeterColour colour);

// The two bars of the level meter: each falls by at most one pixel per buffer, a peak-hold
// mark stays at the longest length since the last clear, and an overload lamp lights when a
// channel reaches full scale.
class LevelMeter {
  public:
    explicit LevelMeter(int width) : width_(width) {}
    void setWidth(int width);
    int width() const { return width_; }

    // One buffer's peaks (tenths of a dB), left and right.
    void update(const std::array<int, 2>& peaks);
    void clearPeak();

    int bar(int channel) const { return bars_[channel]; }
    int hold(int channel) const { return holds_[channel]; }
    bool overload(int channel) const { return overloads_[channel]; }
    MeterColour colour(int channel) const { return meterColour(bars_[channel], width_); }
    // Either bar longer than `pixels`.
    bool above(int pixels) const { return bars_[0] > pixels || bars_[1] > pixels; }

  private:
    int width_;
    std::array<int, 2> bars_{0, 0};
    std::array<int, 2> holds_{0, 0};
    std::array<bool, 2> overloads_{false, false};
};

} // namespace tarnival
