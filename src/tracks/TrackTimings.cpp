#include "tracks/TrackTimings.h"

#include "document/Format.h"
#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

namespace tarnival {

std::string lengthText(int64_t bytes, int sampleRate) {
    int64_t perSecond = int64_t{std::max(sampleRate, 1)} * 4;
    int64_t seconds = std::max<int64_t>(bytes, 0) / perSecond;
    return formatText("%2d:%02d", static_cast<int>(seconds / 60), static_cast<int>(seconds % 60));
}

void LoadTrackSettings(TrackList& tracks, const Profile& profile) {
    tracks.gapless = get(profile, settings::kGapless) != 0;
    tracks.fadeLinear = get(profile, settings::kFadeLinear) != 0;
}

void SetFadeLinear(TrackContext& ctx, bool linear) {
    ctx.tracks.fadeLinear = linear;
    set(ctx.profile, settings::kFadeLinear, linear ? 1 : 0);
}

DefaultTimings LoadDefaultTimings(const Profile& profile) {
    using namespace settings;
    return {get(profile, kPreSilence), get(profile, kFadeIn), get(profile, kFadeOut),
            get(profile, kPostSilence)};
}

void StoreDefaultTimings(Profile& profile, const DefaultTimings& t) {
    using namespace settings;
    set(profile, kPreSilence, t.preSilence);
    set(profile, kFadeIn, t.fadeIn);
    set(profile, kFadeOut, t.fadeOut);
    set(profile, kPostSilence, t.postSilence);
}

void ApplyDefaultTimings(Track& track, const DefaultTimings& t, int sampleRate) {
    track.preSilence = secondsToBytes(t.preSilence, sampleRate);
    track.fadeIn = secondsToBytes(t.fadeIn, sampleRate);
    track.fadeOut = secondsToBytes(t.fadeOut, sampleRate);
    track.postSilence = secondsToBytes(t.postSilence, sampleRate);
}

int32_t secondsToBytes(const std::string& seconds, int sampleRate) {
    std::string s = seconds;
    std::replace(s.begin(), s.end(), ',', '.'); // a decimal comma typed in some locales
    size_t b = s.find_first_not_of(" \t");
    if (b == std::string::npos) return 0;
    if (s[b] == '+') ++b;
    double value = 0;
    auto [ptr, ec] = std::from_chars(s.data() + b, s.data() + s.size(), value);
    if (ec != std::errc() || !std::isfinite(value) || value <= 0) return 0;
    // The tiny bias keeps a typed 2.3 from truncating to one byte short.
    double bytes = std::floor(value * sampleRate * 4.0 + 1e-6);
    if (bytes >= static_cast<double>(std::numeric_limits<int32_t>::max()))
        return std::numeric_limits<int32_t>::max();
    return static_cast<int32_t>(bytes);
}

std::string bytesToSeconds(int32_t bytes, int sampleRate) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%3.1f", bytes / (std::max(sampleRate, 1) * 4.0));
    return buf;
}

} // namespace tarnival
