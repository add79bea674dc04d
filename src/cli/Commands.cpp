#include "cli/Commands.h"
#include "cli/OverlayProfile.h"
#include "cli/TerminalUi.h"
#include "facade/Document.h"
#include "output/NamingRules.h"
#include "output/SaveTracks.h"
#include "settings/SettingsProfile.h"
#include "synth/DemoSide.h"
#include "tracks/TrackContext.h"
#include "tracks/TrackDetection.h"
#include "tracks/TrackEditing.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>

namespace tarnival::cli {

namespace {

const char* const kRestoreUsage =
    "Usage: tarnival-cli restore INPUT [OPTIONS]\n"
    "\n"
    "Loads INPUT (a 16-bit stereo WAV at 44.1/48 kHz, or an APE file), repairs its clicks,\n"
    "finds the tracks and writes each track as a WAV file. INPUT itself is never changed.\n"
    "Options not given are taken from the desktop application's settings.\n"
    "\n"
    "Output:\n"
    "  --out DIR              folder for the tracks (default: the input's folder)\n"
    "  --rule RULE            naming rule (default \"INPUTcor#\"; words Input, Title, Artist,\n"
    "                         Album, Genre and # for the number; \\ starts a subfolder)\n"
    "  --list FILE            also write the correction list as tab-separated text\n"
    "  --yes                  answer yes to every question (overwrite existing files, ...)\n"
    "\n"
    "Click repair:\n"
    "  --source vinyl|tape    tape: no click repair\n"
    "  --sensitivity 0-5      click threshold (0 = off, default 3)\n"
    "  --differential         detect on left minus right (mono records on stereo equipment)\n"
    "  --per-channel          detect on each channel (the default)\n"
    "  --narrow               narrow corrections\n"
    "  --agc 0-3              reduce sensitivity with increasing volume\n"
    "  --discriminator 0-3    music/noise discriminator\n"
    "  --min-magnitude 0-10   minimum click magnitude\n"
    "\n"
    "Tracks:\n"
    "  --no-split             keep the side as one track\n"
    "  --tracks N             look for N tracks (2-30)\n"
    "  --gapless              gapless boundaries (Disk-At-Once)\n"
    "  --fade-in S, --fade-out S, --pre-silence S, --post-silence S   seconds, for every track\n"
    "  --linear-fades         linear instead of logarithmic fades\n"
    "  --album TEXT, --artist TEXT\n";

struct RestoreOptions {
    std::string input;
    std::string outDir;
    std::string rule;
    std::string listFile;
    bool yes = false;
    std::optional<int> source, sensitivity, mode, agc, discriminator, minMagnitude, corWidth;
    bool noSplit = false;
    int targetTracks = 0;
    bool gapless = false;
    std::optional<double> fadeIn, fadeOut, preSilence, postSilence;
    bool linearFades = false;
    std::optional<std::string> album, artist;
};

struct UsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

int intValue(const std::string& option, const std::string& text, int low, int high) {
    char* end = nullptr;
    long v = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end || v < low || v > high)
        throw UsageError(option + " takes a whole number from " + std::to_string(low) + " to " +
                         std::to_string(high));
    return static_cast<int>(v);
}

double secondsValue(const std::string& option, const std::string& text) {
    char* end = nullptr;
    double v = std::strtod(text.c_str(), &end);
    if (text.empty() || *end || !(v >= 0) || v > 3600)
        throw UsageError(option + " takes seconds from 0 to 3600");
    return v;
}

RestoreOptions parseRestore(const std::vector<std::string>& args) {
    RestoreOptions o;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&]() -> const std::string& {
            if (i + 1 >= args.size()) throw UsageError(a + " needs a value");
            return args[++i];
        };
        if (a == "--out")
            o.outDir = value();
        else if (a == "--rule")
            o.rule = value();
        else if (a == "--list")
            o.listFile = value();
        else if (a == "--yes" || a == "-y")
            o.yes = true;
        else if (a == "--source") {
            const std::string& v = value();
            if (v != "vinyl" && v != "tape") throw UsageError("--source is vinyl or tape");
            o.source = v == "tape" ? ids::kTape : ids::kVinyl;
        } else if (a == "--sensitivity")
            o.sensitivity = intValue(a, value(), 0, 5);
        else if (a == "--differential")
            o.mode = ids::kDifferential;
        else if (a == "--per-channel")
            o.mode = ids::kPerChannel;
        else if (a == "--narrow")
            o.corWidth = ids::kNarrowWidth;
        else if (a == "--agc")
            o.agc = intValue(a, value(), 0, 3);
        else if (a == "--discriminator")
            o.discriminator = intValue(a, value(), 0, 3);
        else if (a == "--min-magnitude")
            o.minMagnitude = intValue(a, value(), 0, 10);
        else if (a == "--no-split")
            o.noSplit = true;
        else if (a == "--tracks")
            o.targetTracks = intValue(a, value(), 2, 30);
        else if (a == "--gapless")
            o.gapless = true;
        else if (a == "--fade-in")
            o.fadeIn = secondsValue(a, value());
        else if (a == "--fade-out")
            o.fadeOut = secondsValue(a, value());
        else if (a == "--pre-silence")
            o.preSilence = secondsValue(a, value());
        else if (a == "--post-silence")
            o.postSilence = secondsValue(a, value());
        else if (a == "--linear-fades")
            o.linearFades = true;
        else if (a == "--album")
            o.album = value();
        else if (a == "--artist")
            o.artist = value();
        else if (!a.empty() && a[0] == '-')
            throw UsageError("unknown option " + a);
        else if (o.input.empty())
            o.input = a;
        else
            throw UsageError("only one input file, please");
    }
    if (o.input.empty()) throw UsageError("no input file given");
    if (o.noSplit && o.targetTracks) throw UsageError("--no-split and --tracks exclude each other");
    return o;
}

