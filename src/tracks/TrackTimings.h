#pragma once
// Fades, silences and their stored defaults, and the conversions between typed seconds and
// bytes of the recording.
#include "tracks/TrackContext.h"

#include <string>

namespace tarnival {

// Reads "Gapless" and "Fade Linear" into the list's flags.
void LoadTrackSettings(TrackList& tracks, const Profile& profile);
// Fade Type menu: 1 linear, 0 logarithmic; stored as "Fade Linear".
void SetFadeLinear(TrackContext& ctx, bool linear);

// Default timings as the user typed them (seconds).
struct DefaultTimings {
    std::string preSilence = "0";
    std::string fadeIn = "0";
    std::string fadeOut = "0";
    std::string postSilence = "0";
};
DefaultTimings LoadDefaultTimings(const Profile& profile);
void StoreDefaultTimings(Profile& profile, const DefaultTimings& timings);
// "Use Defaults": the four timings into a track.
void ApplyDefaultTimings(Track& track, const DefaultTimings& timings, int sampleRate);
// Seconds typed by the user to bytes (seconds x rate x 4, truncated); junk, negative or
// out-of-range input gives 0 or the largest length.
int32_t secondsToBytes(const std::string& seconds, int sampleRate);
// Bytes as seconds, "%3.1f".
std::string bytesToSeconds(int32_t bytes, int sampleRate);
// Track length as "%2d:%02d".
std::string lengthText(int64_t bytes, int sampleRate);

} // namespace tarnival
