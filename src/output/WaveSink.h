#pragma once
#include "document/File.h"
#include "output/TrackSink.h"

#include <string>

namespace tarnival {

// Writes a RIFF WAVE file into an existing empty file (the writer makes it and gives it its
// name when complete, or removes it).
class WaveSink : public TrackSink {
  public:
    explicit WaveSink(std::string path) : path_(std::move(path)) {}
    ~WaveSink() override;
    bool begin(const TrackFormat& format, const TrackTags& tags) override;
    void write(const uint8_t* bytes, size_t count) override;
    bool finish() override;
    void abandon() noexcept override;
    const std::string& path() const { return path_; }

  private:
    std::string path_;
    File file_;
    int64_t offset_ = 0;
};

} // namespace tarnival
