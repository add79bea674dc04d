#include "audio/PlaybackEngine.h"
#include "audio/AudioFakes.h"
#include "document/WaveStore.h"
#include "support/ScriptedUi.h"
#include "support/Signals.h"
#include "support/TempDir.h"
#include "tracks/CutSplice.h"
#include "tracks/TrackList.h"

#include <gtest/gtest.h>

namespace tarnival::test {
namespace {

constexpr int32_t kData = 44;
constexpr int kRamp = 32000;
constexpr int16_t kRight = 10000;

// A document whose working file says where every frame came from: the left sample is the frame
// number (modulo 32000), the right one a constant; the source file holds the same inverted.
struct PlayDoc {
    TempDir dir;
    WaveStore store;
    TrackList tracks;
    SpliceList splices;

    explicit PlayDoc(int frames, int rate = 44100) {
        Stereo working(static_cast<size_t>(frames) * 2);
        for (int f = 0; f < frames; ++f) {
            working[2 * static_cast<size_t>(f)] = static_cast<int16_t>(f % kRamp);
            working[2 * static_cast<size_t>(f) + 1] = kRight;
        }
        Stereo source = working;
        for (int16_t& s : source) s = static_cast<int16_t>(~s);
        WavOptions options;
        options.rate = rate;
        writeWav(dir.file("side.wav"), source, options);
        writeWav(dir.file("side~.wav"), working, options);
        store.source.open(dir.file("side.wav"), File::Mode::ReadOnly);
        store.working.open(dir.file("side~.wav"), File::Mode::ReadWrite);
        store.layout.dataStart = kData;
        store.layout.dataEnd = kData + frames * 4;
        store.layout.fileLength = store.layout.dataEnd;
        store.layout.sampleRate = rate;
        tracks[0].start = kData;
        tracks[0].end = store.layout.dataEnd;
    }
    PlaybackDocument document() const { return {store, tracks, splices}; }
    static int32_t pos(int frame) { return kData + frame * 4; }
};

int16_t left(const std::vector<uint8_t>& bytes, size_t frame) {
    return static_cast<int16_t>(bytes[4 * frame] | (bytes[4 * frame + 1] << 8));
}
int16_t right(const std::vector<uint8_t>& bytes, size_t frame) {
    return static_cast<int16_t>(bytes[4 * frame + 2] | (bytes[4 * frame + 3] << 8));
}
// The frame numbers heard, from the left channel of the working file's ramp.
std::vector<int> framesHeard(const std::vector<uint8_t>& bytes) {
    std::vector<int> frames;
    for (size_t f = 0; f < bytes.size() / 4; ++f) frames.push_back(left(bytes, f));
    return frames;
}

struct Recorded : PlaybackObserver {
    int started = 0, ended = 0, toggles = 0;
    std::vector<int32_t> positions;
    std::vector<bool> pauses;
    void playbackStarted() override { ++started; }
    void playPositionChanged(int32_t p) override { positions.push_back(p); }
    void toggleChanged() override { ++toggles; }
    void pauseChanged(bool paused) override { pauses.push_back(paused); }
    void playbackEnded() override { ++ended; }
};

struct Rig {
    PlayDoc doc;
    FakeLoop loop;
    FakeOutput out{loop};
    ScriptedUi ui;
    Recorded seen;
    PlaybackEngine engine{doc.document(), out, loop, ui};

