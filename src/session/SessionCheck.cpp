#include "session/SessionCheck.h"
#include "session/SessionCodec.h"
#include "tracks/SpliceList.h"

#include <cmath>
#include <string>

namespace tarnival {

namespace {

constexpr int kMaxState = 6; // the highest document status

[[noreturn]] void mismatch(const std::string& what) {
    throw SessionDamaged("The session file is damaged: " + what + ".");
}

std::string num(int64_t v) {
    return std::to_string(v);
}

} // namespace

// Everything the session says about positions and sizes, checked against the recording it
// will be applied to before the document changes at all.
void checkSession(const SessionData& d, const WaveLayout& l) {
    const int64_t length = l.fileLength;
    auto inFile = [&](int64_t p) { return p >= 0 && p <= length; };
    if (d.state > kMaxState) mismatch("the processing state " + num(d.state) + " is unknown");

    const auto& c = d.corrections;
    for (size_t i = 1; i + 1 < c.size(); ++i) {
        if (!inFile(c[i].position))
            mismatch("correction " + num(static_cast<int64_t>(i)) + " lies at byte " +
                     num(c[i].position) + ", outside the recording's " + num(length) + " bytes");
        if (i > 1 && c[i].position < c[i - 1].position)
            mismatch("the correction list is out of order at entry " +
                     num(static_cast<int64_t>(i)));
    }
    const size_t chunks = static_cast<size_t>(length / kChunkSize + 1);
    if (d.chunkLevels.size() != chunks)
        mismatch("it holds " + num(static_cast<int64_t>(d.chunkLevels.size())) +
                 " chunk levels where the recording has " + num(static_cast<int64_t>(chunks)) +
                 " chunks");
    if (!d.chunkEnvelope.empty() && d.chunkEnvelope.size() != chunks)
        mismatch("it holds " + num(static_cast<int64_t>(d.chunkEnvelope.size())) +
                 " chunk envelopes where the recording has " + num(static_cast<int64_t>(chunks)) +
                 " chunks");

    if (d.tracks.empty()) mismatch("the track list is empty");
    if (d.tracks.size() - 1 > static_cast<size_t>(length / kSectorSize))
        mismatch(num(static_cast<int64_t>(d.tracks.size() - 1)) +
                 " tracks do not fit in the recording");
    // Silences are written out with a track: no more than ten minutes of them.
    const int64_t maxSilence = int64_t{600} * l.sampleRate * 4;
    for (size_t i = 0; i < d.tracks.size(); ++i) {
        const Track& t = d.tracks[i];
        const std::string which = i == 0 ? "the whole recording's entry" : "track " + num(i);
        if (!inFile(t.start) || !inFile(t.end) || (i > 0 && t.end != 0 && t.end < t.start))
            mismatch(which + " spans bytes " + num(t.start) + " to " + num(t.end) +
                     ", outside the recording");
        if (t.fadeIn < 0 || t.fadeOut < 0 || t.fadeIn > length || t.fadeOut > length)
            mismatch(which + " has a fade longer than the recording");
        if (t.preSilence < 0 || t.postSilence < 0 || t.preSilence > maxSilence ||
            t.postSilence > maxSilence)
            mismatch(which + " has a silence of impossible length");
    }

    int64_t previousResume = l.dataStart;
    for (size_t i = 0; i < d.splices.size(); ++i) {
        const Splice& s = d.splices[i];
        if (s.cutStart - int64_t{s.crossFade} < previousResume || s.cutEnd < s.cutStart ||
            spliceResume(s) > l.dataEnd || (int64_t{s.cutStart} - l.dataStart) % 4 != 0 ||
            (int64_t{s.cutEnd} - l.dataStart) % 4 != 0)
            mismatch("cut " + num(static_cast<int64_t>(i + 1)) + " (bytes " + num(s.cutStart) +
                     " to " + num(s.cutEnd) + ", cross-fade " + num(s.crossFade) +
                     ") does not fit the recording or overlaps the cut before it");
        previousResume = spliceResume(s);
    }

    {
        auto sane = [](float g) { return std::isfinite(g) && g > 0.0f && g <= 1000.0f; };
        if (!sane(d.leftGain) || !sane(d.rightGain)) mismatch("a level gain is not a gain");
        if (d.appliedHiss < 0 || d.appliedHiss > 3 || d.appliedTreble < -3 || d.appliedTreble > 3)
            mismatch("the applied filter levels are out of range");
        if (d.profileStart != 0 && (d.profileStart < l.dataStart ||
                                    d.profileEnd <= d.profileStart || d.profileEnd > l.dataEnd))
            mismatch("the noise profile block lies outside the recording");
    }
    if ((!std::isfinite(d.levelSum) || !std::isfinite(d.balanceSum)))
        mismatch("the level sums are not numbers");
    for (float g : d.graphicGains)
        if (!std::isfinite(g) || g < 0.0f || g > 1.0e6f)
            mismatch("a graphic filter gain is not a gain");
}

} // namespace tarnival
