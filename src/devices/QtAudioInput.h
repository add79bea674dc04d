#pragma once
#include "audio/AudioDevice.h"

#include <QAudioSource>
#include <QByteArray>
#include <QObject>

#include <memory>

namespace tarnival {

// An input device through Qt Multimedia: captured audio is handed on in whole frames as it
// arrives, on the thread that owns this object.
class QtAudioInput : public AudioInput {
  public:
    QtAudioInput() = default;
    ~QtAudioInput() override;

    OpenResult open(int device, int rate, AudioInputEvents& events) override;
    void close() override;
    bool isOpen() const override { return source_ != nullptr; }
    std::string deviceName() const override { return name_; }

    // The size of the pieces the sound server hands over: small enough that the meter moves
    // smoothly. The server keeps several seconds more while the interface is busy.
    static constexpr qsizetype kSourceBufferBytes = 2 * 8192;

  private:
    void drain();
    void onState(QAudio::State state);

    QObject context_;
    std::unique_ptr<QAudioSource> source_;
    QIODevice* io_ = nullptr;
    AudioInputEvents* events_ = nullptr;
    QByteArray partial_; // bytes short of a whole frame
    std::string name_;
};

} // namespace tarnival
