#pragma once
#include <cstdint>

namespace tarnival {

// One entry of the correction list: a correction, a track marker, a cue, a user insertion or a
// splice marker. Field order is part of the session file.
struct Correction {
    int32_t pass = 1;
    int32_t tag = 0;
    int32_t position = 0;
    int32_t width = 0;
    int32_t magnitude = 0;

    bool operator==(const Correction&) const = default;
};

namespace width_flags {
constexpr int32_t kBytesMask = 0x1FF;
constexpr int32_t kKeepLeft = 4096;  // left channel is not corrected
constexpr int32_t kKeepRight = 8192; // right channel is not corrected
} // namespace width_flags

namespace magnitude_codes {
constexpr int32_t kCue = -1;
constexpr int32_t kEdited = -2;
constexpr int32_t kInserted = -3;
constexpr int32_t kInsertedCurrent = -4;
constexpr int32_t kSplice = -8;
constexpr int32_t kHideOffset = 10000;
} // namespace magnitude_codes

// Kind class 0-6 that the views colour and filter by.
int kindClass(const Correction& c);
// Half-width terms of a correction: h = floor(3w/8), replaced frames per side n = 2h + 2.
inline int32_t correctionH(int32_t width) {
    return 3 * (width & width_flags::kBytesMask) / 8;
}
inline bool isLongCorrection(int32_t width) {
    return 2 * correctionH(width) > 5;
}
int32_t spanStart(const Correction& c);
int32_t spanEnd(const Correction& c);
int32_t overlapReach(const Correction& c);

} // namespace tarnival