std::string timeText(int64_t bytes, int rate) {
    double s = static_cast<double>(bytes) / 4.0 / rate;
    char text[32];
    std::snprintf(text, sizeof text, "%d:%06.3f", static_cast<int>(s) / 60,
                  s - 60.0 * (static_cast<int>(s) / 60));
    return text;
}

const char* kindName(const Correction& c) {
    switch (kindClass(c)) {
    case 0:
        return "track marker";
    case 1:
        return "click (small)";
    case 2:
        return "click (medium)";
    case 3:
        return "click (large)";
    case 4:
        return "edited correction";
    case 5:
        return "splice";
    default:
        return c.magnitude == magnitude_codes::kCue ? "cue" : "user correction";
    }
}

void writeList(const CMorvath3Doc& doc, const std::string& path) {
    // Written beside its place and renamed, so a failed run leaves no half list behind.
    std::string partial = path + ".partial";
    std::ofstream out(partial);
    if (!out) throw std::runtime_error("cannot write " + path);
    out << "position\tseconds\twidth\tmagnitude\tkind\n";
    const WaveLayout& l = doc.store.layout;
    for (int i = 1; i < doc.corrections.count() - 1; ++i) {
        const Correction& c = doc.corrections[i];
        char seconds[32];
        std::snprintf(seconds, sizeof seconds, "%.3f",
                      static_cast<double>(c.position - l.dataStart) / 4.0 / l.sampleRate);
        out << c.position << '\t' << seconds << '\t' << c.width << '\t' << c.magnitude << '\t'
            << kindName(c) << '\n';
    }
    out.close();
    std::error_code ec;
    if (!out || (std::filesystem::rename(partial, path, ec), ec)) {
        std::filesystem::remove(partial, ec);
        throw std::runtime_error("cannot write " + path);
    }
}

int32_t secondsToTrackBytes(double seconds, int rate) {
    return static_cast<int32_t>(seconds * rate * 4);
}

int clicksIn(const CMorvath3Doc& doc) {
    int n = 0;
    for (int i = 1; i < doc.corrections.count() - 1; ++i)
        if (doc.corrections[i].width >= 0 && doc.corrections[i].magnitude >= 0) ++n;
    return n;
}

