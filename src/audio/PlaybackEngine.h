#pragma once
#include "audio/AudioDevice.h"
#include "audio/EngineLoop.h"
#include "tracks/SpliceList.h"
#include "tracks/SplicedReader.h"

#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tarnival {

class TrackList;
class UserInterface;
class WaveStore;

constexpr int kPlayBuffers = 4;
constexpr int32_t kPlayBufferBytes = 819200; // 204,800 frames, about 4.6 s at 44.1 kHz
constexpr int32_t kSkipBackBytes = 352000;   // 88,000 frames
constexpr int kPlayTimerMs = 20;
constexpr int kOpenAttempts = 10000; // a busy device is asked again this often
constexpr int kFadeGroupFrames = 20; // frames that share one fade gain
constexpr int kSpeedPositions = 5;   // slider positions 1..5: divisors 1, 2, 4, 8, 16

// The playback divisor of a speed slider position (1..5): 1, 2, 4, 8, 16.
int speedDivisor(int sliderPosition);
// The label beside the slider: "Playback Speed\nX 1" or "Playback Speed\nX 1/8"; drawn in red
// whenever the speed is not 1.
std::string speedLabel(int sliderPosition);

// What playback reads from the document.
struct PlaybackDocument {
    const WaveStore& store;
    const TrackList& tracks;
    const SpliceList& splices;
};

// A block selection in source positions; empty when end <= start.
struct PlayBlock {
    int32_t start = 0;
    int32_t end = 0;
    bool selected() const { return end > start; }
};

// The current entry is a track boundary: an audition is shaped by it so that it sounds as it
// will be saved. Display positions.
struct BoundaryAudition {
    int track = 0;          // the track the boundary starts or ends
    bool trackEnd = false;  // the end of `track`; otherwise its start
    int32_t boundary = 0;   // where the boundary stands
    int32_t fadeHandle = 0; // where the boundary panel's fade handle stands
};

// The status-bar toggle button shown while playing.
struct ToggleLook {
    std::string text;
    uint32_t textRgb = 0; // 0xRRGGBB
    uint32_t backgroundRgb = 0xFFFFFF;
};

// What the views are told. Called on the engine's thread.
class PlaybackObserver {
  public:
    virtual ~PlaybackObserver() = default;
    // The device is open: show the toggle button (look()).
    virtual void playbackStarted() {}
    // The marker, the control bar's time display and the overview follow the play position.
    virtual void playPositionChanged(int32_t /*sourcePosition*/) {}
    // The source was switched or the test label changed: redraw the toggle button.
    virtual void toggleChanged() {}
    virtual void pauseChanged(bool /*paused*/) {}
    // The device closed: remove the marker and the toggle button, put the position back on the
    // current entry, end block-play mode.
    virtual void playbackEnded() {}
};

// Plays a range of the open document through an output device, original or corrected, at full
// speed or slowed, with track fades, cut sections skipped and an optional preview of a cut.
// Four large buffers circulate: each one that comes back done is refilled. It lives with the
// waveform view; everything runs on the thread that owns the EngineLoop.
class PlaybackEngine : private AudioOutputEvents {
  public:
    enum class State { Stopped, Opening, Playing, Stopping };

    PlaybackEngine(PlaybackDocument document, AudioOutput& output, EngineLoop& loop,
                   UserInterface& ui);
    ~PlaybackEngine() override;
    PlaybackEngine(const PlaybackEngine&) = delete;
    PlaybackEngine& operator=(const PlaybackEngine&) = delete;

    void setObserver(PlaybackObserver* observer) { observer_ = observer; }
    // The "OutputDevice" setting; used at the next open.
    void setOutputDevice(int device) { device_ = device; }

    // ---- Commands -------------------------------------------------------------------------
    // Play Track Original / Corrected: while playing, toggles pause; otherwise plays track
    // `track` (0: the whole recording) from its start to its end, over and over until
    // cancelled. With a block selected and the corrected source, the block is skipped with a
    // cross-fade (the cut-and-splice preview).
    void playTrack(int track, bool corrected, PlayBlock block = {});
    // Play Block Original / Corrected: the block once. False when playing or there is no block.
    bool playBlock(bool corrected, PlayBlock block);
    // Audition Original / Corrected: the stretch the waveform view shows, once; when that is
    // shorter than one second, one second centred on the current entry. A boundary, when the
    // current entry is one, shapes the range and its fade. False when already playing.
    bool audition(bool corrected, int32_t visibleStart, int32_t visibleEnd, int32_t entryPosition,
                  PlayBlock block = {}, std::optional<BoundaryAudition> boundary = {});
    // Audition Track Boundary: the corrected source, shaped by the boundary.
    bool auditionBoundary(int32_t visibleStart, int32_t visibleEnd, int32_t entryPosition,
                          const BoundaryAudition& boundary);
    // Plays source positions [start, end) once (the filter test); testLabel, when not empty,
    // replaces the toggle text ("Testing... Filtered").
    bool playStretch(int32_t start, int32_t end, bool corrected, std::string testLabel = {});

