#include "output/OutputSettings.h"
#include "document/Settings.h"
#include "output/ApeEncoder.h"
#include "output/FlacSink.h"
#include "output/NamingRules.h"
#include "output/OggSink.h"

namespace tarnival {

const std::array<const char*, 4> kApeLevelNames = {"Fast", "Normal", "High", "Extra High"};
const std::array<const char*, 7> kOggQualityNames = {
    "Minimum (56k)",      "Low (72k)",   "Medium Low (96k)", "Medium (120k)",
    "Medium High (160k)", "High (210k)", "Maximum (400k)"};

namespace {
int inRange(int value, int low, int high, int fallback) {
    return value >= low && value <= high ? value : fallback;
}
} // namespace

bool isOutputType(int fileType) {
    return fileType == ids::kFileWave || fileType == ids::kFileApe || fileType == ids::kFileOgg ||
           fileType == ids::kFileFlac;
}

OutputSettings loadOutputSettings(const Profile& profile) {
    OutputSettings s;
    const int type = get(profile, settings::kFileType);
    s.fileType = isOutputType(type) ? type : settings::kFileType.fallback;
    s.externalEncoder = get(profile, settings::kExternalEncoder) != 0;
    s.apeLevel = inRange(get(profile, settings::kApeLevel), 0,
                         static_cast<int>(kApeLevels.size()) - 1, settings::kApeLevel.fallback);
    s.oggQuality =
        inRange(get(profile, settings::kOggQuality), 0, static_cast<int>(kOggQualities.size()) - 1,
                settings::kOggQuality.fallback);
    s.flacLevel = inRange(get(profile, settings::kFlacLevel), kFlacMinLevel, kFlacMaxLevel,
                          settings::kFlacLevel.fallback);
    const EncoderSetup setup = loadEncoderSetup(profile);
    s.encoder = setup.encoder;
    s.parameters = setup.parameters;
    s.extension = setup.extension;
    return s;
}

void saveOutputSettings(Profile& profile, const OutputSettings& s) {
    set(profile, settings::kFileType, s.fileType);
    set(profile, settings::kExternalEncoder, s.externalEncoder ? 1 : 0);
    set(profile, settings::kApeLevel, s.apeLevel);
    set(profile, settings::kOggQuality, s.oggQuality);
    set(profile, settings::kFlacLevel, s.flacLevel);
    set(profile, settings::kEncoder, s.encoder);
    set(profile, settings::kParameters, s.parameters);
    set(profile, settings::kExtension, s.extension);
}

std::string outputExtension(const OutputSettings& s) {
    return outputExtension(s.fileType, s.externalEncoder, s.extension);
}

void applyOutputSettings(const OutputSettings& s, OutputOptions& options) {
    options.fileType = s.fileType;
    options.externalEncoder = s.usesExternalEncoder();
    options.apeLevel = s.apeLevel;
    options.oggQuality = s.oggQuality;
    options.flacLevel = s.flacLevel;
}

} // namespace tarnival