    explicit Rig(int frames, int rate = 44100) : doc(frames, rate) { engine.setObserver(&seen); }
    // Lets the device play everything queued, with the engine answering, until nothing is left.
    void playAll(int maxBuffers = 100) {
        loop.run();
        for (int i = 0; i < maxBuffers && out.playBuffer(); ++i) loop.run();
        loop.run();
    }
};

TEST(PlaybackEngine, TrackPlayCirculatesFourBuffersAndRepeatsUntilCancelled) {
    const int frames = 700000; // 3.4 buffers
    Rig rig(frames);
    rig.doc.tracks.tracks.push_back(Track{});
    Track& t = rig.doc.tracks[1];
    t.start = PlayDoc::pos(1000);
    t.end = PlayDoc::pos(1000 + 3 * 204800 + 5000);

    rig.engine.playTrack(1, true);
    ASSERT_EQ(rig.out.openedRates, std::vector<int>{44100});
    EXPECT_EQ(rig.seen.started, 1);
    EXPECT_EQ(rig.loop.timerInterval, kPlayTimerMs);
    rig.loop.run(); // the open notification: the begin step
    EXPECT_TRUE(rig.engine.isPlaying());
    EXPECT_FALSE(rig.out.paused);
    EXPECT_EQ(rig.out.writeSizes,
              (std::vector<size_t>{819200, 819200, 819200, 5000 * 4})); // the fourth is the end
    EXPECT_EQ(rig.engine.lastBuffer(), 4);

    // One whole pass, and the track starts again without closing the device.
    for (int i = 0; i < 4; ++i) {
        ASSERT_TRUE(rig.out.playBuffer());
        rig.loop.run();
    }
    EXPECT_EQ(rig.out.closes, 0);
    EXPECT_EQ(rig.out.openedRates.size(), 1u);
    ASSERT_EQ(rig.out.queue.size(), 4u); // refilled from the track start
    std::vector<int> heard = framesHeard(rig.out.heard);
    ASSERT_EQ(heard.size(), static_cast<size_t>(3 * 204800 + 5000));
    for (size_t i = 0; i < heard.size(); ++i)
        ASSERT_EQ(heard[i], static_cast<int>((1000 + i) % kRamp)) << "frame " << i;
    EXPECT_EQ(left(rig.out.queue.front().bytes, 0), 1000);

    // Playing pauses it, playing again resumes.
    rig.engine.playTrack(1, true);
    EXPECT_TRUE(rig.engine.isPaused());
    EXPECT_TRUE(rig.out.paused);
    rig.engine.playTrack(1, true);
    EXPECT_FALSE(rig.engine.isPaused());
    EXPECT_EQ(rig.seen.pauses, (std::vector<bool>{true, false}));

    EXPECT_TRUE(rig.engine.cancel());
    rig.loop.run();
    EXPECT_EQ(rig.out.closes, 1);
    EXPECT_EQ(rig.engine.state(), PlaybackEngine::State::Stopped);
    EXPECT_EQ(rig.seen.ended, 1);
    EXPECT_FALSE(rig.loop.timer);
    EXPECT_FALSE(rig.engine.cancel()); // not playing: the view presses "Abort" instead
}

TEST(PlaybackEngine, ShortBlockIsOneBufferAndClosesWhenItReturns) {
    Rig rig(50000);
    PlayBlock block{PlayDoc::pos(100), PlayDoc::pos(20100) + 3}; // end rounded to a frame
    ASSERT_TRUE(rig.engine.playBlock(false, block));
    rig.loop.run();
    EXPECT_EQ(rig.out.writeSizes, std::vector<size_t>{80000});
    EXPECT_EQ(rig.engine.lastBuffer(), 1);
    EXPECT_TRUE(rig.engine.isBlockPlay());
    rig.playAll();
    EXPECT_EQ(rig.out.closes, 1);
    EXPECT_EQ(rig.seen.ended, 1);
    EXPECT_FALSE(rig.engine.isBlockPlay());
    // The original source: the inverted ramp.
    EXPECT_EQ(left(rig.out.heard, 0), static_cast<int16_t>(~100));
    EXPECT_EQ(right(rig.out.heard, 0), static_cast<int16_t>(~kRight));
    // While playing a block, nothing else starts; without a block nothing plays.
    EXPECT_FALSE(rig.engine.playBlock(true, {}));
}

TEST(PlaybackEngine, SpeedDividesTheRateAndAChangeReopensAtThePlayPosition) {
    Rig rig(400000);
    rig.engine.setSpeed(4);
    EXPECT_EQ(speedDivisor(4), 8);
    EXPECT_EQ(speedLabel(4), "Playback Speed\nX 1/8");
    EXPECT_EQ(speedLabel(1), "Playback Speed\nX 1");
    rig.engine.playTrack(0, true);
    rig.loop.run();
    EXPECT_EQ(rig.out.openedRates, std::vector<int>{5512}); // 44100 / 8 in whole numbers

    // The marker follows what the device has played: 20 ms at 1/8 speed is 441 bytes.
    rig.out.play(1102 * 4); // a fifth of a second at this rate
    rig.loop.tick();
    EXPECT_EQ(rig.engine.playPosition(), PlayDoc::pos(1102));

    rig.engine.setSpeed(1);
    rig.loop.run();
    EXPECT_EQ(rig.out.openedRates, (std::vector<int>{5512, 44100}));
    EXPECT_EQ(rig.seen.ended, 0); // a speed change is not the end of playback
    ASSERT_FALSE(rig.out.queue.empty());
    EXPECT_EQ(left(rig.out.queue.front().bytes, 0), 1102);
    rig.engine.cancel();
    rig.loop.run();
}

TEST(PlaybackEngine, SeekSkipBackAndSourceSwitchContinueWithoutClosing) {
    Rig rig(600000);
    rig.engine.playTrack(0, true);
    rig.loop.run();
    rig.out.play(40000 * 4);
    rig.loop.tick();
    ASSERT_EQ(rig.engine.playPosition(), PlayDoc::pos(40000));

    // Skip Back near the start restarts at the start of the data.
    ASSERT_TRUE(rig.engine.skipBack());
    rig.loop.run();
    EXPECT_EQ(rig.out.resets, 1);
    EXPECT_EQ(left(rig.out.queue.front().bytes, 0), 0);
    EXPECT_EQ(rig.out.closes, 0);

    // Skip Back further in goes 88,000 frames back.
    rig.out.play(300000 * 4);
    rig.loop.run();
    rig.loop.tick();
    ASSERT_EQ(rig.engine.playPosition(), PlayDoc::pos(300000));
    rig.engine.skipBack();
    rig.loop.run();
    EXPECT_EQ(left(rig.out.queue.front().bytes, 0), (300000 - 88000) % kRamp);

    // A click continues from there; one beyond the end of the range is ignored.
    EXPECT_FALSE(rig.engine.seek(rig.doc.store.layout.dataEnd));
    EXPECT_TRUE(rig.engine.seek(PlayDoc::pos(123456)));
    rig.loop.run();
    EXPECT_EQ(left(rig.out.queue.front().bytes, 0), 123456 % kRamp);

    // The toggle switches to the original and continues from the play position.
    rig.out.play(4 * 1000);
    rig.loop.tick();
    rig.engine.toggleSource();
    rig.loop.run();
    EXPECT_FALSE(rig.engine.isCorrected());
    EXPECT_EQ(rig.engine.toggleLook().text, "Playing... Original");
    EXPECT_EQ(rig.engine.toggleLook().textRgb, 0x0000FFu);
    EXPECT_EQ(rig.seen.toggles, 1);
    EXPECT_EQ(left(rig.out.queue.front().bytes, 0), static_cast<int16_t>(~(124456 % kRamp)));
    EXPECT_EQ(rig.out.closes, 0);
    EXPECT_EQ(rig.out.openedRates.size(), 1u);
    rig.engine.cancel();
    rig.loop.run();
    EXPECT_EQ(rig.seen.ended, 1);
}

TEST(PlaybackEngine, CutSectionsAreSkippedWithTheirCrossFadeAndTheMarkerJumps) {
    Rig rig(100000);
    // A cut of frames 20000..25000 with a cross-fade of 100 frames, as the cut command makes it.
    Splice cut;
    cut.cutStart = PlayDoc::pos(20000);
    cut.cutEnd = PlayDoc::pos(25000);
    cut.crossFade = 400;
    cut.fadeBytes.assign(800, 0);
    for (int i = 0; i < 100; ++i) {
        // Second half (the working file's): frames marked 31000 + i so they are recognised.
        cut.fadeBytes[400 + 4 * static_cast<size_t>(i)] = static_cast<uint8_t>((31000 + i) & 0xFF);
        cut.fadeBytes[400 + 4 * static_cast<size_t>(i) + 1] =
            static_cast<uint8_t>((31000 + i) >> 8);
    }
    rig.doc.splices.insert(cut);

    ASSERT_TRUE(rig.engine.playStretch(PlayDoc::pos(0), PlayDoc::pos(30000), true));
    rig.loop.run();
    rig.out.play(4 * 19950);
    rig.loop.tick();
    EXPECT_EQ(rig.engine.playPosition(), PlayDoc::pos(19950)); // inside the cross-fade
    rig.out.play(4 * 100);
    rig.loop.tick();
    EXPECT_EQ(rig.engine.playPosition(), PlayDoc::pos(25150)); // past the cut
    rig.playAll();

    std::vector<int> heard = framesHeard(rig.out.heard);
    ASSERT_EQ(heard.size(), static_cast<size_t>(19900 + 100 + 4900));
    for (int i = 0; i < 19900; ++i) ASSERT_EQ(heard[static_cast<size_t>(i)], i);
    for (int i = 0; i < 100; ++i) ASSERT_EQ(heard[static_cast<size_t>(19900 + i)], 31000 + i);
    for (int i = 0; i < 4900; ++i) ASSERT_EQ(heard[static_cast<size_t>(20000 + i)], 25100 + i);
}

TEST(PlaybackEngine, CutPreviewSkipsTheSelectedBlockWithALinearCrossFade) {
    Rig rig(100000);
    rig.doc.splices.crossFadeIndex = 0; // 880 bytes
    PlayBlock block{PlayDoc::pos(20000), PlayDoc::pos(28000)};
    rig.engine.playTrack(0, true, block);
    rig.loop.run();
    ASSERT_TRUE(rig.out.playBuffer()); // one pass in one buffer; the track would start again
    rig.engine.cancel();
    rig.loop.run();

    const std::vector<uint8_t>& heard = rig.out.heard;
    // Up to block start - 220 frames as is, then 220 blended frames, then from block end + 220.
    ASSERT_EQ(heard.size() / 4, 100000u - 8000u - 220u);
    EXPECT_EQ(left(heard, 19779), 19779);
    const int n = 220 * 2; // sixteen-bit values in the cross-fade
    for (int i = 0; i < 220; i += 37) {
        int pre = 19780 + i, post = 28000 + i, v = 2 * i;
        int expected = pre * (n - v) / n + post * v / n;
        EXPECT_EQ(left(heard, static_cast<size_t>(19780 + i)), expected) << i;
    }
    EXPECT_EQ(left(heard, 20000), 28220);
    // A click inside the previewed block is ignored.
    Rig again(100000);
    again.engine.playTrack(0, true, block);
    again.loop.run();
    EXPECT_FALSE(again.engine.seek(PlayDoc::pos(25000)));
    EXPECT_TRUE(again.engine.seek(PlayDoc::pos(29000)));
}

struct FadeCase {
    bool linear;
    int frame;        // frame into the track
    int16_t expected; // right channel (10000 at full level)
};

TEST(PlaybackEngine, TrackFadesScaleEachGroupOfTwentyFrames) {
    // A track of 1000 frames with a fade-in and a fade-out of 100 frames (400 bytes each):
    // L = 404, d is the distance from the fade's full-level end at the group's first frame.
    const FadeCase cases[] = {
        {true, 0, 99},    // d = 400: 1 - 400/404
        {true, 19, 99},   // the same group
        {true, 20, 2079}, // d = 320
        {true, 100, kRight}, {true, 500, kRight},
        {true, 900, kRight}, // the fade-out's full-level end
        {true, 920, 8019},   // d = 80
        {true, 999, 2079},   // d = 320 at frame 980
        {false, 0, 10},      // 0.001 ^ (400/404)
        {false, 40, 165},    // 0.001 ^ (240/404)
        {false, 920, 2546},  // 0.001 ^ (80/404)
    };
    for (const FadeCase& c : cases) {
        SCOPED_TRACE(testing::Message() << (c.linear ? "linear" : "log") << " frame " << c.frame);
        Rig rig(5000);
        rig.doc.tracks.fadeLinear = c.linear;
        rig.doc.tracks.tracks.push_back(Track{});
        Track& t = rig.doc.tracks[1];
        t.start = PlayDoc::pos(1000);
        t.end = PlayDoc::pos(2000);
        t.fadeIn = 400;
        t.fadeOut = 400;
        rig.engine.playBlock(true, {t.start, t.end});
        rig.playAll();
        ASSERT_EQ(rig.out.heard.size(), 4000u);
        EXPECT_EQ(right(rig.out.heard, static_cast<size_t>(c.frame)), c.expected);
    }
}

TEST(PlaybackEngine, ChannelSwitchesMuteAChannel) {
    Rig rig(20000);
    rig.engine.setChannelGains(0.0, 1.0);
    rig.engine.playBlock(true, {PlayDoc::pos(0), PlayDoc::pos(10000)});
    rig.playAll();
    EXPECT_EQ(left(rig.out.heard, 5000), 0);
    EXPECT_EQ(right(rig.out.heard, 5000), kRight);
}

TEST(PlaybackEngine, AuditionPlaysTheViewOrOneSecondAboutTheEntryAndHearsTheBoundary) {
    {
        Rig rig(200000);
        // A view narrower than one second: exactly one second centred on the entry.
        ASSERT_TRUE(rig.engine.audition(true, PlayDoc::pos(50000), PlayDoc::pos(60000),
                                        PlayDoc::pos(100000)));
        EXPECT_EQ(rig.engine.rangeStart(), PlayDoc::pos(100000 - 22050));
        EXPECT_EQ(rig.engine.rangeEnd(), PlayDoc::pos(100000 + 22050));
        rig.playAll();
        EXPECT_EQ(rig.out.heard.size(), 44100u * 4);
        EXPECT_EQ(rig.out.closes, 1);
    }
    {
        Rig rig(200000);
        ASSERT_TRUE(rig.engine.audition(false, PlayDoc::pos(10000), PlayDoc::pos(90000),
                                        PlayDoc::pos(100000)));
        EXPECT_EQ(rig.engine.rangeStart(), PlayDoc::pos(10000));
        EXPECT_EQ(rig.engine.rangeEnd(), PlayDoc::pos(90000));
    }
    {
        // A track-end boundary: the play ends there, fading out from the panel's handle.
        Rig rig(200000);
        rig.doc.tracks.fadeLinear = true;
        rig.doc.tracks.tracks.push_back(Track{});
        rig.doc.tracks[1].start = PlayDoc::pos(0);
        rig.doc.tracks[1].end = PlayDoc::pos(150000);
        BoundaryAudition b{1, true, PlayDoc::pos(100000), PlayDoc::pos(99000)};
        ASSERT_TRUE(rig.engine.auditionBoundary(PlayDoc::pos(60000), PlayDoc::pos(120000),
                                                PlayDoc::pos(100000), b));
        EXPECT_TRUE(rig.engine.isCorrected());
        EXPECT_EQ(rig.engine.rangeEnd(), PlayDoc::pos(100000));
        rig.playAll();
        ASSERT_EQ(rig.out.heard.size(), 40000u * 4);
        EXPECT_EQ(right(rig.out.heard, 38999 - 20), kRight);      // before the handle
        EXPECT_LT(right(rig.out.heard, 39999), kRight * 3 / 100); // the last group nearly silent
        EXPECT_LT(right(rig.out.heard, 39500), right(rig.out.heard, 39100));
    }
}

TEST(PlaybackEngine, DeviceErrorsAreShownAndABusyDeviceIsAskedAgain) {
    {
        Rig rig(10000);
        rig.out.busyAnswers = 3;
        rig.engine.playTrack(0, true);
        EXPECT_EQ(rig.out.openAttempts, 4);
        EXPECT_TRUE(rig.engine.isActive());
        rig.engine.cancel();
        rig.loop.run();
        EXPECT_EQ(rig.engine.state(), PlaybackEngine::State::Stopped);
    }
    {
        Rig rig(10000);
        rig.out.openError = "Connection refused";
        rig.engine.playTrack(0, true);
        EXPECT_FALSE(rig.engine.isActive());
        ASSERT_EQ(rig.ui.messages.size(), 1u);
        EXPECT_NE(rig.ui.messages[0].find("Connection refused"), std::string::npos);
        EXPECT_EQ(rig.seen.started, 0);
    }
    {
        Rig rig(300000);
        rig.out.writeError = "Stream is gone";
        rig.engine.playTrack(0, true);
        rig.loop.run();
        EXPECT_EQ(rig.engine.state(), PlaybackEngine::State::Stopped);
        EXPECT_EQ(rig.ui.messages.size(), 1u);
        EXPECT_EQ(rig.seen.ended, 1);
    }
    {
        // A device that dies while playing ends the play instead of leaving it hanging.
        Rig rig(300000);
        rig.engine.playTrack(0, true);
        rig.loop.run();
        rig.out.fail("The device was unplugged");
        rig.loop.run();
        EXPECT_EQ(rig.engine.state(), PlaybackEngine::State::Stopped);
        EXPECT_EQ(rig.ui.messages, std::vector<std::string>{"The device was unplugged"});
    }
}

TEST(PlaybackEngine, AnUnreadableFileEndsThePlayAndStopNowEndsAtOnce) {
    {
        Rig rig(300000);
        rig.doc.store.working.close();
        rig.engine.playTrack(0, true);
        rig.loop.run();
        EXPECT_EQ(rig.engine.state(), PlaybackEngine::State::Stopped);
        ASSERT_EQ(rig.ui.messages.size(), 1u);
        EXPECT_EQ(rig.seen.ended, 1);
    }
    {
        // Before the document closes its files: nothing may be read after this returns.
        Rig rig(300000);
        rig.engine.playTrack(0, true);
        rig.loop.run();
        rig.engine.stopNow();
        EXPECT_EQ(rig.engine.state(), PlaybackEngine::State::Stopped);
        EXPECT_EQ(rig.seen.ended, 1);
        EXPECT_FALSE(rig.out.isOpen());
        rig.out.play(819200); // a late notification of the old device changes nothing
        rig.loop.run();
        EXPECT_EQ(rig.seen.ended, 1);
        EXPECT_TRUE(rig.ui.messages.empty());
    }
}

TEST(PlaybackEngine, StopWithNothingInFlightStillEnds) {
    // The last buffer has come back and the engine's own start-again message is pending when
    // the user cancels: the play must still end, once.
    Rig rig(10000);
    rig.engine.playTrack(0, true);
    rig.loop.run();
    ASSERT_TRUE(rig.out.playBuffer());
    rig.engine.cancel(); // before the done notification is handled
    rig.loop.run();
    EXPECT_EQ(rig.engine.state(), PlaybackEngine::State::Stopped);
    EXPECT_EQ(rig.seen.ended, 1);
    EXPECT_EQ(rig.out.closes, 1);
}

} // namespace
} // namespace tarnival::test
