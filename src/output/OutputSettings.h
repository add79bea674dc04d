#pragma once
#include "output/ExternalEncoder.h"
#include "output/TrackWriter.h"

#include <array>
#include <string>

namespace tarnival {

class Profile;

// The items of the level and quality choices, in the order of their stored indexes.
extern const std::array<const char*, 4> kApeLevelNames;
extern const std::array<const char*, 7> kOggQualityNames;

// The stored output choices: what the save dialog and "Compression Settings" edit.
struct OutputSettings {
    int fileType = ids::kFileWave; // "File Type": wave, APE, Ogg or FLAC
    bool externalEncoder = false;  // "External Encoder": only with wave output
    int apeLevel = 2;              // "Ape Level", index into kApeLevels
    int oggQuality = 5;            // "Ogg Quality", index into kOggQualities
    int flacLevel = 5;             // "Flac Level", 0..8
    std::string encoder;           // "Encoder"
    std::string parameters;        // "Parameters"
    std::string extension;         // "Extension"

    bool usesExternalEncoder() const { return externalEncoder && fileType == ids::kFileWave; }
    EncoderSetup encoderSetup() const { return {encoder, parameters, extension}; }
};

// True for the four output types this program writes.
bool isOutputType(int fileType);

// Reads the settings; values damaged or out of range read as their defaults.
OutputSettings loadOutputSettings(const Profile& profile);
// Stores every value (the recent encoder lists are kept by storeEncoderSetup).
void saveOutputSettings(Profile& profile, const OutputSettings& settings);

// The extension output files get: ".wav", ".ape", ".ogg", ".flac", or "." + "Extension" with
// the external encoder.
std::string outputExtension(const OutputSettings& settings);

// The options a save runs with (the document supplies fades, gapless and the track-number text).
void applyOutputSettings(const OutputSettings& settings, OutputOptions& options);

} // namespace tarnival
