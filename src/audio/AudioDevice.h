#pragma once
// The sound devices as the playback engine and the recorder use them. Audio is always 16-bit
// stereo PCM, 4 bytes per frame. Notifications arrive later on the engine's thread, never from
// inside the call that caused them.
#include <cstddef>
#include <cstdint>
#include <string>

namespace tarnival {

// The system's default device; n >= 0 is entry n of the device list.
constexpr int kDefaultDevice = -1;

enum class OpenStatus { Opened, Busy, Failed };

struct OpenResult {
    OpenStatus status = OpenStatus::Failed;
    std::string error;  // the system's text when the open failed
    std::string notice; // something the user should know although it opened (a fallback)
};

class AudioOutputEvents {
  public:
    virtual ~AudioOutputEvents() = default;
    virtual void outputOpened() = 0;
    // Buffer number `buffer` has been played (or dropped by reset()) and may be refilled.
    virtual void bufferDone(int buffer) = 0;
    virtual void outputClosed() = 0;
    // The device stopped working (unplugged, server gone).
    virtual void outputFailed(const std::string& error) = 0;
};

class AudioOutput {
  public:
    virtual ~AudioOutput() = default;
    // Opens device `device` at `rate` frames per second; outputOpened() follows on success.
    virtual OpenResult open(int device, int rate, AudioOutputEvents& events) = 0;
    // Queues a buffer; every queued buffer comes back through bufferDone() exactly once.
    // The bytes are copied. Returns false with the system's text when it cannot be queued.
    virtual bool write(int buffer, const uint8_t* bytes, size_t count, std::string& error) = 0;
    virtual void pause() = 0;
    virtual void resume() = 0;
    // Stops at once; the queued buffers come back done.
    virtual void reset() = 0;
    // Closes once the queued audio has been heard; outputClosed() follows.
    virtual void close() = 0;
    // Stops and closes at once; no notification follows (the owner is going away).
    virtual void shutdown() = 0;
    // Bytes heard since the first write after open() or reset().
    virtual int64_t playedBytes() const = 0;
    virtual bool isOpen() const = 0;
};

class AudioInputEvents {
  public:
    virtual ~AudioInputEvents() = default;
    // Captured audio, in order, whole frames, of any length.
    virtual void captured(const uint8_t* bytes, size_t count) = 0;
    virtual void inputFailed(const std::string& error) = 0;
};

class AudioInput {
  public:
    virtual ~AudioInput() = default;
    // Opens and starts capturing at `rate`; captured() follows from then on.
    virtual OpenResult open(int device, int rate, AudioInputEvents& events) = 0;
    virtual void close() = 0;
    virtual bool isOpen() const = 0;
    // The product name of the open device.
    virtual std::string deviceName() const = 0;
};

} // namespace tarnival
