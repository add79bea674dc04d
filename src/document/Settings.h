#pragma once
// Every stored setting the engine reads: section, key and the value used when it is absent.
// Front ends and engine read and write them through get()/set(), so each default has one owner.
#include "document/Profile.h"

#include <string>

namespace tarnival {

namespace ids {
// Choice settings store the identifier of the chosen control; these numbers are stored values
// (in the settings and in session files).
constexpr int kVinyl = 1095;
constexpr int kTape = 1096;
constexpr int kDifferential = 1004;
constexpr int kPerChannel = 1005;
constexpr int kNormalWidth = 1303;
constexpr int kNarrowWidth = 1295;
constexpr int kTempSystem = 1135;
constexpr int kTempSameFolder = 1136;
constexpr int kTempUser = 1142;
// Output types ("File Type").
constexpr int kFileWave = 1239;
constexpr int kFileApe = 1240;
constexpr int kFileOgg = 1241;
// FLAC is this program's own addition. 1250 is not the identifier of any other stored choice, so
// it cannot be mistaken for one in settings or session files.
constexpr int kFileFlac = 1250;

// Recorder start/stop mode ("RecMode") and speed conversion ("Convert Mode").
constexpr int kRecTimed = 1101;
constexpr int kRecManual = 1102;
constexpr int kRecAuto = 1103;
constexpr int kConvertNone = 1269;
constexpr int kConvert78 = 1270;
constexpr int kConvertCustom = 1271;

// Click repair ("Repair Method"). Chosen above every control identifier the other stored
// choices use (1004 .. 1303), so a value from an old or hand-edited store cannot be taken for
// another setting's choice.
constexpr int kRepairStandard = 1701;
constexpr int kRepairPrecise = 1702;
} // namespace ids

struct IntSetting {
    const char* section;
    const char* key;
    int fallback;
};
struct TextSetting {
    const char* section;
    const char* key;
    const char* fallback;
};

inline int get(const Profile& p, const IntSetting& s) {
    return p.getInt(s.section, s.key, s.fallback);
}
inline std::string get(const Profile& p, const TextSetting& s) {
    return p.getString(s.section, s.key, s.fallback);
}
inline void set(Profile& p, const IntSetting& s, int value) {
    p.setInt(s.section, s.key, value);
}
inline void set(Profile& p, const TextSetting& s, const std::string& value) {
    p.setString(s.section, s.key, value);
}

namespace settings {

constexpr const char* kSection = "Settings";

// Application and paths.
constexpr TextSetting kPathName{kSection, "PathName", ""};
constexpr IntSetting kTempMode{kSection, "Temp Mode", ids::kTempSystem};
constexpr TextSetting kTempPath{kSection, "Temp Path", ""};
constexpr TextSetting kOutputPath{kSection, "Output Path", ""};
constexpr IntSetting kAutoSave{kSection, "AutoSave", 0};

// Scanning. A sensitivity of -1 means never chosen: the first file processed takes
// kDefaultSensitivity and shows the options.
constexpr int kDefaultSensitivity = 3;
constexpr IntSetting kSource{kSection, "Source", ids::kVinyl};
constexpr IntSetting kSensitivity{kSection, "Sensitivity", -1};
constexpr IntSetting kMode{kSection, "Mode", ids::kPerChannel};
constexpr IntSetting kAgc{kSection, "AGC", 0};
constexpr IntSetting kDiscriminator{kSection, "Discriminator", 0};
constexpr IntSetting kMinMagnitude{kSection, "Min Magnitude", 0};
constexpr IntSetting kCorWidth{kSection, "Cor Width", ids::kNormalWidth};
constexpr IntSetting kSplitTracks{kSection, "Split Tracks", 1};
constexpr IntSetting kGapless{kSection, "Gapless", 0};
constexpr IntSetting kSubtractor{kSection, "Subtractor", 1};
constexpr IntSetting kRepairMethod{kSection, "Repair Method", ids::kRepairStandard};

// Tracks.
constexpr IntSetting kFadeLinear{kSection, "Fade Linear", 0};
constexpr TextSetting kPreSilence{kSection, "PreSilence", "0"};
constexpr TextSetting kFadeIn{kSection, "FadeIn", "0"};
constexpr TextSetting kFadeOut{kSection, "FadeOut", "0"};
constexpr TextSetting kPostSilence{kSection, "PostSilence", "0"};

// Output.
constexpr IntSetting kFileType{kSection, "File Type", ids::kFileWave};
constexpr IntSetting kExternalEncoder{kSection, "External Encoder", 0};
constexpr IntSetting kApeLevel{kSection, "Ape Level", 2};      // index into kApeLevels
constexpr IntSetting kOggQuality{kSection, "Ogg Quality", 5};  // index into kOggQualities
constexpr IntSetting kFlacLevel{kSection, "Flac Level", 5};    // libFLAC's level, 0..8
constexpr TextSetting kEncoder{kSection, "Encoder", ""};       // the external encoder program
constexpr TextSetting kParameters{kSection, "Parameters", ""}; // its command-line template
constexpr TextSetting kRecentParameters[3] = {
    {kSection, "Para1", ""}, {kSection, "Para2", ""}, {kSection, "Para3", ""}};
constexpr TextSetting kExtension{kSection, "Extension", ""}; // of its output files
constexpr TextSetting kRecentExtensions[3] = {
    {kSection, "Ext1", ""}, {kSection, "Ext2", ""}, {kSection, "Ext3", ""}};
constexpr TextSetting kNamingRule{kSection, "NamingRule", ""};
constexpr TextSetting kRecentRules[3] = {
    {kSection, "Rule1", ""}, {kSection, "Rule2", ""}, {kSection, "Rule3", ""}};

// Saved graphic filters: string values "Filt00".."Filt99" hold the names, and a binary value
// named after each filter holds its curve.
constexpr const char* kFiltersSection = "Filters";
constexpr int kFilterSlots = 100;

// Sound devices: -1 is the system's default device, n the n-th entry of the device list.
constexpr IntSetting kOutputDevice{kSection, "OutputDevice", -1};
constexpr IntSetting kInputDevice{kSection, "InputDevice", -1};
constexpr TextSetting kVolControl{kSection, "VolControl", "pavucontrol --tab=4"};

// Recorder. "RecordPath" falls back to "PathName" when it was never stored.
constexpr TextSetting kRecordPath{kSection, "RecordPath", ""};
constexpr IntSetting kRecMode{kSection, "RecMode", ids::kRecManual};
constexpr IntSetting kRecordRate{kSection, "RecordRate", 44100};
constexpr IntSetting kConvertMode{kSection, "Convert Mode", ids::kConvertNone};
constexpr IntSetting kConvertRatio{kSection, "Convert Ratio", 1000};
constexpr IntSetting kRecTime{kSection, "RecTime", 1};

// Views.
constexpr IntSetting kGraticule{kSection, "Graticule", 1};
constexpr IntSetting kThinTrace{kSection, "ThinTrace", 0};
constexpr IntSetting kBackground{kSection, "Background", 0};
constexpr IntSetting kListSel{kSection, "ListSel", 1165};
constexpr IntSetting kListMag{kSection, "ListMag", 0};
constexpr IntSetting kFindMag{kSection, "FindMag", 5};
constexpr IntSetting kFindTime{kSection, "FindTime", 1000}; // milliseconds
// Main window placement; Flags -1: none saved.
constexpr IntSetting kPlacementFlags{kSection, "Flags", -1};
constexpr IntSetting kPlacementTop{kSection, "Top", 0};
constexpr IntSetting kPlacementBottom{kSection, "Bottom", 0};
constexpr IntSetting kPlacementLeft{kSection, "Left", 0};
constexpr IntSetting kPlacementRight{kSection, "Right", 0};
constexpr IntSetting kPlacementShow{kSection, "Show", 1};

} // namespace settings
} // namespace tarnival
