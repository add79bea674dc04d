#pragma once
#include <cstdint>
#include <vector>

namespace tarnival {

// A cut section: the recording resumes at cutEnd + crossFade, and the crossFade bytes before
// cutStart are replaced by a cross-fade into the resumed audio.
struct Splice {
    int32_t cutStart = 0;
    int32_t cutEnd = 0;
    int32_t crossFade = 0; // bytes, a multiple of 4
    int32_t shift = 0;     // bytes removed by this splice and all before it
    // 2 x crossFade bytes: the cross-fade from the source file, then from the working file.
    std::vector<uint8_t> fadeBytes;
};

} // namespace tarnival
