#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

namespace tarnival {

constexpr int kRecordHeaderBytes = 44;

// The wave file a recording goes into. It is created exclusively and never through a link, and
// its header is brought up to date every few seconds while recording, so that a crash or a
// power cut leaves a playable file with everything recorded until then. Failures throw
// FileError.
class RecordFile {
  public:
    RecordFile() = default;
    ~RecordFile();
    RecordFile(const RecordFile&) = delete;
    RecordFile& operator=(const RecordFile&) = delete;

    // Creates the file. An existing file is replaced only with replaceExisting, and only when
    // it is a regular file; a symbolic link is refused either way.
    void create(const std::string& path, bool replaceExisting);
    bool isOpen() const { return fd_ >= 0; }
    const std::string& path() const { return path_; }

    // Starts the audio afresh: a 44-byte header for 16-bit stereo at `rate`, and no audio.
    // The header is rewritten with the sizes every patchInterval bytes of audio.
    void begin(int rate, int64_t patchInterval);
    void append(const uint8_t* bytes, size_t count);
    // Writes the final sizes and flushes the file to the disk.
    void finish();
    int64_t dataBytes() const { return data_; }

    void close();
    // Closes and deletes the file.
    void remove();

  private:
    void patchHeader();

    int fd_ = -1;
    std::string path_;
    int rate_ = 44100;
    int64_t data_ = 0;
    int64_t patchedAt_ = 0;
    int64_t patchInterval_ = 0;
};

} // namespace tarnival
