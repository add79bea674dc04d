#pragma once
#include "output/TrackSink.h"
#include "tracks/SpliceList.h"
#include "tracks/TrackList.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace tarnival {

class UserInterface;
class WaveStore;

// Every fade gets this much extra length; silences are whole multiples of it.
constexpr int32_t kFadeSector = 2352;

// The output choices in force for a save.
struct OutputOptions {
    int fileType = ids::kFileWave;
    bool externalEncoder = false; // only with wave output
    bool fadeLinear = false;      // "Fade Linear"; false: logarithmic fades
    bool gapless = false;         // "Gapless"
    int apeLevel = 2;             // "Ape Level"
    int oggQuality = 5;           // "Ogg Quality"
    int flacLevel = 5;            // "Flac Level"
    std::string trackNumberText;  // the document's track-number text ("Track" of an APE tag)
    bool replaceExisting = false; // the user agreed to replace existing outputs
};

// Runs the external encoder on a finished wave file (inputPath) to make outputPath. Returns
// true only when outputPath is known to be made (how that is judged is the hook's business);
// false means the caller keeps inputPath, so the hook must leave it in place.
using ExternalEncoder =
    std::function<bool(const std::string& inputPath, const std::string& outputPath,
                       const Track& track, const std::string& trackNumberText)>;
using SinkFactory = std::function<std::unique_ptr<TrackSink>(
    const OutputOptions& options, const std::string& path, UserInterface& ui)>;

// What the renderer reads and whom it talks to. The working file is only read by WriteTrack;
// SaveTracks may close, rename or delete it (and says so in its outcome).
struct OutputContext {
    WaveStore& store;
    const TrackList& tracks;
    const SpliceList& splices;
    UserInterface& ui;
    OutputOptions options;
    ExternalEncoder externalEncoder; // required when options.externalEncoder is set
    SinkFactory sinkFactory;         // empty: makeTrackSink
};

enum class WriteStatus {
    Written,
    // The user has been told; no partial file is left. When only the external encoder failed,
    // its complete wave input (outputPath + ".wav") is kept.
    Failed,
};

// Renders one track of the working file into one output. Cut sections are skipped and their
// cross-fades substituted; noLeadIn drops the pre-silence and fade-in, noLeadOut the
// post-silence and fade-out. trackNumber 0 means "use the track-number text". The interface is
// pumped every step but a Cancel press does not stop the rendering (the hook of
// makeExternalEncoder does stop its program on Cancel, keeping the wave). The output is written
// under a temporary name beside it and takes its name only when complete (replacing an existing
// file only with options.replaceExisting), so a failed or interrupted save never leaves a file
// that looks finished nor loses the one it was to replace. A file error propagates as FileError
// after the partial output has been removed.
WriteStatus WriteTrack(OutputContext& context, int trackIndex, int trackNumber,
                       const std::string& outputPath, bool noLeadIn, bool noLeadOut);

// The lengths WriteTrack will use for a track.
struct TrackPlan {
    int64_t trackLength = 0;
    int64_t preSilence = 0;  // whole sectors
    int64_t postSilence = 0; // whole sectors
    int64_t fadeInLength = 0;
    int64_t fadeOutLength = 0;
    int64_t dataSize() const { return preSilence + trackLength + postSilence; }
};
TrackPlan planTrack(const Track& track, bool noLeadIn, bool noLeadOut);

// The file the external encoder reads when a track is rendered for it.
std::string encoderInputPath(const std::string& outputPath);
// Tells the user that the external encoder did not make outputPath and that keptPath, its
// input, is still there.
void reportEncoderFailure(UserInterface& ui, const std::string& outputPath,
                          const std::string& keptPath);

} // namespace tarnival
