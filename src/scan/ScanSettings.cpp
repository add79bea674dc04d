#include "scan/ScanSettings.h"
#include "document/Profile.h"

namespace tarnival {

namespace {
const char* kSection = "Settings";
}

void ScanSettings::load(const Profile& p) {
    source = p.getInt(kSection, "Source", ids::kVinyl);
    sensitivity = p.getInt(kSection, "Sensitivity", -1);
    mode = p.getInt(kSection, "Mode", ids::kPerChannel);
    agc = p.getInt(kSection, "AGC", 0);
    discriminator = p.getInt(kSection, "Discriminator", 0);
    minMagnitude = p.getInt(kSection, "Min Magnitude", 0);
    corWidth = p.getInt(kSection, "Cor Width", ids::kNormalWidth);
    splitTracks = p.getInt(kSection, "Split Tracks", 1);
    gapless = p.getInt(kSection, "Gapless", 0);
    subtractor = p.getInt(kSection, "Subtractor", 1);
}

void ScanSettings::save(Profile& p) const {
    p.setInt(kSection, "Source", source);
    p.setInt(kSection, "Sensitivity", sensitivity);
    p.setInt(kSection, "Split Tracks", splitTracks);
    p.setInt(kSection, "Subtractor", subtractor);
    p.setInt(kSection, "Gapless", gapless);
    p.setInt(kSection, "Mode", mode);
    p.setInt(kSection, "AGC", agc);
    p.setInt(kSection, "Discriminator", discriminator);
    p.setInt(kSection, "Min Magnitude", minMagnitude);
    p.setInt(kSection, "Cor Width", corWidth);
}

DetectorFactors deriveFactors(int sensitivity, bool differential) {
    // -1 means never chosen, which counts as the default; anything else out of range comes from
    // a hand-edited store and would give a factor that flags every frame.
    if (sensitivity < 0) sensitivity = 3;
    if (sensitivity > 5) sensitivity = 5;
    DetectorFactors f;
    f.sensitivity = sensitivity;
    if (sensitivity == 0) {
        f.thresholdFactor = 1000.0f;
    } else {
        int s = sensitivity > 3 ? sensitivity - 1 : sensitivity;
        f.thresholdFactor = static_cast<float>(6 - s) * 0.5f + 2.0f;
    }
    if (differential) f.thresholdFactor += 1.0f;
    f.jumpFactor = sensitivity == 1 ? 20 : sensitivity == 2 ? 7 : 2;
    return f;
}

} // namespace tarnival
