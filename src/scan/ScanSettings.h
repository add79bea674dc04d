#pragma once
#include "document/Settings.h"
#include "scan/RepairMethod.h"

namespace tarnival {

// The settings that steer loading and click detection.
struct ScanSettings {
    int source = ids::kVinyl;
    int sensitivity = -1; // -1: never chosen; see settings::kDefaultSensitivity
    int mode = ids::kPerChannel;
    int agc = 0;
    int discriminator = 0;
    int minMagnitude = 0;
    int corWidth = ids::kNormalWidth;
    int splitTracks = 1;
    int gapless = 0;
    int subtractor = 1;
    int repairMethod = ids::kRepairStandard; // the stored identifier, see RepairMethod.h

    bool isTape() const { return source == ids::kTape; }
    bool isDifferential() const { return mode == ids::kDifferential; }
    bool isNarrow() const { return corWidth == ids::kNarrowWidth; }
    RepairMethod method() const { return repairMethodFromId(repairMethod); }

    void load(const Profile& profile);
    void save(Profile& profile) const;
    bool operator==(const ScanSettings&) const = default;
};

// Factors the detector derives from the settings at the start of a scan.
struct DetectorFactors {
    float thresholdFactor = 1000.0f; // F
    int jumpFactor = 2;              // J
    int sensitivity = 0;             // selects the look-ahead rule and the magnitude floor
};

DetectorFactors deriveFactors(int sensitivity, bool differential);

} // namespace tarnival