int runRestore(const RestoreOptions& o) {
    SettingsProfile stored;
    OverlayProfile profile(stored);
    TerminalUi ui(o.yes);
    CMorvath3Doc doc(profile, ui);
    ScanSettings& s = doc.scan;
    if (s.sensitivity < 0) s.sensitivity = settings::kDefaultSensitivity;
    if (o.source) s.source = *o.source;
    if (o.sensitivity) s.sensitivity = *o.sensitivity;
    if (o.mode) s.mode = *o.mode;
    if (o.agc) s.agc = *o.agc;
    if (o.discriminator) s.discriminator = *o.discriminator;
    if (o.minMagnitude) s.minMagnitude = *o.minMagnitude;
    if (o.corWidth) s.corWidth = *o.corWidth;
    if (o.noSplit) s.splitTracks = 0;
    if (o.targetTracks) s.splitTracks = 1;
    if (o.gapless) s.gapless = 1;
    if (o.linearFades) set(profile, settings::kFadeLinear, 1);

    auto started = std::chrono::steady_clock::now();
    if (!doc.OpenWave(o.input)) return 1;
    doc.status = kWaveNotScanned;
    if (!doc.ProcessFile()) {
        std::fprintf(stderr, "tarnival: the load was abandoned; nothing was written\n");
        return 1;
    }
    double processSeconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();

    TrackContext ctx = doc.trackContext();
    if (o.targetTracks) {
        RescanChoice choice;
        choice.mode = RescanMode::UserAssisted;
        choice.targetCount = o.targetTracks;
        choice.gapless = doc.scan.gapless != 0;
        RescanTracks(ctx, choice);
    }
    const int rate = doc.store.layout.sampleRate;
    TrackList& tracks = doc.tracks;
    if (o.album) tracks[0].album = *o.album;
    if (o.artist) tracks[0].artist = *o.artist;
    for (int i = 1; i < tracks.count(); ++i) {
        Track& t = tracks[i];
        if (o.album && t.album.empty()) t.album = *o.album;
        if (o.artist && t.artist.empty()) t.artist = *o.artist;
        if (o.fadeIn) t.fadeIn = secondsToTrackBytes(*o.fadeIn, rate);
        if (o.fadeOut) t.fadeOut = secondsToTrackBytes(*o.fadeOut, rate);
        if (o.preSilence) t.preSilence = secondsToTrackBytes(*o.preSilence, rate);
        if (o.postSilence) t.postSilence = secondsToTrackBytes(*o.postSilence, rate);
    }
    std::string inputName = doc.isApe() ? doc.originalName() : o.input;
    FillDefaultNames(tracks, inputName);
    if (!o.listFile.empty()) {
        for (const std::string& taken : {o.input, doc.sourcePath(), doc.workingPath()})
            if (!taken.empty() && samePath(o.listFile, taken)) {
                std::fprintf(stderr, "tarnival: --list %s would overwrite the recording\n",
                             o.listFile.c_str());
                return 1;
            }
        writeList(doc, o.listFile);
    }

    NamingInput naming;
    naming.rule = o.rule.empty() ? kDefaultNamingRule : o.rule;
    std::string folder =
        o.outDir.empty() ? std::filesystem::path(o.input).parent_path().string() : o.outDir;
    naming.outputFolder = folder.empty() || folder.back() == '/' ? folder : folder + "/";
    naming.inputName = inputNameOf(inputName);
    for (int i = 1; i < tracks.count(); ++i) naming.selected.push_back(i);
    OutputNames names = BuildOutputNames(naming, tracks);
    if (names.duplicates) {
        std::fprintf(stderr,
                     "tarnival: the naming rule \"%s\" gives several tracks the same "
                     "file name; add # to it\n",
                     naming.rule.c_str());
        return 1;
    }

    OutputContext out{doc.store, doc.tracks, doc.splices, ui, {}, {}, {}};
    out.options.fadeLinear = tracks.fadeLinear;
    out.options.gapless = tracks.gapless;
    out.options.trackNumberText = tracks.trackNumberText;
    SaveRequest request;
    request.trackIndexes = naming.selected;
    request.trackNumbers = names.numbers;
    request.paths = names.paths;
    auto confirm = [&](const std::vector<std::string>& lines) {
        if (o.yes) return true;
        for (const auto& line : lines)
            if (line.rfind("* ", 0) == 0)
                std::fprintf(stderr, "tarnival: %s exists\n", line.c_str() + 2);
        std::fprintf(stderr, "tarnival: not overwriting existing files; use --yes to allow it\n");
        return false;
    };
    auto saveStarted = std::chrono::steady_clock::now();
    SaveOutcome saved = SaveTracks(out, o.input, request, confirm);
    if (saved.workingFileRemoved) doc.forgetWorkingFile();
    if (saved.status != SaveStatus::Saved) return 1;
    double saveSeconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - saveStarted).count();

    std::printf("\n  #  start        length       title                          file\n");
    for (size_t k = 0; k < request.trackIndexes.size(); ++k) {
        const Track& t = tracks[request.trackIndexes[k]];
        std::printf("%3d  %-11s  %-11s  %-30.30s %s\n", names.numbers[k],
                    timeText(t.start - doc.store.layout.dataStart, rate).c_str(),
                    timeText(t.end - t.start, rate).c_str(), t.title.c_str(),
                    saved.written.size() > k ? saved.written[k].c_str() : "");
    }
    double audioSeconds = static_cast<double>(doc.store.layout.dataLength()) / 4.0 / rate;
    int clicks = clicksIn(doc);
    const char* done = doc.status >= kReadyToSave ? "found and corrected" : "found, not corrected";
    std::printf("\n%s: %s of audio. %d click%s %s; %d track%s written. "
                "Status: %s. Load, scan and repair took %.2f s (%.0fx real time), writing the "
                "tracks %.2f s.\n",
                o.input.c_str(), timeText(doc.store.layout.dataLength(), rate).c_str(), clicks,
                clicks == 1 ? "" : "s", done, static_cast<int>(saved.written.size()),
                saved.written.size() == 1 ? "" : "s", doc.statusString(), processSeconds,
                processSeconds > 0 ? audioSeconds / processSeconds : 0.0, saveSeconds);
    return 0;
}

