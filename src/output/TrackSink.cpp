#include "output/TrackSink.h"
#include "output/TrackWriter.h"
#include "output/WaveSink.h"

namespace tarnival {

std::unique_ptr<TrackSink> makeTrackSink(const OutputOptions& options, const std::string& path,
                                         UserInterface&) {
    if (options.fileType == ids::kFileWave) return std::make_unique<WaveSink>(path);
    return nullptr;
}

} // namespace tarnival
