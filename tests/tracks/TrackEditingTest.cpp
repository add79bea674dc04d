#include "TrackFixture.h"

#include <gtest/gtest.h>

#include <limits>

namespace tarnival::test {
namespace {

constexpr int32_t kSecond = 176400; // bytes per second at 44.1 kHz

TEST(TrackSplit, RefusesNearEdgesAndSplitsWithTheRightFields) {
    TrackDoc doc;
    Track t;
    t.start = 4704;
    t.end = 4704 + 10 * kSecond; // a 10 s track
    t.title = "Song";
    t.artist = "Artist";
    t.album = "Album";
    t.genre = "Jazz";
    t.fadeIn = 100;
    t.preSilence = 200;
    t.fadeOut = 300;
    t.postSilence = 400;
    doc.tracks.tracks = {doc.tracks[0], t};
    auto ctx = doc.ctx();
    RebuildTrackMarkers(ctx);
    auto before = doc.tracks.tracks;

    // 0.5 s in: refused, nothing changes.
    EXPECT_EQ(SplitTrack(ctx, 4704 + kSecond / 2), -1);
    ASSERT_EQ(doc.ui.messages.size(), 1u);
    EXPECT_EQ(doc.ui.messages[0],
              "The Split Point is too close to the start or end of an existing track.");
    EXPECT_EQ(doc.tracks.tracks, before);
    EXPECT_FALSE(doc.modified);
    // 0.5 s before the end: refused too.
    EXPECT_EQ(SplitTrack(ctx, t.end - kSecond / 2), -1);
    EXPECT_EQ(doc.ui.messages.size(), 2u);

    // 5 s in (on the sector grid already): two tracks.
    int selected = SplitTrack(ctx, 4704 + 5 * kSecond + 1000);
    const int32_t p = 4704 + 5 * kSecond + 1000 - (4704 + 5 * kSecond + 1000) % 2352;
    ASSERT_EQ(doc.tracks.trackCount(), 2);
    const Track& a = doc.tracks[1];
    const Track& b = doc.tracks[2];
    EXPECT_EQ(a.start, 4704);
    EXPECT_EQ(a.end, p);
    EXPECT_EQ(a.title, "Song");
    EXPECT_EQ(a.fadeIn, 100);
    EXPECT_EQ(a.preSilence, 200);
    EXPECT_EQ(a.fadeOut, 0);
    EXPECT_EQ(a.postSilence, 0);
    EXPECT_EQ(b.start, p);
    EXPECT_EQ(b.end, t.end);
    EXPECT_EQ(b.title, "???"); // emptied, then named by default
    EXPECT_EQ(b.fadeIn, 0);
    EXPECT_EQ(b.preSilence, 0);
    EXPECT_EQ(b.fadeOut, 300);
    EXPECT_EQ(b.postSilence, 400);
    EXPECT_EQ(b.artist, "Artist");
    EXPECT_EQ(b.album, "Album");
    EXPECT_EQ(b.genre, "Jazz");
    EXPECT_TRUE(doc.modified);
    EXPECT_EQ(doc.ui.statusPanes[3], "Tracks: 2");

    // The selected entry is the new end marker; the markers match a full rebuild.
    ASSERT_GT(selected, 0);
    EXPECT_EQ(doc.corrections[selected].width, -3);
    EXPECT_EQ(doc.corrections[selected].position, p);
    EXPECT_EQ(doc.corrections[selected - 1].width, -4); // start of track 2 just before it
    auto incremental = doc.corrections.entries();
    RebuildTrackMarkers(ctx);
    EXPECT_EQ(doc.corrections.entries(), incremental);
}

TEST(TrackSplit, RenumbersLaterMarkersAndRefusesInGaps) {
    TrackDoc doc;
    doc.setTracks({{4704, 4704 + 2352 * 1000}, {4704 + 2352 * 1200, 4704 + 2352 * 2000}});
    auto ctx = doc.ctx();
    // In the gap between the tracks: refused.
    EXPECT_EQ(SplitTrack(ctx, 4704 + 2352 * 1100), -1);
    EXPECT_EQ(doc.ui.messages.size(), 1u);
    // Before the first track: refused.
    EXPECT_EQ(SplitTrack(ctx, 100), -1);
    EXPECT_EQ(doc.ui.messages.size(), 2u);

    doc.tracks.playTrack = 2;
    ASSERT_GT(SplitTrack(ctx, 4704 + 2352 * 500), 0);
    EXPECT_EQ(doc.tracks.trackCount(), 3);
    EXPECT_EQ(doc.tracks.playTrack, 3); // still the same audio
    EXPECT_EQ(doc.markerWidths(), (std::vector<int32_t>{-2, -4, -3, -5, -6, -7}));
    EXPECT_EQ(doc.corrections[doc.findWidth(-6)].position, 4704 + 2352 * 1200);
    EXPECT_EQ(doc.corrections[doc.findWidth(-7)].position, 4704 + 2352 * 2000);
}

TEST(TrackMerge, KeepsFirstAndTakesLastFields) {
    TrackDoc doc;
    doc.setTracks({{4704, 100000}, {200000, 300000}, {400000, 500000}, {600000, 700000}});
    for (int i = 1; i <= 4; ++i) {
        Track& t = doc.tracks[i];
        t.title = "T" + std::to_string(i);
        t.fadeIn = i * 10;
        t.preSilence = i * 20;
        t.fadeOut = i * 30;
        t.postSilence = i * 40;
    }
    auto ctx = doc.ctx();
    EXPECT_FALSE(MergeTracks(ctx, 0, 1));
    EXPECT_FALSE(MergeTracks(ctx, 2, 2));
    EXPECT_FALSE(MergeTracks(ctx, 3, 5));
    EXPECT_FALSE(doc.modified);

    doc.tracks.playTrack = 4;
    ASSERT_TRUE(MergeTracks(ctx, 2, 3));
    ASSERT_EQ(doc.tracks.trackCount(), 3);
    const Track& m = doc.tracks[2];
    EXPECT_EQ(m.start, 200000);
    EXPECT_EQ(m.title, "T2");
    EXPECT_EQ(m.fadeIn, 20);
    EXPECT_EQ(m.preSilence, 40);
    EXPECT_EQ(m.end, 500000);
    EXPECT_EQ(m.fadeOut, 90);
    EXPECT_EQ(m.postSilence, 120);
    EXPECT_EQ(doc.tracks[3].title, "T4"); // the numbers after it drop by one
    EXPECT_EQ(doc.tracks.playTrack, 3);
    EXPECT_EQ(doc.markerWidths(), (std::vector<int32_t>{-2, -3, -4, -5, -6, -7}));
    EXPECT_TRUE(doc.modified);
    EXPECT_EQ(doc.ui.statusPanes[3], "Tr.3 of 3");
}

TEST(TrackMerge, AtMarkerAsksAndRefusesOuterMarkers) {
    TrackDoc doc;
    doc.setTracks({{4704, 100000}, {200000, 300000}, {400000, 500000}});
    auto ctx = doc.ctx();
    // The start of track 1 and the end of the last track have no neighbour: beep.
    EXPECT_FALSE(MergeAtMarker(ctx, doc.findWidth(-2)));
    EXPECT_FALSE(MergeAtMarker(ctx, doc.findWidth(-7)));
    EXPECT_EQ(doc.ui.beeps, 2);
    EXPECT_TRUE(doc.ui.questions.empty());

    // The end marker of track 2 merges tracks 3 and 2; Cancel keeps everything.
    doc.ui.answers = {Answer::Cancel, Answer::Ok};
    EXPECT_FALSE(MergeAtMarker(ctx, doc.findWidth(-5)));
    EXPECT_EQ(doc.tracks.trackCount(), 3);
    EXPECT_TRUE(MergeAtMarker(ctx, doc.findWidth(-5)));
    ASSERT_EQ(doc.ui.questions.size(), 2u);
    EXPECT_EQ(doc.ui.questions[1],
              "Track 3 will be permanently\nmerged with Track 2.\nReally Merge?");
    EXPECT_EQ(doc.ui.questionCaptions[1], "Merge Tracks");
    EXPECT_EQ(doc.ui.questionButtons[1], Buttons::OkCancel);
    ASSERT_EQ(doc.tracks.trackCount(), 2);
    EXPECT_EQ(doc.tracks[2].start, 200000);
    EXPECT_EQ(doc.tracks[2].end, 500000);

    // The start marker of track 2 merges tracks 2 and 1.
    doc.ui.answers = {Answer::Ok};
    EXPECT_TRUE(MergeAtMarker(ctx, doc.findWidth(-4)));
    EXPECT_EQ(doc.ui.questions.back(),
              "Track 2 will be permanently\nmerged with Track 1.\nReally Merge?");
    EXPECT_EQ(doc.tracks.trackCount(), 1);
    // An entry that is not a track marker: beep.
    int cue = doc.insert(50000, 1, -1);
    EXPECT_FALSE(MergeAtMarker(ctx, cue));
    EXPECT_EQ(doc.ui.beeps, 3);
}

class BlockMerge : public ::testing::Test {
  protected:
    TrackDoc doc{8000000};
    void SetUp() override {
        doc.setTracks(
            {{4704, 2000000}, {2000000, 4000000}, {4000000, 6000000}, {6000000, 8000044}});
    }
};

TEST_F(BlockMerge, AsksWithTheRightTextAndCaption) {
    auto ctx = doc.ctx();
    doc.ui.answers = {Answer::Ok, Answer::Ok};
    EXPECT_TRUE(MergeTracksInBlock(ctx, 1500000, 2500000));
    EXPECT_EQ(doc.ui.questions.back(), "Tracks 1 and 2 will be permanently merged.\nContinue?");
    EXPECT_EQ(doc.ui.questionCaptions.back(), "Merge Tracks in Block");
    EXPECT_EQ(doc.tracks.trackCount(), 3);
    EXPECT_EQ(doc.tracks[1].end, 4000000);
    // Tracks 1 to 3 now (the old 1+2, 3 and 4).
    EXPECT_TRUE(MergeTracksInBlock(ctx, 3000000, 7000000));
    EXPECT_EQ(doc.ui.questions.back(), "Tracks 1 to 3 will be permanently merged.\nContinue?");
    EXPECT_EQ(doc.tracks.trackCount(), 1);
    EXPECT_EQ(doc.tracks[1].end, 8000044);
}

TEST_F(BlockMerge, ShortRemaindersTakeInANeighbour) {
    auto ctx = doc.ctx();
    // Inside track 2, leaving 200,000 bytes of it: tracks 1 and 2 merge.
    doc.ui.answers = {Answer::Cancel};
    EXPECT_FALSE(MergeTracksInBlock(ctx, 2100000, 3900000));
    EXPECT_EQ(doc.ui.questions.back(), "Tracks 1 and 2 will be permanently merged.\nContinue?");
    EXPECT_EQ(doc.tracks.trackCount(), 4); // cancelled
    // Inside track 1 (d = 1): the next track is taken in instead.
    doc.ui.answers = {Answer::Cancel};
    EXPECT_FALSE(MergeTracksInBlock(ctx, 10000, 1900000));
    EXPECT_EQ(doc.ui.questions.back(), "Tracks 1 and 2 will be permanently merged.\nContinue?");
    // A block in the middle of a long track: nothing to merge.
    EXPECT_FALSE(MergeTracksInBlock(ctx, 2500000, 3000000));
    EXPECT_EQ(doc.ui.messages.back(), "No Tracks to Merge");
    EXPECT_EQ(doc.ui.messageCaptions.back(), "Merge Tracks in Block");
}

TEST_F(BlockMerge, CutFormCaptionsAndRefusals) {
    auto ctx = doc.ctx();
    // Nothing to merge: the cut may go on, silently.
    EXPECT_TRUE(MergeTracksInBlock(ctx, 2500000, 3000000, true));
    EXPECT_TRUE(doc.ui.messages.empty());
    // Cancel abandons the cut.
    doc.ui.answers = {Answer::Cancel};
    EXPECT_FALSE(MergeTracksInBlock(ctx, 1500000, 2500000, true));
    EXPECT_EQ(doc.ui.questionCaptions.back(), "Merge Tracks Before Executing Cut/Splice");
    EXPECT_EQ(doc.tracks.trackCount(), 4);

    // One track whose block leaves almost nothing: no neighbour to take in.
    TrackDoc one(4000000);
    one.setTracks({{4704, 4000044}});
    auto c1 = one.ctx();
    EXPECT_FALSE(MergeTracksInBlock(c1, 20000, 3900000, true));
    ASSERT_EQ(one.ui.messages.size(), 1u);
    EXPECT_EQ(one.ui.messages[0], "The Block is too long to complete the operation");
    EXPECT_EQ(one.tracks.trackCount(), 1);
}

TEST_F(BlockMerge, BlockIsMappedPastEarlierCuts) {
    // A cut of 1,000,000 bytes early on: a block at source 2.9M..3.1M is display 1.9M..2.1M,
    // across the boundary of tracks 1 and 2.
    doc.splices.insert(Splice{100044, 1100044 - 880, 880, 0, {}});
    auto ctx = doc.ctx();
    doc.ui.answers = {Answer::Cancel};
    EXPECT_FALSE(MergeTracksInBlock(ctx, 2900000, 3100000));
    ASSERT_EQ(doc.ui.questions.size(), 1u);
    EXPECT_EQ(doc.ui.questions[0], "Tracks 1 and 2 will be permanently merged.\nContinue?");
}

TEST(Gapless, ToggleAsksAndRealignsFromTheStartSide) {
    TrackDoc doc;
    doc.setTracks({{4704, 1990000}, {2000000, 3000000}, {3500000, 4000000}});
    auto ctx = doc.ctx();
    int cue = doc.insert(2500000, 1, -1);
    doc.ui.answers = {Answer::No};
    EXPECT_EQ(ToggleGapless(ctx, cue), cue);
    EXPECT_FALSE(doc.tracks.gapless);
    EXPECT_EQ(doc.tracks[1].end, 1990000);
    ASSERT_EQ(doc.ui.questions.size(), 1u);
    EXPECT_EQ(doc.ui.questions[0],
              "Gapless option will re-align all track boundaries.\nIt will also cause end of "
              "track fade and silence settings to be ignored.\nReally remove gaps?");
    EXPECT_EQ(doc.ui.questionButtons[0], Buttons::YesNo);

    doc.ui.answers = {Answer::Yes};
    int selected = ToggleGapless(ctx, cue);
    EXPECT_TRUE(doc.tracks.gapless);
    // A 10,000-byte gap: the boundary is the next start less 4704.
    EXPECT_EQ(doc.tracks[1].end, 2000000 - 4704);
    EXPECT_EQ(doc.tracks[2].start, 2000000 - 4704);
    // A 500,000-byte gap: 106 sector pairs come off the start.
    EXPECT_EQ(doc.tracks[2].end, 3500000 - 500000 / 4704 * 2352);
    EXPECT_EQ(doc.tracks[3].start, doc.tracks[2].end);
    EXPECT_EQ(doc.corrections[selected].position, 2500000); // the selection follows the cue
    EXPECT_EQ(doc.corrections[selected].magnitude, -1);
    EXPECT_EQ(doc.corrections[doc.findWidth(-3)].position, 2000000 - 4704);

    // Switching off asks nothing and moves nothing.
    auto tracks = doc.tracks.tracks;
    ToggleGapless(ctx, 0);
    EXPECT_FALSE(doc.tracks.gapless);
    EXPECT_EQ(doc.tracks.tracks, tracks);
    EXPECT_EQ(doc.ui.questions.size(), 2u);
}

TEST(DefaultNames, PlaceholdersAndOneTrackRules) {
    TrackList list;
    list.tracks.resize(4);
    list[1].title = "Track 1";
    list[2].title = "";
    list[3].title = "Song";
    list[3].album = "Own Album";
    FillDefaultNames(list, "/music/records/side1.wav");
    EXPECT_EQ(list[1].title, "???");
    EXPECT_EQ(list[2].title, "???");
    EXPECT_EQ(list[3].title, "Song");
    EXPECT_EQ(list[0].album, "side1");
    EXPECT_EQ(list[1].album, "side1");
    EXPECT_EQ(list[3].album, "Own Album");
    EXPECT_EQ(list[0].title, ""); // entry 0's title is left alone with several tracks

    TrackList two;
    two.tracks.resize(3);
    two[1].title = "side1"; // equal to the file's name
    two[2].title = "Tracking Song";
    FillDefaultNames(two, "side1.wav");
    EXPECT_EQ(two[1].title, "???");
    EXPECT_EQ(two[2].title, "???");

    TrackList one;
    one.tracks.resize(2);
    one[0].artist = "Band";
    one[1].title = "Track 01";
    FillDefaultNames(one, "side1.wav");
    EXPECT_EQ(one[0].title, "side1");
    EXPECT_EQ(one[1].title, "side1");
    EXPECT_EQ(one[1].artist, "Band");
    EXPECT_EQ(one[1].album, ""); // albums are only filled with several tracks
    one[0].title = "Whole Side";
    one[1].title = "Kept";
    one[1].artist = "Soloist";
    FillDefaultNames(one, "side1.wav");
    EXPECT_EQ(one[1].title, "Kept");
    EXPECT_EQ(one[1].artist, "Soloist");

    TrackList none; // entry 0 only; a name shorter than an extension
    FillDefaultNames(none, "a.b");
    EXPECT_EQ(none[0].title, "");
    EXPECT_EQ(defaultName("/x/y/side2.ape"), "side2");
}

TEST(BoundaryMove, LimitsMessageAndFields) {
    TrackDoc doc(3000000);
    doc.setTracks({{4704, 1000000}, {1200000, 2000000}, {2000000, 2900000}});
    auto ctx = doc.ctx();
    const TrackList& t = doc.tracks;
    // Start of track 2: between track 1's start and its own end.
    EXPECT_FALSE(BoundaryMoveAllowed(t, 2, true, 4704));
    EXPECT_TRUE(BoundaryMoveAllowed(t, 2, true, 4705));
    EXPECT_FALSE(BoundaryMoveAllowed(t, 2, true, 2000000));
    // Start of track 1: entry 0's start - 1 is the lower limit.
    EXPECT_TRUE(BoundaryMoveAllowed(t, 1, true, 44));
    EXPECT_FALSE(BoundaryMoveAllowed(t, 1, true, 43));
    // End of the last track: entry 0's end + 1 is the upper limit.
    EXPECT_TRUE(BoundaryMoveAllowed(t, 3, false, 3000044));
    EXPECT_FALSE(BoundaryMoveAllowed(t, 3, false, 3000045));
    EXPECT_FALSE(BoundaryMoveAllowed(t, 1, false, 2000000)); // past track 2's end
    EXPECT_FALSE(BoundaryMoveAllowed(t, 4, false, 100));     // no such track

    auto tracks = doc.tracks.tracks;
    EXPECT_EQ(MoveBoundary(ctx, doc.findWidth(-4), 2100000, 2110000, 2090000), -1);
    ASSERT_EQ(doc.ui.messages.size(), 1u);
    EXPECT_EQ(doc.ui.messages[0],
              "Track Boundary Move Failed.\nTrack has moved into adjacent track space");
    EXPECT_EQ(doc.tracks.tracks, tracks);

    // Start of track 2 to 900,000: fade handle after it, silence handle before it.
    int moved = MoveBoundary(ctx, doc.findWidth(-4), 900000, 910000, 895000);
    ASSERT_GT(moved, 0);
    EXPECT_EQ(doc.corrections[moved].width, -4);
    EXPECT_EQ(doc.corrections[moved].position, 900000);
    EXPECT_EQ(doc.tracks[2].start, 900000);
    EXPECT_EQ(doc.tracks[2].fadeIn, 10000);
    EXPECT_EQ(doc.tracks[2].preSilence, 5000);
    EXPECT_EQ(doc.tracks[1].end, 900000); // pulled back to the new start

    // End of track 1 to 800,000: the next start stays where it is.
    moved = MoveBoundary(ctx, doc.findWidth(-3), 800000, 790000, 808000);
    EXPECT_EQ(doc.tracks[1].end, 800000);
    EXPECT_EQ(doc.tracks[1].fadeOut, 10000);
    EXPECT_EQ(doc.tracks[1].postSilence, 8000);
    EXPECT_EQ(doc.tracks[2].start, 900000);
    // A handle on the wrong side gives no fade rather than a negative one.
    MoveBoundary(ctx, doc.findWidth(-3), 800000, 820000, 700000);
    EXPECT_EQ(doc.tracks[1].fadeOut, 0);
    EXPECT_EQ(doc.tracks[1].postSilence, 0);

    // Gapless: the neighbouring boundary follows.
    doc.tracks.gapless = true;
    MoveBoundary(ctx, doc.findWidth(-3), 850000, 850000, 850000);
    EXPECT_EQ(doc.tracks[2].start, 850000);
    EXPECT_TRUE(doc.modified);
}

TEST(TrackListReset, EntryZeroTagsAndSingleTrack) {
    TrackDoc doc(1000000);
    doc.setTracks({{4704, 500000}, {500000, 1000044}});
    doc.tracks.playTrack = 2;
    auto ctx = doc.ctx();
    std::map<std::string, std::string> tags{{"Album", "LP"},   {"ARTIST", "Band"},
                                            {"Title", "Side"}, {"genre", "Folk"},
                                            {"Track", "7"},    {"Year", "1971"}};
    ResetTrackList(ctx, &tags);
    ASSERT_EQ(doc.tracks.count(), 1);
    EXPECT_EQ(doc.tracks[0].start, 44);
    EXPECT_EQ(doc.tracks[0].end, 1000044);
    EXPECT_EQ(doc.tracks[0].album, "LP");
    EXPECT_EQ(doc.tracks[0].artist, "Band");
    EXPECT_EQ(doc.tracks[0].title, "Side");
    EXPECT_EQ(doc.tracks[0].genre, "Folk");
    EXPECT_EQ(doc.tracks.trackNumberText, "7");
    EXPECT_EQ(doc.tracks.playTrack, 0);
    EXPECT_EQ(doc.ui.statusPanes[3], "Tracks: 0");

    ResetToSingleTrack(ctx, nullptr);
    ASSERT_EQ(doc.tracks.trackCount(), 1);
    EXPECT_EQ(doc.tracks[0].album, ""); // a wave input has no tags
    EXPECT_EQ(doc.tracks.trackNumberText, "");
    EXPECT_EQ(doc.tracks[1].start, 4704);
    EXPECT_EQ(doc.tracks[1].end, 1000044);

    // With a cut in force, entry 0 spans the display positions.
    doc.splices.insert(Splice{200044, 300044, 880, 0, {}});
    ResetTrackList(ctx, nullptr);
    EXPECT_EQ(doc.tracks[0].end, 1000044 - 100880);
}

} // namespace
} // namespace tarnival::test
