#pragma once
#include "audio/AudioDevice.h"

#include <QAudioSink>
#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <deque>
#include <memory>

namespace tarnival {

// An output device through Qt Multimedia. Queued buffers are fed to a QAudioSink as it has room;
// a buffer is done once the sink has taken all of it. Notifications are queued on the thread
// that owns this object.
class QtAudioOutput : public AudioOutput {
  public:
    QtAudioOutput();
    ~QtAudioOutput() override;

    OpenResult open(int device, int rate, AudioOutputEvents& events) override;
    bool write(int buffer, const uint8_t* bytes, size_t count, std::string& error) override;
    void pause() override;
    void resume() override;
    void reset() override;
    void close() override;
    void shutdown() override;
    int64_t playedBytes() const override;
    bool isOpen() const override { return sink_ != nullptr; }

    // The sink's own buffer: the interface thread may be busy this long without a gap. It does
    // not delay the start (the server plays a new stream at once) nor the marker (which follows
    // what has been heard).
    static constexpr int kSinkBufferMs = 500;

  private:
    struct Queued {
        int buffer;
        QByteArray bytes;
        qsizetype offset = 0;
    };

    void startSink();
    void stopSink();
    void feed();
    void finishClose();
    void notify(std::function<void(AudioOutputEvents&)> call);
    void onState(QAudio::State state);

    QObject context_;
    QTimer feedTimer_;
    std::unique_ptr<QAudioSink> sink_;
    QIODevice* io_ = nullptr;
    AudioOutputEvents* events_ = nullptr;
    unsigned generation_ = 0; // notifications of an earlier open are dropped
    std::deque<Queued> queue_;
    int rate_ = 44100;
    bool paused_ = false;
    bool closing_ = false;
    int64_t fed_ = 0; // bytes handed to the sink since it started
    QElapsedTimer closeClock_;
    int64_t closeDeadlineMs_ = 0;
};

} // namespace tarnival