void printLayout(const std::string& path, const WaveLayout& l) {
    std::printf("File:         %s\n", path.c_str());
    std::printf("Format:       16-bit stereo, %d Hz\n", l.sampleRate);
    std::printf("Length:       %s (%lld bytes of audio)\n",
                timeText(l.dataLength(), l.sampleRate).c_str(),
                static_cast<long long>(l.dataLength()));
    std::printf("Audio data:   bytes %d to %d\n", l.dataStart, l.dataEnd);
    if (l.trailingLength > 0)
        std::printf("Trailing:     %d bytes after the audio\n", l.trailingLength);
}

} // namespace

int info(const std::vector<std::string>& args) {
    if (args.size() != 1 || args[0] == "--help") {
        std::fprintf(stderr, "Usage: tarnival-cli info FILE\n");
        return args.size() == 1 ? 0 : 2;
    }
    SettingsProfile stored;
    OverlayProfile profile(stored);
    TerminalUi ui(false);
    CMorvath3Doc doc(profile, ui);
    std::optional<WaveLayout> layout = doc.InspectWave(args[0]);
    if (!layout) return 1;
    printLayout(args[0], *layout);
    return 0;
}

int restore(const std::vector<std::string>& args) {
    if (!args.empty() && (args[0] == "--help" || args[0] == "-h")) {
        std::fputs(kRestoreUsage, stdout);
        return 0;
    }
    try {
        return runRestore(parseRestore(args));
    } catch (const UsageError& e) {
        std::fprintf(stderr, "tarnival: %s\n\n%s", e.what(), kRestoreUsage);
        return 2;
    }
}

int demo(const std::vector<std::string>& args) {
    std::filesystem::path dir = args.empty() ? "demo-out" : args[0];
    std::filesystem::create_directories(dir);
    std::string input = (dir / "demo-side.wav").string();
    std::printf("Writing a synthetic record side to %s ...\n", input.c_str());
    DemoSide side = writeDemoSide(input);
    std::printf("It holds %zu pieces of music with pauses between them, surface noise, crackle "
                "and %zu clicks.\n",
                side.pieceStarts.size(), side.clickFrames.size());
    for (size_t i = 0; i < side.pieceStarts.size(); ++i)
        std::printf("  piece %zu: %6.2f s to %6.2f s\n", i + 1, side.pieceStarts[i],
                    side.pieceEnds[i]);
    std::string list = (dir / "corrections.tsv").string();
    std::printf("\nRestoring it: tarnival-cli restore %s --out %s --list %s --yes\n", input.c_str(),
                (dir / "tracks").string().c_str(), list.c_str());
    int status = runRestore(
        parseRestore({input, "--out", (dir / "tracks").string(), "--yes", "--list", list}));
    if (status != 0) return status;

    // How many of the clicks put into the side a correction covers.
    std::vector<Correction> fixes;
    std::ifstream in(list);
    std::string line;
    std::getline(in, line);
    while (std::getline(in, line)) {
        Correction c;
        double seconds;
        if (std::sscanf(line.c_str(), "%d\t%lf\t%d\t%d", &c.position, &seconds, &c.width,
                        &c.magnitude) == 4 &&
            c.width >= 0)
            fixes.push_back(c);
    }
    size_t covered = 0;
    for (int frame : side.clickFrames) {
        int32_t at = 44 + 4 * frame;
        covered += std::any_of(fixes.begin(), fixes.end(), [&](const Correction& c) {
            return spanStart(c) <= at && at < spanEnd(c);
        });
    }
    std::printf("%zu of the %zu clicks put into the side lie inside a correction; the rest of "
                "the corrections are the crackle.\nThe tracks are in %s, the correction list in "
                "%s.\n",
                covered, side.clickFrames.size(), (dir / "tracks").string().c_str(), list.c_str());
    return 0;
}

} // namespace tarnival::cli
