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

    // Error codes of open() besides FFmpeg's own (its negative AVERROR made positive).
    static constexpr int kErrorRead = 1000;        // the file cannot be opened or read
    static constexpr int kErrorNotApe = 1002;      // no valid APE header
    static constexpr int kErrorUnsupported = 1006; // a header the decoder cannot handle
    static constexpr int kErrorTruncated = 1007;   // frames the header promises are missing

    // 0 on success, otherwise a non-zero error code to show the user.
    int open(const std::string& path);
    // A sentence for an error code of open().
    static std::string errorText(int code);
    void close();
    bool isOpen() const;

    int sampleRate() const;
    int bitsPerSample() const;
    int channels() const;
    int64_t dataBytes() const; // decoded PCM bytes of the whole file
    // Frame = one sample of every channel. False when frame lies beyond the end or the file
    // cannot be repositioned.
    bool seek(int64_t frame);
    // Decodes up to frames frames into buffer (interleaved 16-bit); returns frames delivered,
    // fewer than asked at the end of the audio or where the compressed data is damaged.
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
