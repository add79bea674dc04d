#pragma once
#include "tracks/TrackList.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace tarnival {

class Profile;

// Rules always offered, in this order, before the recently used ones.
extern const std::array<const char*, 6> kPresetNamingRules;
constexpr const char* kDefaultNamingRule = "INPUTcor#";

// The number as it appears in a name: two digits at least, or two spaces for 0.
std::string namingNumberText(int number);

// Expands a naming rule for one track. The words album, genre, title, artist and input (all
// lower, capitalised or upper case) stand for the track's tags and the input name; "#" for the
// number. A backslash in the rule starts a folder; in the result, characters that do not belong
// in a file name become "-". Tag values never create folders nor climb out of the output
// folder: their slashes and backslashes become "-", and "." or ".." path parts are dashed.
// The result is a relative path without extension.
std::string ExpandNamingRule(const std::string& rule, const Track& track,
                             const std::string& inputName, int number);

// The number of each selected track (track indexes, ascending). With consecutive numbering
// they count up from startNumber along the selection; otherwise a track keeps its place in the
// list (startNumber + index - 1), unless a fixed number (0 or more) applies.
std::vector<int> NumberTracks(const std::vector<int>& selected, int startNumber, bool consecutive,
                              int fixedNumber);

// The fixed number: with exactly one track, the track-number text as a number (0 when empty or
// not a number); with several, none (-1).
int fixedTrackNumber(int trackCount, const std::string& trackNumberText);
// Whether consecutive numbering starts checked.
bool defaultConsecutive(int trackCount, int fixedNumber);
// The start number typed by the user: at least 1, at most 99.
int startNumberFromText(const std::string& text);

// ".wav", ".ape", ".ogg" or ".flac" by type; "." + the "Extension" setting (without leading
// dots) when the external encoder runs on wave output.
std::string outputExtension(int fileType, bool externalEncoder, const std::string& extension);
// The folder output names are placed in, ending with "/" unless empty.
std::string defaultOutputFolder(const std::string& outputPathSetting, const std::string& inputPath);
// The input file's name without folder and extension.
std::string inputNameOf(const std::string& inputPath);

// True when a name holds one of the "Unknown ..." stand-ins for an empty tag.
bool hasUnknownTags(const std::string& name);
// Indexes of paths that equal another path of the list.
std::vector<size_t> duplicatePaths(const std::vector<std::string>& paths);

struct NamingInput {
    std::string rule = kDefaultNamingRule;
    std::string outputFolder; // ends with "/" or is empty
    std::string inputName;
    std::string extension = ".wav";
    std::vector<int> selected; // track indexes 1..n, ascending
    int startNumber = 1;
    bool consecutive = false;
    int fixedNumber = -1;
};

struct OutputNames {
    std::vector<std::string> paths; // one per selected track
    std::vector<int> numbers;
    std::vector<std::string> listLines; // the name, "*" in front when the file exists
    bool someFileExists = false;
    bool unknownTags = false;
    bool duplicates = false;
    bool emptyName = false; // the rule gives some track no name at all
    bool okEnabled() const { return !paths.empty() && !duplicates && !emptyName; }
};

// Builds the output names of the selected tracks, as the save dialog shows them live.
OutputNames BuildOutputNames(const NamingInput& input, const TrackList& tracks);

// Rule choices: the presets, then "Rule1".."Rule3" when set and not already listed.
std::vector<std::string> namingRuleChoices(const Profile& profile);
// The rule the dialog starts with ("NamingRule", or the default when empty).
std::string initialNamingRule(const Profile& profile);
// Stores the rule as "NamingRule" and, when it is not a choice yet, among the recent rules.
void rememberNamingRule(Profile& profile, const std::string& rule);

// A row of the dialog's track list.
std::string trackRowText(int number, int64_t lengthBytes, int sampleRate, const std::string& title);

} // namespace tarnival