    // Pause: toggles pause while playing. False when not playing.
    bool togglePause();
    // Skip Back: restarts 352,000 bytes before the play position. False when not playing (the
    // view then presses "Apply" of its adjust dialog).
    bool skipBack();
    // Cancel Playback: stops and closes the device. False when not playing (the view then
    // presses "Abort"). Also what "stop playback" means before saving or closing.
    bool cancel();
    // Stops at once, without waiting for the device: for closing or saving the document, which
    // must not have the files read any more. The observer hears playbackEnded() before this
    // returns.
    void stopNow();
    // The status-bar toggle: switches between original and corrected and continues from the
    // play position.
    void toggleSource();
    // A click in the waveform or the overview during playback: continues from there. Ignored
    // at or beyond the end of the range, outside the block during a block play and inside the
    // previewed block. Returns whether playback moved.
    bool seek(int32_t sourcePosition);
    // The speed slider (1..5). During playback the device is closed and reopened at the new
    // rate, continuing from the play position.
    void setSpeed(int sliderPosition);
    // The channel switches: 1 plays a channel, 0 mutes it. During playback the change is heard
    // at once (playback continues from the play position).
    void setChannelGains(double left, double right);
    // The filter test's label for the toggle button; empty for the usual texts.
    void setTestLabel(std::string label);

    // ---- State ----------------------------------------------------------------------------
    State state() const { return state_; }
    // The device is open and buffers circulate (stopping or not): the view's "playback runs".
    bool isPlaying() const { return state_ == State::Playing || state_ == State::Stopping; }
    bool isActive() const { return state_ != State::Stopped; }
    bool isPaused() const { return paused_; }
    bool isBlockPlay() const { return blockPlay_; }
    bool isCorrected() const { return corrected_; }
    int32_t playPosition() const { return playPosition_; }
    int32_t rangeStart() const { return start_; }
    int32_t rangeEnd() const { return end_; }
    int playbackRate() const;
    int speedPosition() const { return speedPosition_; }
    ToggleLook toggleLook() const;

    // The counters of the buffers in flight, for tests and diagnostics.
    int buffersWritten() const { return written_; }
    int buffersDone() const { return done_; }
    int lastBuffer() const { return last_; }

  private:
    struct Segment {
        int64_t deviceOffset; // bytes into what the device was given since the begin step
        int64_t length;
        int64_t sourcePos;
    };
    struct FadeRegion {
        int64_t start, end, fadeIn, fadeOut;
    };

    void outputOpened() override;
    void bufferDone(int buffer) override;
    void outputClosed() override;
    void outputFailed(const std::string& error) override;

    bool startRange(int64_t start, int64_t end, bool corrected, bool closeAtEnd, bool blockPlay,
                    PlayBlock block, std::optional<BoundaryAudition> boundary);
    bool openDevice();
    void begin();
    void fill(int buffer);
    void stop(bool closeAtEnd);
    void restartAt(int64_t sourcePosition);
    void postEnd();
    void endOfRange();
    void closeDevice();
    void tick();
    void post(void (PlaybackEngine::*step)());
    void prepareFades();
    double fadeAt(int64_t displayPosition);
    void applyGains(uint8_t* bytes, int64_t count, int64_t displayPosition);
    void preparePreview();
    int64_t positionOfPlayed(int64_t played);
    void releaseBuffers();
    void readFailed(const std::string& error);

    PlaybackDocument doc_;
    AudioOutput& output_;
    EngineLoop& loop_;
    UserInterface& ui_;
    PlaybackObserver* observer_ = nullptr;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
    int device_ = kDefaultDevice;

    State state_ = State::Stopped;
    bool paused_ = false;
    bool endPosted_ = false;
    bool speedChangePending_ = false;
    int speedPosition_ = 1;
    double leftGain_ = 1.0, rightGain_ = 1.0;
    std::string testLabel_;

    // The range and how it is played.
    int64_t start_ = 0, end_ = 0;
    bool corrected_ = true;
    bool closeAtEnd_ = true;
    bool blockPlay_ = false;
    PlayBlock block_;
    std::optional<BoundaryAudition> boundary_;
    std::optional<int64_t> pendingStart_;
    int openRate_ = 0;

    // Reading.
    bool preview_ = false;
    SpliceList previewSplices_;
    std::unique_ptr<SplicedReader> reader_;
    std::vector<FadeRegion> fades_;
    size_t fadeTrack_ = 0;
    bool fadeLinear_ = false;

    // Buffers and counters.
    std::vector<std::vector<uint8_t>> buffers_;
    int written_ = 0, done_ = 0, last_ = -1;
    std::deque<Segment> segments_;
    int64_t deviceBytes_ = 0;
    int32_t playPosition_ = 0;
};

} // namespace tarnival
