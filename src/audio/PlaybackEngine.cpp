#include "audio/PlaybackEngine.h"
#include "document/FileError.h"
#include "document/UserInterface.h"
#include "document/WaveStore.h"
#include "tracks/CutSplice.h"
#include "tracks/FadeCurve.h"
#include "tracks/TrackList.h"

#include <algorithm>
#include <new>

namespace tarnival {

namespace {

constexpr const char* kAllocateError =
    "An error has occured. Please report 'Allocate 1 Error' to Tarnival Support";
constexpr int32_t kPreviewMargin = 100; // a previewed cut stays this far inside the data

int16_t sampleAt(const uint8_t* p) {
    return static_cast<int16_t>(p[0] | (p[1] << 8));
}
void putSample(uint8_t* p, int16_t v) {
    auto u = static_cast<uint16_t>(v);
    p[0] = static_cast<uint8_t>(u);
    p[1] = static_cast<uint8_t>(u >> 8);
}

} // namespace

int speedDivisor(int sliderPosition) {
    return 1 << (std::clamp(sliderPosition, 1, kSpeedPositions) - 1);
}

std::string speedLabel(int sliderPosition) {
    int divisor = speedDivisor(sliderPosition);
    return divisor == 1 ? "Playback Speed\nX 1" : "Playback Speed\nX 1/" + std::to_string(divisor);
}

PlaybackEngine::PlaybackEngine(PlaybackDocument document, AudioOutput& output, EngineLoop& loop,
                               UserInterface& ui)
    : doc_(document), output_(output), loop_(loop), ui_(ui) {}

PlaybackEngine::~PlaybackEngine() {
    *alive_ = false;
    if (state_ != State::Stopped) {
        loop_.stopTimer();
        output_.shutdown();
    }
}

int PlaybackEngine::playbackRate() const {
    return doc_.store.layout.sampleRate / speedDivisor(speedPosition_);
}

ToggleLook PlaybackEngine::toggleLook() const {
    if (!testLabel_.empty()) return {testLabel_, 0x00FF00, 0x000000};
    if (corrected_) return {"Playing... Corrected", 0x004040, 0xFFFFFF};
    return {"Playing... Original", 0x0000FF, 0xFFFFFF};
}

// ---- Commands ---------------------------------------------------------------------------------

void PlaybackEngine::playTrack(int track, bool corrected, PlayBlock block) {
    if (isActive()) {
        togglePause();
        return;
    }
    if (track < 0 || track >= doc_.tracks.count()) {
        ui_.beep();
        return;
    }
    const Track& t = doc_.tracks[track];
    startRange(doc_.splices.displayToSource(t.start), doc_.splices.displayToSource(t.end),
               corrected, false, false, block, std::nullopt);
}

bool PlaybackEngine::playBlock(bool corrected, PlayBlock block) {
    if (isActive() || !block.selected()) return false;
    return startRange(block.start, block.end, corrected, true, true, block, std::nullopt);
}

bool PlaybackEngine::audition(bool corrected, int32_t visibleStart, int32_t visibleEnd,
                              int32_t entryPosition, PlayBlock block,
                              std::optional<BoundaryAudition> boundary) {
    if (isActive()) return false;
    int64_t start = visibleStart, end = visibleEnd;
    const int64_t second = int64_t{doc_.store.layout.sampleRate} * 4;
    if (end - start < second) {
        start = entryPosition - second / 2;
        end = entryPosition + second / 2;
    }
    if (boundary) {
        const int64_t at = doc_.splices.displayToSource(boundary->boundary);
        if (boundary->trackEnd)
            end = at;
        else
            start = at;
    }
    return startRange(start, end, corrected, true, false, block, boundary);
}

bool PlaybackEngine::auditionBoundary(int32_t visibleStart, int32_t visibleEnd,
                                      int32_t entryPosition, const BoundaryAudition& boundary) {
    return audition(true, visibleStart, visibleEnd, entryPosition, {}, boundary);
}

bool PlaybackEngine::playStretch(int32_t start, int32_t end, bool corrected,
                                 std::string testLabel) {
    if (isActive()) return false;
    testLabel_ = std::move(testLabel);
    return startRange(start, end, corrected, true, false, {}, std::nullopt);
}

bool PlaybackEngine::togglePause() {
    if (!isPlaying()) return false;
    paused_ = !paused_;
    if (paused_)
        output_.pause();
    else
        output_.resume();
    if (observer_) observer_->pauseChanged(paused_);
    return true;
}

bool PlaybackEngine::skipBack() {
    if (!isPlaying()) return false;
    restartAt(
        std::max<int64_t>(int64_t{playPosition_} - kSkipBackBytes, doc_.store.layout.dataStart));
    return true;
}

bool PlaybackEngine::cancel() {
    if (!isActive()) return false;
    if (state_ == State::Opening) {
        // Nothing circulates yet: close as soon as the device answers.
        closeAtEnd_ = true;
        speedChangePending_ = false;
        endPosted_ = true;
        post(&PlaybackEngine::closeDevice);
        return true;
    }
    speedChangePending_ = false;
    stop(true);
    return true;
}

void PlaybackEngine::stopNow() {
    if (state_ == State::Stopped) return;
    loop_.stopTimer();
    output_.shutdown();
    speedChangePending_ = false;
    outputClosed();
}

void PlaybackEngine::toggleSource() {
    if (!isPlaying()) return;
    corrected_ = !corrected_;
    if (observer_) observer_->toggleChanged();
    restartAt(playPosition_);
}

bool PlaybackEngine::seek(int32_t sourcePosition) {
    if (!isPlaying()) return false;
    if (sourcePosition >= end_) return false;
    if (blockPlay_ && (sourcePosition < block_.start || sourcePosition >= block_.end)) return false;
    if (preview_ && sourcePosition >= block_.start && sourcePosition < block_.end) return false;
    restartAt(sourcePosition);
    return true;
}

void PlaybackEngine::setSpeed(int sliderPosition) {
    sliderPosition = std::clamp(sliderPosition, 1, kSpeedPositions);
    if (sliderPosition == speedPosition_) return;
    speedPosition_ = sliderPosition;
    if (isPlaying()) {
        speedChangePending_ = true;
        stop(true);
    }
}

void PlaybackEngine::setChannelGains(double left, double right) {
    leftGain_ = left;
    rightGain_ = right;
    if (isPlaying()) restartAt(playPosition_);
}

void PlaybackEngine::setTestLabel(std::string label) {
    testLabel_ = std::move(label);
    if (isActive() && observer_) observer_->toggleChanged();
}

// ---- Start, begin, fill -------------------------------------------------------------------------

bool PlaybackEngine::startRange(int64_t start, int64_t end, bool corrected, bool closeAtEnd,
                                bool blockPlay, PlayBlock block,
                                std::optional<BoundaryAudition> boundary) {
    const WaveLayout& layout = doc_.store.layout;
    start = layout.toFrame(
        static_cast<int32_t>(std::clamp<int64_t>(start, layout.dataStart, layout.dataEnd)));
    end = std::clamp<int64_t>(end, start, layout.dataEnd);
    end = start + (end - start) / 4 * 4;
    if (end <= start) {
        ui_.beep();
        return false;
    }
    start_ = start;
    end_ = end;
    corrected_ = corrected;
    closeAtEnd_ = closeAtEnd;
    blockPlay_ = blockPlay;
    block_ = block;
    boundary_ = boundary;
    pendingStart_.reset();
    return openDevice();
}

bool PlaybackEngine::openDevice() {
    OpenResult result;
    const int rate = playbackRate();
    for (int attempt = 0; attempt < kOpenAttempts; ++attempt) {
        result = output_.open(device_, rate, *this);
        if (result.status != OpenStatus::Busy) break;
    }
    if (result.status != OpenStatus::Opened) {
        ui_.message(result.error.empty() ? "The playback device could not be opened."
                                         : result.error.substr(0, 128),
                    "Tarnival");
        blockPlay_ = false;
        testLabel_.clear();
        return false;
    }
    if (!result.notice.empty()) ui_.message(result.notice, "Tarnival");
    openRate_ = rate;
    try {
        buffers_.assign(kPlayBuffers, std::vector<uint8_t>(kPlayBufferBytes));
    } catch (const std::bad_alloc&) {
        output_.shutdown();
        ui_.message(kAllocateError, "Tarnival");
        blockPlay_ = false;
        return false;
    }
    written_ = done_ = 0;
    last_ = -1;
    paused_ = false;
    endPosted_ = false;
    state_ = State::Opening;
    std::weak_ptr<bool> alive = alive_;
    loop_.startTimer(kPlayTimerMs, [this, alive] {
        if (auto a = alive.lock(); a && *a) tick();
    });
    if (observer_) observer_->playbackStarted();
    return true;
}

void PlaybackEngine::outputOpened() {
    if (state_ == State::Opening && !endPosted_) begin();
}

void PlaybackEngine::begin() {
    if (!output_.isOpen() || buffers_.empty()) return;
    endPosted_ = false;
    const int64_t from = pendingStart_.value_or(start_);
    pendingStart_.reset();

    try {
        preparePreview();
    } catch (const FileError& e) {
        readFailed(e.what());
        return;
    }
    const SpliceList& splices = preview_ ? previewSplices_ : doc_.splices;
    reader_ = std::make_unique<SplicedReader>(doc_.store, splices,
                                              corrected_ ? SplicedReader::Stream::Corrected
                                                         : SplicedReader::Stream::Original);
    reader_->seek(from);
    prepareFades();

    written_ = done_ = 0;
    last_ = -1;
    segments_.clear();
    deviceBytes_ = 0;
    playPosition_ = static_cast<int32_t>(reader_->position());
    state_ = State::Playing;
    paused_ = false;

    // All buffers go out before the device runs, so that it starts with the whole lead.
    output_.pause();
    for (int i = 0; i < kPlayBuffers && state_ == State::Playing; ++i) fill(i);
    if (state_ == State::Playing) output_.resume();
    if (observer_) observer_->playPositionChanged(playPosition_);
    if (written_ == 0) postEnd(); // nothing left to play from here
}

void PlaybackEngine::fill(int buffer) {
    if (!reader_ || reader_->position() >= end_) return;
    uint8_t* bytes = buffers_[static_cast<size_t>(buffer)].data();
    int64_t n = 0;
    while (n < kPlayBufferBytes) {
        SplicedReader::Piece piece;
        try {
            piece = reader_->read(bytes + n, kPlayBufferBytes - n, end_);
        } catch (const FileError& e) {
            readFailed(e.what());
            return;
        }
        if (piece.bytes < 1) break;
        segments_.push_back({deviceBytes_ + n, piece.bytes, piece.sourcePos});
        const int64_t display = doc_.splices.sourceToDisplay(static_cast<int32_t>(piece.sourcePos));
        applyGains(bytes + n, piece.bytes, display);
        n += piece.bytes;
    }
    const bool atEnd = reader_->position() >= end_;
    if (n == 0) {
        if (atEnd && last_ < 0) last_ = written_;
        return;
    }
    std::string error;
    if (!output_.write(buffer, bytes, static_cast<size_t>(n), error)) {
        ui_.message(error.empty() ? "The playback device refused the audio." : error, "Tarnival");
        // The buffer never reached the device: count it as returned and end the play.
        ++written_;
        ++done_;
        stop(true);
        return;
    }
    deviceBytes_ += n;
    ++written_;
    if (atEnd) last_ = written_;
}

void PlaybackEngine::bufferDone(int buffer) {
    if (state_ == State::Stopped) return;
    ++done_;
    if (done_ == last_) {
        postEnd();
        return;
    }
    if (state_ == State::Playing && reader_ && reader_->position() < end_) {
        std::weak_ptr<bool> alive = alive_;
        loop_.post([this, alive, buffer] {
            if (auto a = alive.lock(); a && *a && state_ == State::Playing) fill(buffer);
        });
    }
}

// ---- Stop, restart, close -----------------------------------------------------------------------

void PlaybackEngine::stop(bool closeAtEnd) {
    closeAtEnd_ = closeAtEnd;
    if (state_ != State::Playing) return;
    state_ = State::Stopping;
    paused_ = false;
    output_.reset();
    last_ = written_;
    // Nothing in flight: no buffer will come back to end the play.
    if (done_ >= written_) postEnd();
}

void PlaybackEngine::restartAt(int64_t sourcePosition) {
    const WaveLayout& layout = doc_.store.layout;
    pendingStart_ = layout.toFrame(static_cast<int32_t>(
        std::clamp<int64_t>(sourcePosition, layout.dataStart, std::max<int64_t>(end_ - 4, 0))));
    if (state_ == State::Stopping) return; // the stop under way begins from the new place
    stop(false);
}

void PlaybackEngine::postEnd() {
    if (endPosted_) return;
    endPosted_ = true;
    post(&PlaybackEngine::endOfRange);
}

void PlaybackEngine::endOfRange() {
    if (state_ == State::Stopped) return;
    if (closeAtEnd_ || !output_.isOpen()) {
        closeDevice();
        return;
    }
    begin(); // the device stays open: start again (a track play repeats, a seek continues)
}

void PlaybackEngine::closeDevice() {
    if (state_ == State::Stopped) return;
    loop_.stopTimer();
    state_ = State::Stopping;
    if (output_.isOpen())
        output_.close();
    else
        outputClosed();
}

void PlaybackEngine::outputClosed() {
    if (state_ == State::Stopped) return;
    releaseBuffers();
    state_ = State::Stopped;
    paused_ = false;
    endPosted_ = false;
    if (speedChangePending_) {
        speedChangePending_ = false;
        const int64_t from = playPosition_;
        if (openDevice()) {
            pendingStart_ = from;
            return;
        }
    }
    blockPlay_ = false;
    preview_ = false;
    testLabel_.clear();
    if (observer_) observer_->playbackEnded();
}

void PlaybackEngine::outputFailed(const std::string& error) {
    ui_.message(error, "Tarnival");
    if (state_ == State::Stopped) return;
    speedChangePending_ = false;
    if (state_ == State::Playing) {
        stop(true);
    } else {
        closeAtEnd_ = true;
        postEnd();
    }
}

// The document's file could not be read: say so and end the play (the buffers in flight still
// come back and close the device).
void PlaybackEngine::readFailed(const std::string& error) {
    ui_.message(error, "Tarnival");
    speedChangePending_ = false;
    if (state_ == State::Playing) {
        stop(true);
    } else {
        closeAtEnd_ = true;
        postEnd();
    }
}

void PlaybackEngine::releaseBuffers() {
    buffers_.clear();
    buffers_.shrink_to_fit();
    reader_.reset();
    segments_.clear();
    previewSplices_.clear();
}

void PlaybackEngine::post(void (PlaybackEngine::*step)()) {
    std::weak_ptr<bool> alive = alive_;
    loop_.post([this, alive, step] {
        if (auto a = alive.lock(); a && *a) (this->*step)();
    });
}

// ---- Position -----------------------------------------------------------------------------------

void PlaybackEngine::tick() {
    if (state_ != State::Playing || paused_) return;
    int64_t position = positionOfPlayed(output_.playedBytes());
    if (position != playPosition_) {
        playPosition_ = static_cast<int32_t>(position);
        if (observer_) observer_->playPositionChanged(playPosition_);
    }
}

// The source position of the byte the device is playing: the segments remember where each
// stretch it was given came from, so cuts and cross-fades move the marker exactly.
int64_t PlaybackEngine::positionOfPlayed(int64_t played) {
    while (segments_.size() > 1 && segments_[1].deviceOffset <= played) segments_.pop_front();
    if (segments_.empty()) return playPosition_;
    const Segment& s = segments_.front();
    const int64_t into = std::clamp<int64_t>(played - s.deviceOffset, 0, s.length);
    return s.sourcePos + into / 4 * 4;
}

// ---- Fades and the preview ----------------------------------------------------------------------

void PlaybackEngine::prepareFades() {
    fades_.clear();
    fadeLinear_ = doc_.tracks.fadeLinear;
    for (int i = 1; i < doc_.tracks.count(); ++i) {
        const Track& t = doc_.tracks[i];
        FadeRegion r{t.start, t.end, std::max(0, t.fadeIn), std::max(0, t.fadeOut)};
        if (boundary_ && boundary_->track == i) {
            if (boundary_->trackEnd) {
                r.end = boundary_->boundary;
                r.fadeOut = std::max(0, boundary_->boundary - boundary_->fadeHandle);
            } else {
                r.start = boundary_->boundary;
                r.fadeIn = std::max(0, boundary_->fadeHandle - boundary_->boundary);
            }
        }
        fades_.push_back(r);
    }
    fadeTrack_ = 0;
    if (!reader_ || fades_.empty()) return;
    const int64_t display = doc_.splices.sourceToDisplay(static_cast<int32_t>(reader_->position()));
    while (fadeTrack_ + 1 < fades_.size() && fades_[fadeTrack_ + 1].start <= display) ++fadeTrack_;
}

double PlaybackEngine::fadeAt(int64_t p) {
    if (fades_.empty()) return 1.0;
    while (fadeTrack_ + 1 < fades_.size() && p >= fades_[fadeTrack_].end) ++fadeTrack_;
    while (fadeTrack_ > 0 && p < fades_[fadeTrack_].start) --fadeTrack_;
    const FadeRegion& r = fades_[fadeTrack_];
    double g = 1.0;
    // d: distance from the full-level end of the fade; the length gets one frame more so that
    // the first and last frames are not silent.
    if (r.fadeIn > 0 && p >= r.start && p < r.start + r.fadeIn)
        g *= fadeGain(static_cast<double>(r.start + r.fadeIn - p) /
                          static_cast<double>(r.fadeIn + 4),
                      fadeLinear_);
    if (r.fadeOut > 0 && p >= r.end - r.fadeOut && p < r.end)
        g *= fadeGain(static_cast<double>(p - (r.end - r.fadeOut)) /
                          static_cast<double>(r.fadeOut + 4),
                      fadeLinear_);
    return g;
}

void PlaybackEngine::applyGains(uint8_t* bytes, int64_t count, int64_t displayPosition) {
    constexpr int64_t groupBytes = kFadeGroupFrames * 4;
    for (int64_t at = 0; at < count; at += groupBytes) {
        const double g = fadeAt(displayPosition + at);
        const double left = leftGain_ * g, right = rightGain_ * g;
        if (left == 1.0 && right == 1.0) continue;
        const int64_t to = std::min(count, at + groupBytes);
        for (int64_t i = at; i + 3 < to; i += 4) {
            putSample(bytes + i, scaleSample(sampleAt(bytes + i), left));
            putSample(bytes + i + 2, scaleSample(sampleAt(bytes + i + 2), right));
        }
    }
}

// With a block selected, the corrected source and not a block play, the block is heard as if
// it were cut: a temporary splice with its cross-fade joins the audio on either side.
void PlaybackEngine::preparePreview() {
    preview_ = false;
    previewSplices_.clear();
    if (!block_.selected() || !corrected_ || blockPlay_) return;
    const WaveLayout& layout = doc_.store.layout;
    const int32_t from = layout.toFrame(std::max(block_.start, layout.dataStart + kPreviewMargin));
    const int32_t to = layout.toFrame(std::min(block_.end, layout.dataEnd - kPreviewMargin));
    if (to <= from) return;
    int32_t length =
        std::min({from - layout.dataStart, layout.dataEnd - to, doc_.splices.crossFadeSetting()});
    length = length / 4 * 4;
    std::vector<uint8_t> pre(static_cast<size_t>(length)), post(static_cast<size_t>(length));
    if (length > 0) {
        doc_.store.readWorking(from - length, pre.data(), pre.size());
        doc_.store.readWorking(to, post.data(), post.size());
    }
    const int values = length / 2;
    std::vector<int16_t> a(static_cast<size_t>(values)), b(static_cast<size_t>(values));
    for (int i = 0; i < values; ++i) {
        a[static_cast<size_t>(i)] = sampleAt(pre.data() + 2 * i);
        b[static_cast<size_t>(i)] = sampleAt(post.data() + 2 * i);
    }
    if (values > 0) crossFadeSamples(a.data(), b.data(), values);
    Splice splice;
    splice.cutStart = from;
    splice.cutEnd = to;
    splice.crossFade = length;
    splice.fadeBytes.resize(static_cast<size_t>(2 * length));
    for (int i = 0; i < values; ++i) {
        putSample(splice.fadeBytes.data() + 2 * i, a[static_cast<size_t>(i)]);
        putSample(splice.fadeBytes.data() + length + 2 * i, a[static_cast<size_t>(i)]);
    }
    previewSplices_ = doc_.splices;
    previewSplices_.insert(std::move(splice));
    preview_ = true;
}

} // namespace tarnival
