#pragma once
#include "document/WaveStore.h"

#include <cstddef>
#include <cstdint>
#include <optional>

namespace tarnival {

class ApeDecoder;

// The source audio as a load reads it, in the source file's layout: straight from a wave file,
// or decoded from an APE file into the document's decoded source file as the load goes, so that
// the rest of the program finds the original audio there afterwards.
class SourceReader {
  public:
    virtual ~SourceReader() = default;
    // Reads [pos, pos + count) into buffer and returns the bytes delivered: fewer only at the end
    // of the file, or where compressed audio is damaged (damagedFrame() then says where).
    virtual size_t read(int64_t pos, void* buffer, size_t count) = 0;
    // The first frame that could not be decoded, once a read has met damage.
    virtual std::optional<int64_t> damagedFrame() const { return std::nullopt; }
};

class WaveSourceReader : public SourceReader {
  public:
    explicit WaveSourceReader(const File& source) : source_(source) {}
    size_t read(int64_t pos, void* buffer, size_t count) override {
        return source_.readAt(pos, buffer, count);
    }

  private:
    const File& source_;
};

// Decodes in order, writing what it decodes into the decoded file; a read that reaches past the
// audio decoded so far decodes up to its end first.
class ApeSourceReader : public SourceReader {
  public:
    ApeSourceReader(ApeDecoder& decoder, File& decoded, const WaveLayout& layout)
        : decoder_(decoder), decoded_(decoded), layout_(layout), decodedEnd_(layout.dataStart) {}
    size_t read(int64_t pos, void* buffer, size_t count) override;
    std::optional<int64_t> damagedFrame() const override { return damaged_; }

  private:
    bool decodeUpTo(int64_t end);

    ApeDecoder& decoder_;
    File& decoded_;
    WaveLayout layout_;
    int64_t decodedEnd_; // file position up to which the decoded file holds the audio
    std::optional<int64_t> damaged_;
};

} // namespace tarnival
