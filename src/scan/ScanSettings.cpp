#include "scan/ScanSettings.h"

namespace tarnival {

void ScanSettings::load(const Profile& p) {
    using namespace settings;
    source = get(p, kSource);
    sensitivity = get(p, kSensitivity);
    mode = get(p, kMode);
    agc = get(p, kAgc);
    discriminator = get(p, kDiscriminator);
    minMagnitude = get(p, kMinMagnitude);
    corWidth = get(p, kCorWidth);
    splitTracks = get(p, kSplitTracks);
    gapless = get(p, kGapless);
    subtractor = get(p, kSubtractor);
    repairMethod = get(p, kRepairMethod);
}

void ScanSettings::save(Profile& p) const {
    using namespace settings;
    set(p, kSource, source);
    set(p, kSensitivity, sensitivity);
    set(p, kSplitTracks, splitTracks);
    set(p, kSubtractor, subtractor);
    set(p, kGapless, gapless);
    set(p, kMode, mode);
    set(p, kAgc, agc);
    set(p, kDiscriminator, discriminator);
    set(p, kMinMagnitude, minMagnitude);
    set(p, kCorWidth, corWidth);
    set(p, kRepairMethod, repairMethod);
}

DetectorFactors deriveFactors(int sensitivity, bool differential) {
    // -1 means never chosen, which counts as the default; anything else out of range comes from
    // a hand-edited store and would give a factor that flags every frame.
    if (sensitivity < 0) sensitivity = settings::kDefaultSensitivity;
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
