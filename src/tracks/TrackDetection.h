#pragma once
#include "tracks/TrackContext.h"

#include <cstdint>
#include <vector>

namespace tarnival {

// Detection constants, in bytes of the recording.
namespace detection {
constexpr int32_t kBlock = 4096;
constexpr int32_t kStartLead = 188160; // 80 sectors before the sector where sound begins
constexpr int32_t kEndTail = 94080;    // 40 sectors after the sector where sound ends
constexpr int32_t kMinGap = 192000;    // a shorter pause continues the track
constexpr int32_t kMinSound = 800000;  // a shorter sound moves its track's start instead
constexpr int32_t kMinTrack = 2000000; // shorter tracks (not the first) join the one before
constexpr int kMaxSensitivity = 90;
constexpr int kMinTarget = 2; // the target counts the dialog offers
constexpr int kMaxTarget = 30;
} // namespace detection

// Gapless placement after detection: the shared boundary goes into the gap, measured from the
// end side: end + floor((nextStart - end) / 4704) x 2352.
int32_t detectedGaplessBoundary(int32_t end, int32_t nextStart);

// Level threshold at sensitivity P (0..90): 20 x 2^(P/20), truncated.
int detectionThreshold(int sensitivity);

// One detection pass at a sensitivity: replaces tracks 1..n from the chunk levels (one per
// 4096-byte chunk of the file). Returns the number of tracks. Markers are not touched.
int DetectionPass(TrackContext& ctx, const std::vector<int32_t>& chunkLevels, int sensitivity);

// Replaces every track but entry 0 by detected ones. targetCount 0: automatic; otherwise the
// number of tracks wanted. Tells the user when nothing or not the target was found, then
// places gapless boundaries, default names, markers and the status text. Returns the number
// of tracks.
int DetectTracks(TrackContext& ctx, const std::vector<int32_t>& chunkLevels, int targetCount);
// As above with the context's chunk levels (none: everything counts as silence).
int DetectTracks(TrackContext& ctx, int targetCount = 0);

// Leaves one track, a copy of entry 0 from the earliest track position (when there are more).
void RemoveAllTracks(TrackContext& ctx);

// The "Re-Scan Tracks..." dialog's choices.
enum class RescanMode { AutoDetect, UserAssisted, RemoveAll };
struct RescanChoice {
    RescanMode mode = RescanMode::AutoDetect;
    int targetCount = detection::kMinTarget; // for UserAssisted
    bool gapless = false;
};
// Runs the choice on "Scan": stores the gapless flag (document and "Gapless"), detects or
// removes, and marks the tracks re-scanned and the document modified.
void RescanTracks(TrackContext& ctx, const std::vector<int32_t>& chunkLevels,
                  const RescanChoice& choice);
void RescanTracks(TrackContext& ctx, const RescanChoice& choice);

} // namespace tarnival
