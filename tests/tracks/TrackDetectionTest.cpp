#include "TrackFixture.h"
#include "support/Signals.h"

#include <gtest/gtest.h>

#include <cmath>

namespace tarnival::test {
namespace {

// Chunk levels for a document: G (the level / 1024 that detection reads) per chunk range.
struct Levels {
    std::vector<int32_t> v;
    explicit Levels(int32_t dataBytes) : v(static_cast<size_t>(dataBytes / 4096 + 2), 0) {}
    Levels& set(int firstChunk, int endChunk, int g) {
        for (int k = firstChunk; k < endChunk && k < static_cast<int>(v.size()); ++k)
            v[static_cast<size_t>(k)] = g * 1024;
        return *this;
    }
};

std::vector<std::pair<int32_t, int32_t>> spans(const TrackList& t) {
    std::vector<std::pair<int32_t, int32_t>> out;
    for (int i = 1; i <= t.trackCount(); ++i) out.emplace_back(t[i].start, t[i].end);
    return out;
}

TEST(Detection, ThresholdsAndGaplessPlacement) {
    EXPECT_EQ(detectionThreshold(0), 20);
    EXPECT_EQ(detectionThreshold(10), 28);
    EXPECT_EQ(detectionThreshold(40), 80);
    EXPECT_EQ(detectionThreshold(90), 452);
    EXPECT_EQ(detectedGaplessBoundary(1000000, 1010000), 1004704);
    EXPECT_EQ(detectedGaplessBoundary(1000000, 1004703), 1000000);
    EXPECT_EQ(realignedGaplessBoundary(1000000, 1010000), 1010000 - 4704);
}

TEST(Detection, SilenceGivesOneTrackAndAMessage) {
    TrackDoc doc(20000000);
    Levels levels(20000000);
    auto ctx = doc.ctx();
    EXPECT_EQ(DetectTracks(ctx, levels.v, 0), 1);
    ASSERT_EQ(doc.ui.messages.size(), 1u);
    EXPECT_EQ(doc.ui.messages[0], "No tracks were found");
    EXPECT_EQ(doc.tracks[1].start, 4704); // the earliest track position after 44 bytes
    EXPECT_EQ(doc.tracks[1].end, doc.tracks[0].end);
    EXPECT_EQ(doc.markerWidths(), (std::vector<int32_t>{-2, -3}));
    EXPECT_EQ(doc.tracks[1].title, "side1"); // default names ran
    EXPECT_EQ(doc.ui.statusPanes[3], "Tracks: 1");
    // No chunk levels at all behaves the same.
    EXPECT_EQ(DetectTracks(ctx, 0), 1);
}

TEST(Detection, LeadTailRiseAndFallOfOneSound) {
    TrackDoc doc(20000000);
    Levels levels(20000000);
    levels.set(1000, 2000, 31); // just above T(10) = 28
    auto ctx = doc.ctx();
    ASSERT_EQ(DetectionPass(ctx, levels.v, 10), 1);
    // The level rises 10 per block: sound begins at the third loud block, p = 1003 x 4096,
    // whose sector is 1746 x 2352; the start is 80 sectors before it.
    EXPECT_EQ(doc.tracks[1].start, 1746 * 2352 - 188160);
    // It falls a tenth per block: 31, 27, 24, 21, 18, 16, 14, 12 < 14 at p = 2007 x 4096,
    // sector 3495; the end is 40 sectors after it.
    EXPECT_EQ(doc.tracks[1].end, 3495 * 2352 + 94080);

    // Sound from the first chunk starts at the earliest track position, also when the data
    // sits 2 bytes off the frame grid.
    TrackDoc odd(20000000, 46);
    Levels early(20000000);
    early.set(0, 1000, 31);
    auto c2 = odd.ctx();
    DetectionPass(c2, early.v, 10);
    EXPECT_EQ(odd.tracks[1].start, 4706);
    EXPECT_EQ(odd.tracks[1].end % 2352, 2); // on the aligned sector grid
}

TEST(Detection, TrackEndsNeverPassTheRecording) {
    TrackDoc doc(20000000);
    Levels levels(20000000);
    // The sound stops 50,000 bytes before the end; its 94,080-byte tail would reach past it.
    levels.set(1000, 4870, 31);
    auto ctx = doc.ctx();
    ASSERT_EQ(DetectionPass(ctx, levels.v, 10), 1);
    EXPECT_EQ(doc.tracks[1].end, doc.tracks[0].end);
}

TEST(Detection, RecordingsShorterThanTheEarliestTrackPositionGiveNoBackwardTrack) {
    // 4704 is the earliest track position after a 44-byte header.
    for (int32_t bytes : {400, 4000, 4660, 4664, 9000}) {
        TrackDoc doc(bytes);
        Levels loud(bytes);
        loud.set(0, 3, 500);
        for (const auto& levels : {Levels(bytes).v, loud.v}) {
            auto ctx = doc.ctx();
            ASSERT_EQ(DetectTracks(ctx, levels, 0), 1) << bytes;
            EXPECT_LE(doc.tracks[1].start, doc.tracks[1].end) << bytes;
            EXPECT_LE(doc.tracks[1].end, doc.tracks[0].end) << bytes;
        }
    }
}

TEST(Detection, PausesShorterThanTheMinimumGapContinueTheTrack) {
    constexpr int32_t kBytes = 24000000;
    TrackDoc doc(kBytes);
    auto ctx = doc.ctx();
    Levels a(kBytes);
    a.set(1000, 2000, 31);
    ASSERT_EQ(DetectionPass(ctx, a.v, 10), 1);
    const int32_t end = doc.tracks[1].end;
    int32_t largestMerged = 0, smallestSplit = 1 << 30;
    for (int k = 2007; k < 2200; ++k) {
        Levels b(kBytes);
        b.set(k, k + 1000, 31);
        DetectionPass(ctx, b.v, 10);
        const int32_t start = doc.tracks[1].start;
        Levels both(kBytes);
        both.set(1000, 2000, 31).set(k, k + 1000, 31);
        int found = DetectionPass(ctx, both.v, 10);
        int32_t gap = start - end;
        EXPECT_EQ(found, gap <= 192000 ? 1 : 2) << "gap " << gap;
        if (found == 1)
            largestMerged = std::max(largestMerged, gap);
        else
            smallestSplit = std::min(smallestSplit, gap);
    }
    // The candidate moves in 4096-byte steps: the two outcomes meet at 192,000 bytes.
    EXPECT_LE(largestMerged, 192000);
    EXPECT_GT(largestMerged, 192000 - 4096);
    EXPECT_GT(smallestSplit, 192000);
    EXPECT_LT(smallestSplit, 192000 + 4096);
}

TEST(Detection, ShortBurstMovesTheStartAndShortTracksMerge) {
    constexpr int32_t kBytes = 20000000;
    TrackDoc doc(kBytes);
    auto ctx = doc.ctx();
    // A 300,000-byte burst, then silence, then a long sound: one track, whose start followed
    // the silence up to the last quiet block before the sound (p = 1500 x 4096, sector 2612).
    Levels burst(kBytes);
    burst.set(1000, 1073, 31).set(1500, 2500, 31);
    ASSERT_EQ(DetectionPass(ctx, burst.v, 10), 1);
    EXPECT_EQ(doc.tracks[1].start, 2612 * 2352 - 188160);
    // A 1,000,000-byte burst is sound enough: it stays a track of its own (the first track is
    // never merged away).
    Levels longer(kBytes);
    longer.set(1000, 1245, 31).set(1500, 2500, 31);
    EXPECT_EQ(DetectionPass(ctx, longer.v, 10), 2);
    EXPECT_LT(int64_t{doc.tracks[1].end} - doc.tracks[1].start, 2000000);

    // A track under 2,000,000 bytes after the first joins the one before.
    Levels shortMiddle(kBytes);
    shortMiddle.set(1000, 2000, 31).set(2300, 2500, 31).set(2800, 3800, 31);
    ASSERT_EQ(DetectionPass(ctx, shortMiddle.v, 10), 2);
    EXPECT_EQ(doc.tracks[1].end, 4365 * 2352 + 94080); // where the short track ended
    EXPECT_EQ(doc.tracks[2].start, 4881 * 2352 - 188160);
    Levels longMiddle(kBytes);
    longMiddle.set(1000, 2000, 31).set(2300, 3000, 31).set(3300, 4300, 31);
    EXPECT_EQ(DetectionPass(ctx, longMiddle.v, 10), 3);
}

// Six 700-chunk pieces separated by 250-chunk pauses whose noise levels decide at which
// sensitivity each pause becomes a gap.
Levels sixPieces(int32_t bytes, const std::vector<int>& pauseNoise) {
    Levels l(bytes);
    int k = 100;
    for (size_t i = 0; i < 6; ++i) {
        l.set(k, k + 700, 2000);
        k += 700;
        if (i < pauseNoise.size()) l.set(k, k + 250, pauseNoise[i]);
        k += 250;
    }
    return l;
}

TEST(Detection, TargetCountStopsAtTheFirstSensitivityReachingIt) {
    constexpr int32_t kBytes = 24000000;
    // Pauses at 5 are gaps from the start; the three near 35 all open at P = 38.
    Levels levels = sixPieces(kBytes, {5, 35, 5, 35, 36});
    {
        TrackDoc doc(kBytes);
        auto ctx = doc.ctx();
        EXPECT_EQ(DetectTracks(ctx, levels.v, 3), 3);
        EXPECT_TRUE(doc.ui.messages.empty());
    }
    {
        TrackDoc doc(kBytes);
        auto ctx = doc.ctx();
        EXPECT_EQ(DetectTracks(ctx, levels.v, 5), 6); // 6 appear at once, past the target
        ASSERT_EQ(doc.ui.messages.size(), 1u);
        EXPECT_EQ(doc.ui.messages[0], "The target number of tracks could not be found");
        EXPECT_EQ(doc.markerWidths().size(), 12u);
        for (int i = 1; i <= 6; ++i) EXPECT_EQ(doc.tracks[i].title, "???");
    }
    {
        TrackDoc doc(kBytes);
        auto ctx = doc.ctx();
        EXPECT_EQ(DetectTracks(ctx, levels.v, 7), 6); // runs out at P = 90
        EXPECT_EQ(doc.ui.messages,
                  (std::vector<std::string>{"The target number of tracks could not be found"}));
    }
}

TEST(Detection, AutomaticStopsWhenTheCountRepeatsAndPlacesGaplessBoundaries) {
    constexpr int32_t kBytes = 24000000;
    Levels levels = sixPieces(kBytes, {5, 35, 5, 35, 36});
    TrackDoc doc(kBytes);
    auto ctx = doc.ctx();
    EXPECT_EQ(DetectTracks(ctx, levels.v, 0), 3);
    EXPECT_TRUE(doc.ui.messages.empty());
    auto automatic = spans(doc.tracks);
    // 3 at P = 10 and again at P = 20: the final pass runs at P = 10.
    TrackDoc at10(kBytes), at20(kBytes);
    auto c10 = at10.ctx();
    auto c20 = at20.ctx();
    DetectionPass(c10, levels.v, 10);
    DetectionPass(c20, levels.v, 20);
    EXPECT_EQ(automatic, spans(at10.tracks));
    EXPECT_NE(automatic, spans(at20.tracks));
    for (int i = 2; i <= 3; ++i) EXPECT_GT(automatic[i - 1].first - automatic[i - 2].second, 0);

    // Gapless: each pair shares a boundary placed into the gap from the end side.
    TrackDoc gapless(kBytes);
    gapless.tracks.gapless = true;
    auto cg = gapless.ctx();
    DetectTracks(cg, levels.v, 0);
    ASSERT_EQ(gapless.tracks.trackCount(), 3);
    for (int i = 1; i < 3; ++i) {
        int32_t b = detectedGaplessBoundary(automatic[i - 1].second, automatic[i].first);
        EXPECT_EQ(gapless.tracks[i].end, b);
        EXPECT_EQ(gapless.tracks[i + 1].start, b);
        EXPECT_GT(b, automatic[i - 1].second);
        EXPECT_LT(b, automatic[i].first);
    }
    EXPECT_EQ(gapless.tracks[1].start, automatic[0].first);
}

TEST(Detection, CutSectionsAreSkipped) {
    constexpr int32_t kBytes = 20000000;
    TrackDoc doc(kBytes);
    Levels levels(kBytes);
    levels.set(1000, 2000, 2000).set(2500, 3500, 2000);
    auto ctx = doc.ctx();
    EXPECT_EQ(DetectTracks(ctx, levels.v, 0), 2);
    // Cut the second piece out: the detector reads through the cut map and finds one.
    doc.splices.insert(Splice{2400 * 4096 + 44, 3600 * 4096 + 44, 880, 0, {}});
    ResetTrackList(ctx);
    EXPECT_EQ(DetectTracks(ctx, levels.v, 0), 1);
    EXPECT_LE(doc.tracks[1].end, doc.tracks[0].end);
}

TEST(Detection, RescanChoices) {
    constexpr int32_t kBytes = 24000000;
    Levels levels = sixPieces(kBytes, {5, 35, 5, 35, 36});
    TrackDoc doc(kBytes);
    doc.tracks[0].title = "Side One";
    auto ctx = doc.ctx();
    RescanTracks(ctx, levels.v, {RescanMode::UserAssisted, 99, true});
    EXPECT_EQ(doc.tracks.trackCount(), 6); // the count is held to 30, which cannot be met
    EXPECT_TRUE(doc.tracks.gapless);
    EXPECT_EQ(doc.profile.getInt("Settings", "Gapless", 0), 1);
    EXPECT_TRUE(doc.tracks.rescanned);
    EXPECT_TRUE(doc.modified);
    EXPECT_EQ(doc.tracks[2].start, doc.tracks[1].end);

    RescanTracks(ctx, levels.v, {RescanMode::RemoveAll, 2, false});
    ASSERT_EQ(doc.tracks.trackCount(), 1);
    EXPECT_EQ(doc.tracks[1].start, 4704);
    EXPECT_EQ(doc.tracks[1].end, doc.tracks[0].end);
    EXPECT_EQ(doc.tracks[1].title, "Side One");
    EXPECT_EQ(doc.markerWidths(), (std::vector<int32_t>{-2, -3}));
    EXPECT_EQ(doc.profile.getInt("Settings", "Gapless", 1), 0);

    RescanTracks(ctx, levels.v, {RescanMode::AutoDetect, 2, false});
    EXPECT_EQ(doc.tracks.trackCount(), 3);
}

// A record side: pieces of music that end with a natural decay, 2-second pauses of light
// hiss between them, levels computed from the samples as the loader does.
TEST(Detection, RealisticSideSplitsAtThePauses) {
    const int rate = 44100;
    const double pieceSeconds[] = {14.0, 17.5, 12.5, 16.0};
    const double pauseSeconds = 2.0;
    Stereo side = hiss(rate / 2, 8.0, 11);
    std::vector<std::pair<int, int>> pauses; // frames
    for (size_t i = 0; i < 4; ++i) {
        int frames = static_cast<int>(pieceSeconds[i] * rate);
        Stereo piece = music(frames, rate, static_cast<uint32_t>(i + 1), 6000.0);
        // The last 3 seconds die away (time constant 0.35 s), as a held chord does.
        int decay = 3 * rate;
        for (int f = frames - decay; f < frames; ++f) {
            double g = std::exp(-(f - (frames - decay)) / (0.35 * rate));
            for (int ch = 0; ch < 2; ++ch) {
                auto& s = piece[2 * static_cast<size_t>(f) + static_cast<size_t>(ch)];
                s = static_cast<int16_t>(s * g);
            }
        }
        mix(piece, hiss(frames, 8.0, 20 + static_cast<uint32_t>(i)));
        append(side, piece);
        if (i < 3) {
            int from = static_cast<int>(side.size() / 2);
            append(side,
                   hiss(static_cast<int>(pauseSeconds * rate), 8.0, 30 + static_cast<uint32_t>(i)));
            pauses.emplace_back(from, static_cast<int>(side.size() / 2));
        }
    }
    append(side, hiss(rate, 8.0, 40));
    const int frames = static_cast<int>(side.size() / 2);
    TrackDoc doc(frames * 4);
    std::vector<int32_t> levels = chunkLevels(side.data(), frames); // data start 44: chunk 0 at 44
    auto ctx = doc.ctx();
    ASSERT_EQ(DetectTracks(ctx, levels, 0), 4);
    EXPECT_TRUE(doc.ui.messages.empty());
    auto bytes = [](int frame) { return 44 + 4 * static_cast<int64_t>(frame); };
    const int64_t second = 4 * rate;
    for (int i = 0; i < 3; ++i) {
        int64_t from = bytes(pauses[static_cast<size_t>(i)].first);
        int64_t to = bytes(pauses[static_cast<size_t>(i)].second);
        int64_t end = doc.tracks[i + 1].end;
        int64_t start = doc.tracks[i + 2].start;
        EXPECT_GE(end, from - second) << "track " << i + 1;
        EXPECT_LE(end, to + second);
        EXPECT_GE(start, from - second);
        EXPECT_LE(start, to + second);
        EXPECT_LE(end, start);
    }
    EXPECT_EQ(doc.tracks[1].start, 4704);
    // The last piece ends in its decay, then a second of hiss.
    EXPECT_GE(doc.tracks[4].end, doc.tracks[0].end - 4 * second);
    EXPECT_LE(doc.tracks[4].end, doc.tracks[0].end);
}

TEST(Detection, PausesMustOutlastLeadTailAndMinimumGap) {
    // Abrupt ends and 2-second pauses: 80 + 40 sectors of lead and tail and the 192,000-byte
    // minimum gap (about 2.7 s together) swallow the pause, so the side stays one track.
    const int rate = 44100;
    Stereo side = hiss(rate / 2, 8.0, 11);
    for (uint32_t i = 0; i < 3; ++i) {
        append(side, music(14 * rate, rate, i + 1, 6000.0));
        append(side, hiss(2 * rate, 8.0, 30 + i));
    }
    const int frames = static_cast<int>(side.size() / 2);
    TrackDoc doc(frames * 4);
    auto ctx = doc.ctx();
    EXPECT_EQ(DetectTracks(ctx, chunkLevels(side.data(), frames), 0), 1);
    // The same pieces with 4-second pauses come apart.
    Stereo wide = hiss(rate / 2, 8.0, 11);
    for (uint32_t i = 0; i < 3; ++i) {
        append(wide, music(14 * rate, rate, i + 1, 6000.0));
        append(wide, hiss(4 * rate, 8.0, 30 + i));
    }
    const int wideFrames = static_cast<int>(wide.size() / 2);
    TrackDoc apart(wideFrames * 4);
    auto c2 = apart.ctx();
    EXPECT_EQ(DetectTracks(c2, chunkLevels(wide.data(), wideFrames), 0), 3);
}

} // namespace
} // namespace tarnival::test
