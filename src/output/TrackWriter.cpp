#include "output/TrackWriter.h"
#include "document/FileError.h"
#include "document/SafeFile.h"
#include "document/UserInterface.h"
#include "document/WaveStore.h"
#include "tracks/FadeCurve.h"
#include "tracks/SplicedReader.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <limits>
#include <stdexcept>
#include <system_error>
#include <vector>

namespace tarnival {

namespace fs = std::filesystem;

namespace {

constexpr int kGainStride = 40; // samples that share one fade gain

int64_t wholeSectors(int64_t bytes) {
    return bytes > 0 ? bytes / kFadeSector * kFadeSector : 0;
}

std::string fileNamePart(const std::string& path) {
    size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string numberText(int trackNumber, const std::string& trackNumberText) {
    return trackNumber != 0 ? std::to_string(trackNumber) : trackNumberText;
}

// The fade envelope of one track, in output offsets.
struct Fades {
    int64_t fadeInEnd = 0;
    int64_t fadeInLength = 0;
    int64_t fadeOutStart = 0;
    int64_t fadeOutLength = 0;
    bool linear = false;

    double gainAt(int64_t q) const {
        double g = 1.0;
        int64_t r = fadeInEnd - q;
        if (r >= 1)
            g = fadeGain(static_cast<double>(r) / static_cast<double>(fadeInLength), linear);
        int64_t d = q - fadeOutStart;
        if (d > 0)
            g = fadeGain(static_cast<double>(d) / static_cast<double>(fadeOutLength), linear);
        return g;
    }

    // The gain is recomputed every 40 samples of a step, counted from the step's first sample.
    void apply(uint8_t* bytes, int64_t count, int64_t pos) const {
        int64_t samples = count / 2;
        if (samples == 0) return;
        int64_t lastQ = pos + 2 * ((samples - 1) / kGainStride * kGainStride);
        if (pos >= fadeInEnd && lastQ <= fadeOutStart) return; // every gain is exactly 1
        double g = 1.0;
        for (int64_t i = 0; i < samples; ++i) {
            if (i % kGainStride == 0) g = gainAt(pos + 2 * i);
            uint8_t* p = bytes + 2 * i;
            auto v = static_cast<int16_t>(p[0] | (p[1] << 8));
            auto u = static_cast<uint16_t>(scaleSample(v, g));
            p[0] = static_cast<uint8_t>(u);
            p[1] = static_cast<uint8_t>(u >> 8);
        }
    }
};

// Saving cannot be cancelled: a half-written set of tracks is worse than waiting, so the
// interface is kept alive and any Cancel press is dropped.
void keepInterfaceAlive(UserInterface& ui) {
    static_cast<void>(ui.pumpAndTakeCancel());
}

std::string sinkUnavailableText(int fileType) {
    switch (fileType) {
    case ids::kFileApe:
        return "Error starting encoder.\n";
    case ids::kFileOgg:
        return "error starting Ogg";
    default:
        return "Output type " + std::to_string(fileType) + " is not available.";
    }
}

} // namespace

TrackPlan planTrack(const Track& track, bool noLeadIn, bool noLeadOut) {
    TrackPlan plan;
    plan.trackLength = std::max<int64_t>(0, int64_t{track.end} - track.start);
    // Negative lengths can only come from damaged input; they mean none.
    if (!noLeadIn) {
        plan.preSilence = wholeSectors(track.preSilence);
        plan.fadeInLength = std::max<int64_t>(0, track.fadeIn) + kFadeSector;
    }
    if (!noLeadOut) {
        plan.postSilence = wholeSectors(track.postSilence);
        plan.fadeOutLength = std::max<int64_t>(0, track.fadeOut) + kFadeSector;
    }
    return plan;
}

WriteStatus WriteTrack(OutputContext& context, int trackIndex, int trackNumber,
                       const std::string& outputPath, bool noLeadIn, bool noLeadOut) {
    if (trackIndex < 0 || trackIndex >= context.tracks.count())
        throw std::out_of_range("WriteTrack: no track " + std::to_string(trackIndex));
    UserInterface& ui = context.ui;
    const OutputOptions& options = context.options;
    const WaveStore& store = context.store;
    const Track& track = context.tracks[trackIndex];
    const SpliceList& splices = context.splices;
    const TrackPlan plan = planTrack(track, noLeadIn, noLeadOut);
    const int alignment = store.layout.frameRemainder == 2 ? 2 : 0;

    if (plan.dataSize() > maxWaveDataSize(alignment)) {
        ui.message("The track is too long to be saved in one file.", "Tarnival");
        return WriteStatus::Failed;
    }

    ui.setStatusPane(1, "Saving File " + fileNamePart(outputPath));
    ui.setProgressRange(0, plan.trackLength);
    ui.setProgressPosition(0);

    fs::path folder = fs::path(outputPath).parent_path();
    std::error_code made;
    if (!folder.empty()) fs::create_directories(folder, made);
    if (made) {
        ui.message(FileError(folder.string(), made.message()).what(), "Tarnival");
        return WriteStatus::Failed;
    }

    const bool viaEncoder = options.fileType == ids::kFileWave && options.externalEncoder;
    if (viaEncoder && !context.externalEncoder)
        throw std::logic_error("WriteTrack: external encoder chosen but none supplied");
    const std::string sinkPath = viaEncoder ? encoderInputPath(outputPath) : outputPath;
    SafeFile output(sinkPath);
    std::unique_ptr<TrackSink> sink = context.sinkFactory
                                          ? context.sinkFactory(options, output.temporaryPath(), ui)
                                          : makeTrackSink(options, output.temporaryPath(), ui);
    if (!sink) {
        ui.message(sinkUnavailableText(options.fileType), "Tarnival");
        return WriteStatus::Failed;
    }

    TrackFormat format{store.layout.sampleRate, alignment, plan.dataSize()};
    TrackTags tags{track.title, track.artist, track.album,
                   track.genre, trackNumber,  options.trackNumberText};

    const std::vector<uint8_t> zeros(kFadeSector, 0);
    std::vector<uint8_t> buffer(kBlockSize);
    const int64_t audioStart = 44 + alignment + plan.preSilence;
    Fades fades{audioStart + plan.fadeInLength, plan.fadeInLength,
                audioStart + plan.trackLength - plan.fadeOutLength, plan.fadeOutLength,
                options.fadeLinear};

    try {
        if (!sink->begin(format, tags)) return WriteStatus::Failed;
        for (int64_t i = 0; i < plan.preSilence / kFadeSector; ++i)
            sink->write(zeros.data(), zeros.size());

        const int64_t e = splices.displayToSource(track.end);
        SplicedReader reader(store, splices, SplicedReader::Stream::Corrected);
        reader.seek(splices.displayToSource(track.start));
        int64_t produced = 0;
        while (produced < plan.trackLength) {
            ui.setProgressPosition(produced);
            keepInterfaceAlive(ui);
            const int64_t room = std::min<int64_t>(kBlockSize, plan.trackLength - produced);
            const int64_t n = reader.read(buffer.data(), room, e).bytes;
            if (n < 1) break;
            fades.apply(buffer.data(), n, audioStart + produced);
            sink->write(buffer.data(), static_cast<size_t>(n));
            produced += n;
        }
        // Only a splice list that contradicts its own shifts leaves the track short; the header
        // already promised trackLength bytes, so pad rather than write a false header.
        while (produced < plan.trackLength) {
            int64_t n = std::min<int64_t>(kBlockSize, plan.trackLength - produced);
            std::memset(buffer.data(), 0, static_cast<size_t>(n));
            fades.apply(buffer.data(), n, audioStart + produced);
            sink->write(buffer.data(), static_cast<size_t>(n));
            produced += n;
        }
        ui.setProgressPosition(produced);

        for (int64_t i = 0; i < plan.postSilence / kFadeSector; ++i)
            sink->write(zeros.data(), zeros.size());
        if (!sink->finish()) return WriteStatus::Failed;
    } catch (const FileError& e) {
        sink->abandon();
        // The user knows the output by its name, not by the temporary one it is written under.
        throw FileError(sinkPath, e.reason());
    } catch (...) {
        sink->abandon();
        throw;
    }

    output.commit(options.replaceExisting);
    if (viaEncoder) {
        // The rendered wave is the only copy of this track outside the working file: it goes
        // only once the encoder has vouched for its output.
        if (!context.externalEncoder(sinkPath, outputPath, track,
                                     numberText(trackNumber, options.trackNumberText))) {
            reportEncoderFailure(ui, outputPath, sinkPath);
            return WriteStatus::Failed;
        }
        removeFile(sinkPath);
    }
    return WriteStatus::Written;
}

std::string encoderInputPath(const std::string& outputPath) {
    return outputPath + ".wav";
}

void reportEncoderFailure(UserInterface& ui, const std::string& outputPath,
                          const std::string& keptPath) {
    ui.message("The external encoder failed to make " + outputPath + ".\nIts input " + keptPath +
                   " has been kept.",
               "Tarnival");
}

} // namespace tarnival
