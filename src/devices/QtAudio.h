#pragma once
// Ready-made pairings of the audio engines with their Qt devices, for the GUI and the command
// line: construct one, then call the engine. Everything runs on the constructing thread's
// event loop.
#include "audio/PlaybackEngine.h"
#include "audio/Recorder.h"
#include "devices/QtAudioInput.h"
#include "devices/QtAudioOutput.h"
#include "devices/QtEngineLoop.h"

namespace tarnival {

// Playback for the waveform view. The document's store, tracks and splices must outlive it.
class QtPlayback {
  public:
    QtPlayback(PlaybackDocument document, UserInterface& ui, int outputDevice = kDefaultDevice)
        : engine_(document, output_, loop_, ui) {
        engine_.setOutputDevice(outputDevice);
    }
    PlaybackEngine& engine() { return engine_; }

  private:
    QtEngineLoop loop_;
    QtAudioOutput output_;
    PlaybackEngine engine_; // declared last: stopped before its device goes
};

// The recorder of the "Record New Wave File" dialog.
class QtRecording {
  public:
    explicit QtRecording(UserInterface& ui) : recorder_(input_, ui) {}
    Recorder& recorder() { return recorder_; }
    const QtAudioInput& input() const { return input_; }

  private:
    QtAudioInput input_;
    Recorder recorder_;
};

} // namespace tarnival
