#include "output/NamingRules.h"
#include "document/Settings.h"
#include "output/TrackSink.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <limits>
#include <system_error>

namespace tarnival {

const std::array<const char*, 6> kPresetNamingRules = {
    "INPUTcor#", "ALBUM#", "# - TITLE", "TITLE", "ALBUM\\# - TITLE", "ALBUM\\TITLE"};

namespace {

void replaceAll(std::string& text, const std::string& from, const std::string& to) {
    size_t at = 0;
    while ((at = text.find(from, at)) != std::string::npos) {
        text.replace(at, from.size(), to);
        at += to.size();
    }
}

bool illegalInName(unsigned char c) {
    switch (c) {
    case '<':
    case '>':
    case ':':
    case '"':
    case '/':
    case '|':
    case '*':
    case '?':
        return true;
    default:
        return c < 0x20 || c == 0x7F; // control characters, NUL above all
    }
}

// A tag value may not make folders: its separators of either kind become "-".
std::string valueText(const std::string& value) {
    std::string out = value;
    for (char& c : out)
        if (c == '\\' || c == '/') c = '-';
    return out;
}

bool onlyDots(const std::string& part) {
    return !part.empty() && part.find_first_not_of('.') == std::string::npos;
}

} // namespace

std::string namingNumberText(int number) {
    if (number == 0) return "  ";
    char text[16];
    std::snprintf(text, sizeof text, "%02d", number);
    return text;
}

std::string ExpandNamingRule(const std::string& rule, const Track& track,
                             const std::string& inputName, int number) {
    static const char* const kWords[3][5] = {
        {"album", "genre", "title", "artist", "input"},
        {"Album", "Genre", "Title", "Artist", "Input"},
        {"ALBUM", "GENRE", "TITLE", "ARTIST", "INPUT"},
    };
    static const char* const kPlaceholders[5] = {"%album", "%genre", "%title", "%artist", "%input"};
    std::string text = rule;
    for (const auto& row : kWords)
        for (int w = 0; w < 5; ++w) replaceAll(text, row[w], kPlaceholders[w]);

    const std::string values[5] = {
        valueText(track.album.empty() ? "Unknown Album" : track.album),
        valueText(track.genre.empty() ? "Unknown Genre" : track.genre),
        valueText(track.title.empty() ? "Unknown Title" : track.title),
        valueText(track.artist.empty() ? "Unknown Artist" : track.artist),
        valueText(inputName),
    };
    // One pass, so that a value that happens to contain "%title" is not expanded again.
    std::string named;
    for (size_t i = 0; i < text.size();) {
        int hit = -1;
        for (int w = 0; w < 5 && hit < 0; ++w)
            if (text.compare(i, std::char_traits<char>::length(kPlaceholders[w]),
                             kPlaceholders[w]) == 0)
                hit = w;
        if (hit < 0) {
            named += text[i++];
        } else {
            named += values[hit];
            i += std::char_traits<char>::length(kPlaceholders[hit]);
        }
    }
    replaceAll(named, "#", namingNumberText(number));

    for (char& c : named)
        if (illegalInName(static_cast<unsigned char>(c))) c = '-';

    // The rule's backslashes are folder separators. Empty parts are dropped so the name can
    // never become absolute; "." and ".." parts are dashed so it never leaves the folder.
    std::string result;
    size_t start = 0;
    while (start <= named.size()) {
        size_t end = named.find('\\', start);
        if (end == std::string::npos) end = named.size();
        std::string part = named.substr(start, end - start);
        if (onlyDots(part) && part.size() <= 2) part.assign(part.size(), '-');
        if (!part.empty()) {
            if (!result.empty()) result += '/';
            result += part;
        }
        start = end + 1;
    }
    return result;
}

std::vector<int> NumberTracks(const std::vector<int>& selected, int startNumber, bool consecutive,
                              int fixedNumber) {
    std::vector<int> numbers;
    numbers.reserve(selected.size());
    for (size_t k = 0; k < selected.size(); ++k) {
        if (fixedNumber >= 0 && !consecutive)
            numbers.push_back(fixedNumber);
        else if (consecutive)
            numbers.push_back(startNumber + static_cast<int>(k));
        else
            numbers.push_back(startNumber + selected[k] - 1);
    }
    return numbers;
}

int fixedTrackNumber(int trackCount, const std::string& trackNumberText) {
    if (trackCount != 1) return -1;
    // "3/12" style values give their leading number; out-of-range or foreign text gives 0.
    errno = 0;
    char* end = nullptr;
    long value = std::strtol(trackNumberText.c_str(), &end, 10);
    if (errno == ERANGE || value < 0 || value > std::numeric_limits<int>::max()) return 0;
    return static_cast<int>(value);
}

bool defaultConsecutive(int trackCount, int fixedNumber) {
    return trackCount == 1 && fixedNumber == 0;
}

int startNumberFromText(const std::string& text) {
    long value = std::strtol(text.c_str(), nullptr, 10);
    return static_cast<int>(std::clamp<long>(value, 1, 99));
}

std::string outputExtension(int fileType, bool externalEncoder, const std::string& extension) {
    // The encoder runs only on wave output; a dot typed with the extension is not doubled.
    if (externalEncoder && fileType == ids::kFileWave)
        return "." + extension.substr(std::min(extension.size(), extension.find_first_not_of('.')));
    if (fileType == ids::kFileApe) return ".ape";
    if (fileType == ids::kFileOgg) return ".ogg";
    if (fileType == ids::kFileFlac) return ".flac";
    return ".wav";
}

std::string defaultOutputFolder(const std::string& outputPathSetting,
                                const std::string& inputPath) {
    if (!outputPathSetting.empty())
        return outputPathSetting.back() == '/' ? outputPathSetting : outputPathSetting + "/";
    size_t slash = inputPath.find_last_of('/');
    return slash == std::string::npos ? std::string() : inputPath.substr(0, slash + 1);
}

std::string inputNameOf(const std::string& inputPath) {
    return std::filesystem::path(inputPath).stem().string();
}

bool hasUnknownTags(const std::string& name) {
    for (const char* unknown :
         {"Unknown Title", "Unknown Artist", "Unknown Genre", "Unknown Album"})
        if (name.find(unknown) != std::string::npos) return true;
    return false;
}

std::vector<size_t> duplicatePaths(const std::vector<std::string>& paths) {
    std::vector<size_t> dups;
    for (size_t i = 0; i < paths.size(); ++i)
        for (size_t j = 0; j < paths.size(); ++j)
            if (i != j && paths[i] == paths[j]) {
                dups.push_back(i);
                break;
            }
    return dups;
}

OutputNames BuildOutputNames(const NamingInput& input, const TrackList& tracks) {
    OutputNames out;
    out.numbers =
        NumberTracks(input.selected, input.startNumber, input.consecutive, input.fixedNumber);
    for (size_t k = 0; k < input.selected.size(); ++k) {
        int index = input.selected[k];
        if (index < 0 || index >= tracks.count()) continue;
        std::string stem =
            ExpandNamingRule(input.rule, tracks[index], input.inputName, out.numbers[k]);
        // Nothing but an extension would be a hidden file, easily overwritten by the next track.
        out.emptyName = out.emptyName || stem.empty();
        std::string name = stem + input.extension;
        std::string path = input.outputFolder + name;
        std::error_code ec;
        bool exists = std::filesystem::exists(path, ec);
        out.someFileExists = out.someFileExists || exists;
        out.unknownTags = out.unknownTags || hasUnknownTags(name);
        out.listLines.push_back((exists ? "*" : "") + name);
        out.paths.push_back(std::move(path));
    }
    out.duplicates = !duplicatePaths(out.paths).empty();
    return out;
}

std::vector<std::string> namingRuleChoices(const Profile& profile) {
    std::vector<std::string> choices(kPresetNamingRules.begin(), kPresetNamingRules.end());
    for (const TextSetting& key : settings::kRecentRules) {
        std::string rule = get(profile, key);
        if (!rule.empty() && std::find(choices.begin(), choices.end(), rule) == choices.end())
            choices.push_back(rule);
    }
    return choices;
}

std::string initialNamingRule(const Profile& profile) {
    std::string rule = get(profile, settings::kNamingRule);
    return rule.empty() ? kDefaultNamingRule : rule;
}

void rememberNamingRule(Profile& profile, const std::string& rule) {
    const auto& recent = settings::kRecentRules;
    std::vector<std::string> choices = namingRuleChoices(profile);
    if (std::find(choices.begin(), choices.end(), rule) == choices.end()) {
        bool placed = false;
        for (const TextSetting& key : recent)
            if (get(profile, key).empty()) {
                set(profile, key, rule);
                placed = true;
                break;
            }
        if (!placed) {
            set(profile, recent[0], get(profile, recent[1]));
            set(profile, recent[1], get(profile, recent[2]));
            set(profile, recent[2], rule);
        }
    }
    set(profile, settings::kNamingRule, rule);
}

std::string trackRowText(int number, int64_t lengthBytes, int sampleRate,
                         const std::string& title) {
    int64_t seconds = sampleRate > 0 ? lengthBytes / (int64_t{sampleRate} * 4) : 0;
    int minutes = static_cast<int>(seconds / 60);
    int rest = static_cast<int>(seconds % 60);
    char text[64];
    if (number >= 1)
        std::snprintf(text, sizeof text, "Track%2d   %2d:%02d   ", number, minutes, rest);
    else
        std::snprintf(text, sizeof text, " ---           %2d:%02d   ", minutes, rest);
    return text + title;
}

} // namespace tarnival
