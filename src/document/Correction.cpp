#include "document/Correction.h"

namespace tarnival {

int kindClass(const Correction& c) {
    using namespace magnitude_codes;
    if (c.width < 0) return 0;
    if (c.magnitude == kEdited) return 4;
    if (c.magnitude == kSplice) return 5;
    if (c.magnitude < 0) return 6; // cues, insertions, hidden entries
    if (c.magnitude < 15) return 1;
    if (c.magnitude < 30) return 2;
    return 3;
}

int32_t spanStart(const Correction& c) {
    if (c.width < 0) return c.position - 4;
    int32_t h = correctionH(c.width);
    return isLongCorrection(c.width) ? c.position - 8 * h - 72 : c.position - 16 * h - 20;
}

int32_t spanEnd(const Correction& c) {
    if (c.width < 0) return c.position;
    int32_t h = correctionH(c.width);
    int32_t n = 2 * h + 2;
    return isLongCorrection(c.width) ? c.position + 4 * n + 60 : c.position + 8 * n;
}

int32_t overlapReach(const Correction& c) {
    if (c.width < 0) return c.position;
    int32_t h = correctionH(c.width);
    return isLongCorrection(c.width) ? c.position + 8 * h + 68 : c.position + 16 * h + 16;
}

} // namespace tarnival
