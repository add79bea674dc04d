#include "devices/QtAudioOutput.h"
#include "devices/DeviceList.h"

#include <QAudioFormat>
#include <QMetaObject>
#include <QPointer>

#include <algorithm>

namespace tarnival {

namespace {

constexpr int kFeedIntervalMs = 20; // a small part of the sink's buffer
constexpr int64_t kDrainGraceMs = 1000;

std::string errorText(QAudio::Error error) {
    switch (error) {
    case QAudio::OpenError:
        return "The sound device could not be opened.";
    case QAudio::IOError:
        return "The sound device stopped accepting audio.";
    case QAudio::FatalError:
        return "The sound device is no longer available.";
    case QAudio::UnderrunError:
    case QAudio::NoError:
        break;
    }
    return {};
}

} // namespace

QtAudioOutput::QtAudioOutput() {
    feedTimer_.setTimerType(Qt::PreciseTimer);
    QObject::connect(&feedTimer_, &QTimer::timeout, &context_, [this] { feed(); });
}

QtAudioOutput::~QtAudioOutput() {
    shutdown();
}

void QtAudioOutput::notify(std::function<void(AudioOutputEvents&)> call) {
    const unsigned generation = generation_;
    QMetaObject::invokeMethod(
        &context_,
        [this, generation, call = std::move(call)] {
            if (generation == generation_ && events_) call(*events_);
        },
        Qt::QueuedConnection);
}

OpenResult QtAudioOutput::open(int device, int rate, AudioOutputEvents& events) {
    shutdown();
    OpenResult result;
    QAudioDevice chosen = resolveOutputDevice(device, result.notice);
    if (chosen.isNull()) {
        result.error = "There is no playback device.";
        return result;
    }
    const QAudioFormat format = stereo16(rate);
    if (!chosen.isFormatSupported(format)) {
        result.error = "The playback device \"" + chosen.description().toStdString() +
                       "\" cannot play 16-bit stereo at " + std::to_string(rate) + " Hz.";
        return result;
    }
    ++generation_;
    events_ = &events;
    rate_ = rate;
    sink_ = std::make_unique<QAudioSink>(chosen, format);
    sink_->setBufferSize(static_cast<qsizetype>(int64_t{rate} * 4 * kSinkBufferMs / 1000) / 4 * 4);
    QObject::connect(sink_.get(), &QAudioSink::stateChanged, &context_,
                     [this](QAudio::State state) { onState(state); });
    paused_ = false;
    closing_ = false;
    fed_ = 0;
    notify([](AudioOutputEvents& e) { e.outputOpened(); });
    result.status = OpenStatus::Opened;
    return result;
}

bool QtAudioOutput::write(int buffer, const uint8_t* bytes, size_t count, std::string& error) {
    if (!sink_) {
        error = "The playback device is not open.";
        return false;
    }
    queue_.push_back(
        {buffer, QByteArray(reinterpret_cast<const char*>(bytes), static_cast<qsizetype>(count)),
         0});
    if (!paused_) {
        if (!io_) startSink();
        feed();
    }
    return true;
}

void QtAudioOutput::startSink() {
    if (!sink_ || io_) return;
    io_ = sink_->start();
    fed_ = 0;
    if (!io_) {
        const std::string text = errorText(sink_->error());
        notify([text](AudioOutputEvents& e) {
            e.outputFailed(text.empty() ? "The playback device could not be started." : text);
        });
        return;
    }
    feedTimer_.start(kFeedIntervalMs);
}

void QtAudioOutput::stopSink() {
    feedTimer_.stop();
    if (sink_ && io_) sink_->stop();
    io_ = nullptr;
}

void QtAudioOutput::feed() {
    if (!sink_) return;
    while (io_ && !paused_ && !queue_.empty()) {
        Queued& head = queue_.front();
        const qsizetype room = sink_->bytesFree() / 4 * 4;
        const qsizetype n = std::min(room, head.bytes.size() - head.offset);
        if (n <= 0) break;
        const qint64 written = io_->write(head.bytes.constData() + head.offset, n);
        if (written <= 0) break;
        head.offset += written;
        fed_ += written;
        if (head.offset >= head.bytes.size()) {
            const int done = head.buffer;
            queue_.pop_front();
            notify([done](AudioOutputEvents& e) { e.bufferDone(done); });
        }
        if (written < n) break;
    }
    if (closing_ && queue_.empty()) {
        // Closed once everything given has been heard, or when the device stops answering.
        if (!io_ || playedBytes() >= fed_ || closeClock_.elapsed() > closeDeadlineMs_)
            finishClose();
    }
}

void QtAudioOutput::pause() {
    paused_ = true;
    if (sink_ && io_) sink_->suspend();
}

void QtAudioOutput::resume() {
    paused_ = false;
    if (!sink_) return;
    if (!io_) {
        if (!queue_.empty()) startSink();
    } else {
        sink_->resume();
    }
    feed();
}

void QtAudioOutput::reset() {
    for (const Queued& q : queue_) {
        const int done = q.buffer;
        notify([done](AudioOutputEvents& e) { e.bufferDone(done); });
    }
    queue_.clear();
    stopSink();
    paused_ = false;
    fed_ = 0;
}

void QtAudioOutput::close() {
    if (!sink_) return;
    closing_ = true;
    const int64_t pendingMs = (fed_ - playedBytes()) * 1000 / (int64_t{rate_} * 4);
    closeDeadlineMs_ = std::max<int64_t>(pendingMs, 0) + kDrainGraceMs;
    closeClock_.start();
    if (paused_ && io_) sink_->resume();
    paused_ = false;
    if (!io_) {
        finishClose();
        return;
    }
    feedTimer_.start(kFeedIntervalMs);
    feed();
}

void QtAudioOutput::finishClose() {
    stopSink();
    queue_.clear();
    deleteStoppedDeviceLater(std::move(sink_));
    closing_ = false;
    notify([](AudioOutputEvents& e) { e.outputClosed(); });
}

void QtAudioOutput::shutdown() {
    ++generation_;
    events_ = nullptr;
    queue_.clear();
    stopSink();
    deleteStoppedDeviceLater(std::move(sink_));
    closing_ = false;
    paused_ = false;
}

int64_t QtAudioOutput::playedBytes() const {
    if (!sink_ || !io_) return 0;
    const int64_t bytes = sink_->processedUSecs() * rate_ / 1000000 * 4;
    return std::min(bytes, fed_);
}

void QtAudioOutput::onState(QAudio::State state) {
    if (!sink_ || state != QAudio::StoppedState || !io_) return;
    const std::string text = errorText(sink_->error());
    if (text.empty()) return;
    // The device is gone: hand back what was queued so that the engine can end the play.
    for (const Queued& q : queue_) {
        const int done = q.buffer;
        notify([done](AudioOutputEvents& e) { e.bufferDone(done); });
    }
    queue_.clear();
    feedTimer_.stop();
    io_ = nullptr;
    notify([text](AudioOutputEvents& e) { e.outputFailed(text); });
}

} // namespace tarnival
