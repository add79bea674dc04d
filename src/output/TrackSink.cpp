#include "output/TrackSink.h"
#include "output/ApeSink.h"
#include "output/FlacSink.h"
#include "output/OggSink.h"
#include "output/TrackWriter.h"
#include "output/WaveSink.h"

namespace tarnival {

std::unique_ptr<TrackSink> makeTrackSink(const OutputOptions& options, const std::string& path,
                                         UserInterface& ui) {
    switch (options.fileType) {
    case ids::kFileWave:
        return std::make_unique<WaveSink>(path);
    case ids::kFileApe:
        return std::make_unique<ApeSink>(path, options.apeLevel, ui);
    case ids::kFileOgg:
        return std::make_unique<OggSink>(path, options.oggQuality, ui);
    case ids::kFileFlac:
        return std::make_unique<FlacSink>(path, options.flacLevel, ui);
    default:
        return nullptr;
    }
}

} // namespace tarnival
