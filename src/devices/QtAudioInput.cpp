#include "devices/QtAudioInput.h"
#include "devices/DeviceList.h"

#include <QAudioFormat>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QMetaObject>
#include <QThread>

namespace tarnival {

QtAudioInput::~QtAudioInput() {
    close();
}

OpenResult QtAudioInput::open(int device, int rate, AudioInputEvents& events) {
    close();
    OpenResult result;
    QAudioDevice chosen = resolveInputDevice(device, result.notice);
    if (chosen.isNull()) {
        result.error = "There is no record device.";
        return result;
    }
    const QAudioFormat format = stereo16(rate);
    if (!chosen.isFormatSupported(format)) {
        result.error = "The record device \"" + chosen.description().toStdString() +
                       "\" cannot record 16-bit stereo at " + std::to_string(rate) + " Hz.";
        return result;
    }
    source_ = std::make_unique<QAudioSource>(chosen, format);
    source_->setBufferSize(kSourceBufferBytes);
    events_ = &events;
    partial_.clear();
    io_ = source_->start();
    if (!io_ || source_->error() == QAudio::OpenError) {
        source_.reset();
        io_ = nullptr;
        events_ = nullptr;
        result.error =
            "The record device \"" + chosen.description().toStdString() + "\" could not be opened.";
        return result;
    }
    name_ = chosen.description().toStdString();
    QObject::connect(io_, &QIODevice::readyRead, &context_, [this] { drain(); });
    QObject::connect(source_.get(), &QAudioSource::stateChanged, &context_,
                     [this](QAudio::State state) { onState(state); });
    result.status = OpenStatus::Opened;
    return result;
}

void QtAudioInput::drain() {
    if (!io_ || !events_) return;
    QByteArray bytes = io_->readAll();
    if (bytes.isEmpty()) return;
    if (!partial_.isEmpty()) {
        bytes.prepend(partial_);
        partial_.clear();
    }
    const qsizetype whole = bytes.size() / 4 * 4;
    if (whole < bytes.size()) partial_ = bytes.mid(whole);
    if (whole > 0)
        events_->captured(reinterpret_cast<const uint8_t*>(bytes.constData()),
                          static_cast<size_t>(whole));
}

void QtAudioInput::onState(QAudio::State state) {
    if (!source_ || state != QAudio::StoppedState) return;
    const QAudio::Error error = source_->error();
    if (error == QAudio::NoError || error == QAudio::UnderrunError) return;
    std::string text = error == QAudio::IOError ? "The record device stopped delivering audio."
                                                : "The record device is no longer available.";
    AudioInputEvents* events = events_;
    // Told after this call has returned: the recorder closes the device in answer.
    QMetaObject::invokeMethod(
        &context_,
        [this, events, text] {
            if (events_ == events && events) events->inputFailed(text);
        },
        Qt::QueuedConnection);
}

void QtAudioInput::close() {
    const bool opened = source_ != nullptr;
    if (source_) {
        if (io_) QObject::disconnect(io_, nullptr, &context_, nullptr);
        source_->stop();
    }
    source_.reset();
    if (opened) {
        // The sound server's client library finishes a stopped stream on its own thread; a
        // program that ends at once has been seen to crash inside it.
        QDeadlineTimer settle(150);
        while (!settle.hasExpired()) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
            QThread::msleep(5);
        }
    }
    io_ = nullptr;
    events_ = nullptr;
    partial_.clear();
}

} // namespace tarnival
