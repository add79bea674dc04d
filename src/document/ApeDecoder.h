#pragma once
#include <cstdint>
#include <map>
#include <memory>
#include <string>

namespace tarnival {

// Decodes an APE (Monkey's Audio) file to 16-bit PCM, offering just what the loader needs.
class ApeDecoder {
  public:
    ApeDecoder();
    ~ApeDecoder();
    ApeDecoder(const ApeDecoder&) = delete;
    ApeDecoder& operator=(const ApeDecoder&) = delete;

    // 0 on success, otherwise a non-zero error code to show the user.
    int open(const std::string& path);
    void close();
    bool isOpen() const;

    int sampleRate() const;
    int bitsPerSample() const;
    int channels() const;
    int64_t dataBytes() const; // decoded PCM bytes of the whole file
    // Frame = one sample of every channel.
    bool seek(int64_t frame);
    // Decodes up to frames frames into buffer (interleaved 16-bit); returns frames delivered.
    int64_t read(void* buffer, int64_t frames);
    // The file's APE tag items (keys as stored, e.g. "Title", "Artist").
    std::map<std::string, std::string> tags() const;

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// The 16-bit format version word at byte 4 of an APE file, or -1 if it cannot be read.
int apeFileVersion(const std::string& path);

} // namespace tarnival
