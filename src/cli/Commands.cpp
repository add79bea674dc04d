#include "cli/Commands.h"
#include "cli/OverlayProfile.h"
#include "cli/TerminalUi.h"
#include "dsp/FilterChain.h"
#include "facade/Document.h"
#include "facade/RestoreJob.h"
#include "settings/SettingsProfile.h"
#include "synth/DemoSide.h"
#include "tracks/TrackEditing.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>

namespace tarnival::cli {

namespace {

const char* const kRestoreUsage =
    "Usage: tarnival-cli restore INPUT [OPTIONS]\n"
    "\n"
    "Loads INPUT (a 16-bit stereo WAV at 44.1/48 kHz, or an APE file), repairs its clicks,\n"
    "finds the tracks and writes each track as a WAV file. INPUT itself is never changed.\n"
    "When INPUT is a session (.ses), its recording is reopened with the corrections, tracks,\n"
    "cuts and filters the session holds, and its tracks are written; the output options apply.\n"
    "Options not given are taken from the desktop application's settings; each on/off option\n"
    "has its opposite, so a stored setting can always be overridden.\n"
    "\n"
    "Output:\n"
    "  --out DIR              folder for the tracks (default: the input's folder)\n"
    "  --rule RULE            naming rule (default \"INPUTcor#\"; words Input, Title, Artist,\n"
    "                         Album, Genre and # for the number; \\ starts a subfolder)\n"
    "  --format TYPE          wav, ape, ogg, flac, or external (the encoder below)\n"
    "  --ape-level LEVEL      fast, normal, high or extra\n"
    "  --ogg-quality 0-6      from minimum (56k) to maximum (400k)\n"
    "  --flac-level 0-8       FLAC compression level\n"
    "  --encoder PROGRAM, --encoder-args TEMPLATE, --extension EXT\n"
    "                         the external encoder: TEMPLATE holds %IN and %OUT, and %A, %L,\n"
    "                         %T, %G, %N for artist, album, title, genre and number\n"
    "  --list FILE            also write the correction list as tab-separated text\n"
    "  --save-session FILE    also save the session (.ses) before the tracks are written\n"
    "  --yes                  answer yes to every question (replace existing files, ...)\n"
    "\n"
    "Click repair:\n"
    "  --source vinyl|tape    tape: no click repair\n"
    "  --sensitivity 0-5      click threshold (0 = off, default 3)\n"
    "  --differential         detect on left minus right (mono records on stereo equipment)\n"
    "  --per-channel          detect on each channel (the default)\n"
    "  --narrow, --normal     narrow or normal corrections\n"
    "  --agc 0-3              reduce sensitivity with increasing volume\n"
    "  --discriminator 0-3    music/noise discriminator\n"
    "  --min-magnitude 0-10   minimum click magnitude\n"
    "  --repair standard|precise   how clicks are repaired: the standard reconstruction, or\n"
    "                         precise (only the damaged samples are rewritten)\n"
    "\n"
    "Filters and levels (after the click repair):\n"
    "  --rumble               rumble filter (high-pass)\n"
    "  --hiss 0-3             hiss reduction level (tape sources are de-hissed as they load)\n"
    "  --hum                  hum filter\n"
    "  --treble -3..3         treble cut or lift, 4 dB a step\n"
    "  --graphic NAME         a graphic filter saved in the desktop application\n"
    "  --profile auto|S-E     the noise profile: found automatically, or seconds S to E\n"
    "  --normalise DB         scale to this peak (0 or below)\n"
    "  --balance auto|DB      re-balance the channels: measured, or right against left in dB\n"
    "\n"
    "Tracks:\n"
    "  --split, --no-split    find the tracks, or keep the side as one track\n"
    "  --tracks N             look for N tracks (2-30)\n"
    "  --gapless, --no-gapless  gapless boundaries (Disk-At-Once) or not\n"
    "  --fade-in S, --fade-out S, --pre-silence S, --post-silence S   seconds, for every track\n"
    "  --linear-fades, --log-fades   fade shape\n"
    "  --album TEXT, --artist TEXT, --title TEXT, --genre TEXT   for every track\n";

struct RestoreOptions {
    RestorePlan plan;
    RestoreFilters filters;
    bool filtering = false;
    bool profileGiven = false;
    std::optional<std::string> format, apeLevel, encoder, encoderArgs, extension;
    std::optional<int> oggQuality, flacLevel;
    bool yes = false;
    std::optional<int> source, sensitivity, mode, agc, discriminator, minMagnitude, corWidth,
        repair;
    std::optional<int> split, gapless, fadeLinear;
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

// Kept as typed: the engine turns seconds into bytes exactly.
std::string secondsValue(const std::string& option, const std::string& text) {
    char* end = nullptr;
    double v = std::strtod(text.c_str(), &end);
    if (text.empty() || *end || !(v >= 0) || v > 3600)
        throw UsageError(option + " takes seconds from 0 to 3600");
    return text;
}

double numberValue(const std::string& option, const std::string& text, double low, double high) {
    char* end = nullptr;
    double v = std::strtod(text.c_str(), &end);
    if (text.empty() || *end || !(v >= low && v <= high))
        throw UsageError(option + " takes a number from " + std::to_string(static_cast<int>(low)) +
                         " to " + std::to_string(static_cast<int>(high)));
    return v;
}

std::pair<double, double> profileValue(const std::string& text) {
    size_t dash = text.find('-', 1);
    if (dash == std::string::npos) throw UsageError("--profile takes auto or START-END (seconds)");
    double a = numberValue("--profile", text.substr(0, dash), 0, 86400);
    double b = numberValue("--profile", text.substr(dash + 1), 0, 86400);
    if (b <= a) throw UsageError("--profile: the end must come after the start");
    return {a, b};
}

RestoreOptions parseRestore(const std::vector<std::string>& args) {
    RestoreOptions o;
    RestorePlan& p = o.plan;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&]() -> const std::string& {
            if (i + 1 >= args.size()) throw UsageError(a + " needs a value");
            return args[++i];
        };
        if (a == "--out")
            p.outputFolder = value();
        else if (a == "--rule")
            p.rule = value();
        else if (a == "--list")
            p.listFile = value();
        else if (a == "--save-session")
            p.saveSession = value();
        else if (a == "--yes" || a == "-y")
            o.yes = true;
        else if (a == "--source") {
            const std::string& v = value();
            if (v != "vinyl" && v != "tape") throw UsageError("--source is vinyl or tape");
            o.source = v == "tape" ? ids::kTape : ids::kVinyl;
        } else if (a == "--sensitivity")
            o.sensitivity = intValue(a, value(), 0, 5);
        else if (a == "--differential" || a == "--per-channel")
            o.mode = a == "--differential" ? ids::kDifferential : ids::kPerChannel;
        else if (a == "--narrow" || a == "--normal")
            o.corWidth = a == "--narrow" ? ids::kNarrowWidth : ids::kNormalWidth;
        else if (a == "--repair") {
            const std::string& v = value();
            if (v != "standard" && v != "precise")
                throw UsageError("--repair is standard or precise");
            o.repair = v == "precise" ? ids::kRepairPrecise : ids::kRepairStandard;
        } else if (a == "--agc")
            o.agc = intValue(a, value(), 0, 3);
        else if (a == "--discriminator")
            o.discriminator = intValue(a, value(), 0, 3);
        else if (a == "--min-magnitude")
            o.minMagnitude = intValue(a, value(), 0, 10);
        else if (a == "--split" || a == "--no-split")
            o.split = a == "--split";
        else if (a == "--tracks")
            p.targetTracks = intValue(a, value(), 2, 30);
        else if (a == "--gapless" || a == "--no-gapless")
            o.gapless = a == "--gapless";
        else if (a == "--fade-in")
            p.fadeIn = secondsValue(a, value());
        else if (a == "--fade-out")
            p.fadeOut = secondsValue(a, value());
        else if (a == "--pre-silence")
            p.preSilence = secondsValue(a, value());
        else if (a == "--post-silence")
            p.postSilence = secondsValue(a, value());
        else if (a == "--linear-fades" || a == "--log-fades")
            o.fadeLinear = a == "--linear-fades";
        else if (a == "--album")
            p.album = value();
        else if (a == "--artist")
            p.artist = value();
        else if (a == "--title")
            p.title = value();
        else if (a == "--genre")
            p.genre = value();
        else if (a == "--rumble")
            o.filters.rumble = o.filtering = true;
        else if (a == "--hiss")
            o.filters.hiss = intValue(a, value(), 0, 3), o.filtering = true;
        else if (a == "--hum")
            o.filters.hum = o.filtering = true;
        else if (a == "--treble")
            o.filters.treble = intValue(a, value(), -3, 3), o.filtering = true;
        else if (a == "--graphic")
            o.filters.graphic = value(), o.filtering = true;
        else if (a == "--profile") {
            const std::string& v = value();
            o.profileGiven = true;
            if (v != "auto") o.filters.profile = profileValue(v);
        } else if (a == "--normalise" || a == "--normalize")
            p.normaliseDb = numberValue(a, value(), -60, 0);
        else if (a == "--balance") {
            const std::string& v = value();
            if (v == "auto")
                p.balanceAuto = true;
            else
                p.balanceDb = intValue(a, v, -12, 12);
        } else if (a == "--format")
            o.format = value();
        else if (a == "--ape-level")
            o.apeLevel = value();
        else if (a == "--ogg-quality")
            o.oggQuality = intValue(a, value(), 0, 6);
        else if (a == "--flac-level")
            o.flacLevel = intValue(a, value(), 0, 8);
        else if (a == "--encoder")
            o.encoder = value();
        else if (a == "--encoder-args")
            o.encoderArgs = value();
        else if (a == "--extension")
            o.extension = value();
        else if (!a.empty() && a[0] == '-')
            throw UsageError("unknown option " + a);
        else if (p.input.empty())
            p.input = a;
        else
            throw UsageError("only one input file, please");
    }
    if (p.input.empty()) throw UsageError("no input file given");
    if (o.split == 0 && p.targetTracks)
        throw UsageError("--no-split and --tracks exclude each other");
    p.replaceExisting = o.yes;
    if (o.filtering) p.filters = o.filters;
    if (o.profileGiven && !o.filters.hiss && !o.filters.hum)
        throw UsageError("--profile is for --hiss or --hum");
    static const char* const formats[] = {"wav", "ape", "ogg", "flac", "external"};
    if (o.format &&
        std::find(std::begin(formats), std::end(formats), *o.format) == std::end(formats))
        throw UsageError("--format is wav, ape, ogg, flac or external");
    static const char* const levels[] = {"fast", "normal", "high", "extra"};
    if (o.apeLevel &&
        std::find(std::begin(levels), std::end(levels), *o.apeLevel) == std::end(levels))
        throw UsageError("--ape-level is fast, normal, high or extra");
    return o;
}

std::string timeText(int64_t bytes, int rate) {
    double s = static_cast<double>(bytes) / 4.0 / rate;
    char text[32];
    std::snprintf(text, sizeof text, "%d:%06.3f", static_cast<int>(s) / 60,
                  s - 60.0 * (static_cast<int>(s) / 60));
    return text;
}

// The command line's choices on top of the stored settings, for this run only.
void applyOptions(const RestoreOptions& o, CMorvath3Doc& doc, Profile& profile) {
    ScanSettings& s = doc.scan;
    if (s.sensitivity < 0) s.sensitivity = settings::kDefaultSensitivity;
    if (o.source) s.source = *o.source;
    if (o.sensitivity) s.sensitivity = *o.sensitivity;
    if (o.mode) s.mode = *o.mode;
    if (o.agc) s.agc = *o.agc;
    if (o.discriminator) s.discriminator = *o.discriminator;
    if (o.minMagnitude) s.minMagnitude = *o.minMagnitude;
    if (o.corWidth) s.corWidth = *o.corWidth;
    if (o.repair) s.repairMethod = *o.repair;
    if (o.split) s.splitTracks = *o.split;
    if (o.gapless) s.gapless = *o.gapless;
    if (o.fadeLinear) set(profile, settings::kFadeLinear, *o.fadeLinear);
}

// The output settings: the stored ones with the command line's on top.
OutputSettings outputSettings(const RestoreOptions& o, const Profile& profile) {
    OutputSettings s = loadOutputSettings(profile);
    if (o.format) {
        const std::string& f = *o.format;
        s.externalEncoder = f == "external";
        s.fileType = f == "ape"    ? ids::kFileApe
                     : f == "ogg"  ? ids::kFileOgg
                     : f == "flac" ? ids::kFileFlac
                                   : ids::kFileWave;
    }
    if (o.apeLevel) {
        static const char* const levels[] = {"fast", "normal", "high", "extra"};
        s.apeLevel = static_cast<int>(std::find(std::begin(levels), std::end(levels), *o.apeLevel) -
                                      std::begin(levels));
    }
    if (o.oggQuality) s.oggQuality = *o.oggQuality;
    if (o.flacLevel) s.flacLevel = *o.flacLevel;
    if (o.encoder) s.encoder = *o.encoder;
    if (o.encoderArgs) s.parameters = *o.encoderArgs;
    if (o.extension) s.extension = *o.extension;
    return s;
}

void printResult(const CMorvath3Doc& doc, const RestoreResult& r) {
    const int rate = doc.store.layout.sampleRate;
    std::printf("\n  #  start        length       title                          file\n");
    for (size_t k = 0; k < r.trackIndexes.size(); ++k) {
        const Track& t = doc.tracks[r.trackIndexes[k]];
        std::printf("%3d  %-11s  %-11s  %-30.30s %s\n", r.trackNumbers[k],
                    timeText(t.start - doc.store.layout.dataStart, rate).c_str(),
                    timeText(t.end - t.start, rate).c_str(), t.title.c_str(),
                    r.written.size() > k ? r.written[k].c_str() : "");
    }
    double audioSeconds = static_cast<double>(doc.store.layout.dataLength()) / 4.0 / rate;
    const bool corrected = doc.status() >= kReadyToSave;
    const char* done = corrected ? "found and corrected" : "found, not corrected";
    std::printf("\n%s: %s of audio. %d click%s %s; %d track%s written. "
                "Status: %s. Load, scan and repair took %.2f s (%.0fx real time), writing the "
                "tracks %.2f s.\n",
                doc.inputPath().c_str(), timeText(doc.store.layout.dataLength(), rate).c_str(),
                r.clicks, r.clicks == 1 ? "" : "s", done, static_cast<int>(r.written.size()),
                r.written.size() == 1 ? "" : "s", doc.statusString(), r.processSeconds,
                r.processSeconds > 0 ? audioSeconds / r.processSeconds : 0.0, r.saveSeconds);
    // Precise repair leaves a correction alone when it finds nothing damaged in it: say how many,
    // so that "corrected" above does not overstate what was rewritten.
    if (corrected && doc.generator().method() == RepairMethod::Precise) {
        const CorrectionGenerator::PreciseCounts& n = doc.generator().preciseCounts();
        std::printf(
            "Precise repair: %d corrections rewrote only the damaged samples, %d were left as they "
            "were (nothing damaged found, or the attack of a note), %d were made the "
            "standard way (damage too wide).\n",
            n.repaired, n.clean, n.standard);
    }
    const AppliedFilters& a = doc.filters.applied;
    if (a.any()) {
        std::string text;
        auto add = [&](const std::string& what) { text += (text.empty() ? "" : ", ") + what; };
        if (a.AppliedRumble) add("rumble");
        if (a.AppliedHum) add("hum");
        if (a.AppliedHiss) add("hiss level " + std::to_string(a.AppliedHiss));
        if (a.AppliedTreble) add("treble " + std::to_string(4 * a.AppliedTreble) + " dB");
        if (!a.AppliedGraphic.empty()) add("graphic \"" + a.AppliedGraphic + "\"");
        std::printf("Filters applied: %s\n", text.c_str());
    }
    if (doc.store.leftGain != 1.0f || doc.store.rightGain != 1.0f)
        std::printf("Levels: left %+.1f dB, right %+.1f dB\n", 20 * std::log10(doc.store.leftGain),
                    20 * std::log10(doc.store.rightGain));
    if (!doc.dataRepair().empty()) std::printf("Note: %s\n", doc.dataRepair().c_str());
}

// Runs a restore in doc; returns the exit status.
int runRestore(const RestoreOptions& o, CMorvath3Doc& doc, Profile& profile) {
    applyOptions(o, doc, profile);
    RestorePlan plan = o.plan;
    plan.output = outputSettings(o, profile);
    RestoreResult r = RestoreJob(doc, plan).run();
    switch (r.outcome) {
    case RestoreResult::Outcome::Done:
        printResult(doc, r);
        return 0;
    case RestoreResult::Outcome::NotOpened:
        if (doc.isLoaded() || doc.status() != kWaveNotLoaded) break;
        std::fprintf(stderr, "tarnival: nothing was written\n");
        return 1;
    case RestoreResult::Outcome::Declined:
        std::fprintf(stderr, "tarnival: not replacing existing files; use --yes to allow it\n");
        return 1;
    case RestoreResult::Outcome::Stopped:
        std::fprintf(stderr, "tarnival: stopped; %zu track%s written\n", r.written.size(),
                     r.written.size() == 1 ? "" : "s");
        return 1;
    default:
        break;
    }
    return 1;
}

void printLayout(const std::string& path, const InputInspection& i) {
    const WaveLayout& l = i.layout;
    std::printf("File:         %s\n", path.c_str());
    std::printf("Format:       16-bit stereo, %d Hz%s\n", l.sampleRate, i.ape ? " (APE)" : "");
    std::printf("Length:       %s (%lld bytes of audio)\n",
                timeText(l.dataLength(), l.sampleRate).c_str(),
                static_cast<long long>(l.dataLength()));
    std::printf("Audio data:   bytes %d to %d\n", l.dataStart, l.dataEnd);
    if (l.trailingLength > 0)
        std::printf("Trailing:     %d bytes after the audio\n", l.trailingLength);
    if (!i.repair.empty()) std::printf("Note:         %s\n", i.repair.c_str());
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
    std::optional<InputInspection> inspection = doc.InspectWave(args[0]);
    if (!inspection) return 1;
    printLayout(args[0], *inspection);
    return 0;
}

int restore(const std::vector<std::string>& args) {
    if (!args.empty() && (args[0] == "--help" || args[0] == "-h")) {
        std::fputs(kRestoreUsage, stdout);
        return 0;
    }
    RestoreOptions options;
    try {
        options = parseRestore(args);
    } catch (const UsageError& e) {
        std::fprintf(stderr, "tarnival: %s\n\n%s", e.what(), kRestoreUsage);
        return 2;
    }
    SettingsProfile stored;
    OverlayProfile profile(stored);
    TerminalUi ui(options.yes);
    CMorvath3Doc doc(profile, ui);
    return runRestore(options, doc, profile);
}

int demo(const std::vector<std::string>& args) {
    if (args.size() > 1 || (!args.empty() && args[0].starts_with("-"))) {
        if (!args.empty() && (args[0] == "-h" || args[0] == "--help")) {
            std::printf("Usage: tarnival-cli demo [DIR]\n\nWrites a synthetic record side into DIR "
                        "(default ./demo-out) and restores it.\n");
            return 0;
        }
        std::fprintf(stderr, "tarnival: demo takes one folder: tarnival-cli demo [DIR]\n");
        return 2;
    }
    std::filesystem::path dir = args.empty() ? "demo-out" : args[0];
    std::error_code made;
    std::filesystem::create_directories(dir, made);
    if (made) {
        std::fprintf(stderr, "tarnival: cannot make the folder %s: %s\n", dir.c_str(),
                     made.message().c_str());
        return 1;
    }
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
    std::string tracks = (dir / "tracks").string();
    std::printf("\nRestoring it: tarnival-cli restore %s --out %s --list %s --yes\n", input.c_str(),
                tracks.c_str(), list.c_str());
    SettingsProfile stored;
    OverlayProfile profile(stored);
    TerminalUi ui(true);
    CMorvath3Doc doc(profile, ui);
    int status =
        runRestore(parseRestore({input, "--out", tracks, "--yes", "--list", list}), doc, profile);
    if (status != 0) return status;

    // How many of the clicks put into the side a correction covers.
    const CorrectionList& fixes = doc.corrections;
    size_t covered = 0;
    for (int frame : side.clickFrames) {
        int32_t at = doc.store.layout.dataStart + 4 * frame;
        for (int i = 1; i < fixes.count() - 1; ++i)
            if (fixes[i].width >= 0 && spanStart(fixes[i]) <= at && at < spanEnd(fixes[i])) {
                ++covered;
                break;
            }
    }
    std::printf("%zu of the %zu clicks put into the side lie inside a correction; the rest of "
                "the corrections are the crackle.\nThe tracks are in %s, the correction list in "
                "%s.\n",
                covered, side.clickFrames.size(), tracks.c_str(), list.c_str());
    return 0;
}

} // namespace tarnival::cli
