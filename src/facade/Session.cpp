// Sessions of the document: collecting its state for a session file, and rebuilding a document
// from one (reopening the recording, remaking the working file, the corrections and filters).
#include "document/FileError.h"
#include "dsp/FilterChain.h"
#include "facade/Document.h"
#include "scan/RepairMethod.h"
#include "session/SessionCheck.h"
#include "session/SessionCodec.h"
#include "tracks/TrackEditing.h"
#include "tracks/TrackMenu.h"
#include "tracks/TrackTimings.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <map>

namespace tarnival {

namespace fs = std::filesystem;

namespace {

constexpr const char* kLocateTitle =
    "Wave File not Found in Original Location... Locate File to Proceed";

std::string lowerTail(const std::string& path) {
    std::string tail = path.size() >= 4 ? path.substr(path.size() - 4) : path;
    for (char& c : tail) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return tail;
}

// The name part of a stored path, which may come from a system that separates with '\'.
std::string storedName(const std::string& path) {
    size_t at = path.find_last_of("\\/");
    return at == std::string::npos ? path : path.substr(at + 1);
}

bool readable(const std::string& path) {
    std::error_code ec;
    if (path.empty() || !fs::is_regular_file(path, ec)) return false;
    try {
        File f(path, File::Mode::ReadOnly);
        return true;
    } catch (const FileError&) {
        return false;
    }
}

} // namespace

std::string CMorvath3Doc::proposedSessionPath() const {
    return inputPath_.empty() ? std::string() : replaceExtension(inputPath_, ".ses");
}

SessionData CMorvath3Doc::sessionData() const {
    SessionData d;
    d.inputPath = inputPath_;
    d.state = load_.status & 7;
    d.corrections = corrections.entries();
    d.chunkLevels.assign(overview.chunkLevels.begin(), overview.chunkLevels.end());
    d.tracks = tracks.tracks;
    d.hasViewWord = true;
    d.viewWord =
        SessionData::makeViewWord(tracks.gapless, verticalScale, std::max(0, horizontalScale));
    d.chunkEnvelope.reserve(overview.chunkEnvelope.size());
    for (const auto& e : overview.chunkEnvelope) {
        uint32_t v = 0;
        for (int k = 3; k >= 0; --k) v = v << 8 | static_cast<uint8_t>(e[static_cast<size_t>(k)]);
        d.chunkEnvelope.push_back(v);
    }
    const AppliedFilters& a = filters.applied;
    d.hasFilters = true;
    d.appliedRumble = a.AppliedRumble;
    d.appliedHiss = a.AppliedHiss;
    d.appliedHum = a.AppliedHum;
    d.appliedTreble = a.AppliedTreble;
    d.leftGain = store.leftGain;
    d.rightGain = store.rightGain;
    d.profileStart = filters.settings.ProfileStart;
    d.profileEnd = filters.settings.ProfileEnd;
    d.hasSums = true;
    d.levelSum = overview.levelSum;
    d.balanceSum = overview.balanceSum;
    d.splices = splices.splices;
    d.hasGraphic = true;
    d.appliedGraphic = a.AppliedGraphic;
    std::copy(filters.tables.GraphicGain.begin(), filters.tables.GraphicGain.end(),
              d.graphicGains.begin());
    d.selectedEntry = currentEntry;
    d.hasRepairMethod = true;
    d.repairMethod = repairMethodId(generator_.method());
    return d;
}

bool CMorvath3Doc::SaveSession(const std::string& path) {
    if (!isLoaded()) {
        ui_.beep();
        return false;
    }
    // The recording and its working files are never written over.
    std::optional<File::Identity> target = fileIdentity(path);
    for (const std::string& ours : {inputPath_, sourcePath(), workingPath_, decodedPath_}) {
        if (!target || ours.empty()) continue;
        std::optional<File::Identity> id = fileIdentity(ours);
        if (id && *id == *target)
            return fail("The session cannot be saved as " + path +
                        ": that is the recording itself. Choose another name.");
    }
    try {
        writeSessionFile(path, sessionData());
    } catch (const FileError& e) {
        return fail(std::string("The session could not be saved: ") + e.what());
    }
    // The user's save: nothing is lost now if the program ends.
    modified = false;
    return true;
}

bool CMorvath3Doc::OpenDocument(const std::string& path) {
    const std::string tail = lowerTail(path);
    if (tail == ".ses") return RestoreSession(path);
    if (tail == ".wav" || tail == ".ape") return OpenWave(path) && ProcessFile();
    return fail("The file type is not supported");
}

std::optional<std::string> CMorvath3Doc::locateInput(const SessionData& d,
                                                     const std::string& sessionPath) {
    const std::string name = storedName(d.inputPath);
    if (readable(d.inputPath)) return d.inputPath;
    // Moved together with its session: look beside the session first.
    const fs::path beside = fs::path(sessionPath).parent_path() / name;
    if (!name.empty() && readable(beside.string())) return beside.string();
    const bool ape = lowerTail(name) == ".ape";
    std::optional<std::string> chosen = ui_.locateFile(
        kLocateTitle, ape ? "APE Files (*.ape)" : "Wave Files (*.wav)", name.substr(0, 100));
    if (chosen && fs::path(*chosen).filename().string() != name) {
        char text[1024];
        std::snprintf(text, sizeof text, " The Filenames %s and %s do not match.", name.c_str(),
                      fs::path(*chosen).filename().string().c_str());
        fail(text);
        chosen.reset();
    }
    if (!chosen) {
        fail("The file " + d.inputPath + " could not be opened.");
        return std::nullopt;
    }
    return chosen;
}

void CMorvath3Doc::applySession(const SessionData& d) {
    corrections.entries() = d.corrections;
    corrections.zeroBlockCounters();
    for (int i = 1; i < corrections.count() - 1; ++i)
        corrections.raiseBlockCounter(corrections[i].position);

    for (size_t i = 0; i < overview.chunkLevels.size(); ++i)
        overview.chunkLevels[i] = static_cast<int32_t>(d.chunkLevels[i]);
    for (size_t i = 0; i < d.chunkEnvelope.size(); ++i)
        for (size_t k = 0; k < 4; ++k)
            overview.chunkEnvelope[i][k] = static_cast<int8_t>(d.chunkEnvelope[i] >> (8 * k));
    if (d.hasSums) {
        overview.levelSum = d.levelSum;
        overview.balanceSum = d.balanceSum;
    }

    splices.splices = d.splices;
    splices.recomputeShifts();

    TrackContext ctx = trackContext();
    std::map<std::string, std::string> tags;
    if (decoder_) tags = decoder_->tags();
    ResetTrackList(ctx, decoder_ ? &tags : nullptr);
    LoadTrackSettings(tracks, profile_);
    tracks.tracks = d.tracks;
    tracks.gapless = d.hasViewWord ? d.gapless() : scan.gapless != 0;
    UpdateTrackStatus(ctx);
    if (d.hasViewWord) {
        verticalScale = d.verticalScale();
        horizontalScale = d.horizontalScale();
    }

    if (d.hasFilters) {
        store.leftGain = d.leftGain;
        store.rightGain = d.rightGain;
        filters.settings.ProfileStart = d.profileStart;
        filters.settings.ProfileEnd = d.profileEnd;
        AppliedFilters& a = filters.applied;
        a = {};
        a.AppliedRumble = d.appliedRumble != 0;
        a.AppliedHum = d.appliedHum != 0;
        a.AppliedHiss = d.appliedHiss;
        a.AppliedTreble = d.appliedTreble;
    }
    if (d.hasGraphic) {
        filters.applied.AppliedGraphic = d.appliedGraphic;
        std::copy(d.graphicGains.begin(), d.graphicGains.end(), filters.tables.GraphicGain.begin());
    }
    generator_.setMethod(repairMethodFromId(d.hasRepairMethod ? d.repairMethod : 0));

    load_.status = std::min(d.state, static_cast<int>(kReadyToSave));
    load_.scanned = load_.status >= kWaveNotCorrected; // a whole-file scan had completed
    load_.cancelPosition = 0;
    currentEntry = 0;
    if (d.selectedEntry >= 1 && d.selectedEntry < corrections.count() - 1) {
        currentEntry = d.selectedEntry;
    } else {
        for (int i = 1; i < corrections.count() - 1; ++i)
            if (corrections[i].width == -2) {
                currentEntry = i;
                break;
            }
    }
    cues.clear();
    for (int i = 1; i < corrections.count() - 1; ++i)
        if (corrections[i].magnitude == magnitude_codes::kCue)
            cues.push_back(corrections[i].position);
}

bool CMorvath3Doc::rebuildWorkingFile() {
    const WaveLayout& l = store.layout;
    std::unique_ptr<SourceReader> source;
    if (decoder_)
        source = std::make_unique<ApeSourceReader>(*decoder_, store.source, l);
    else
        source = std::make_unique<WaveSourceReader>(store.source);
    const int64_t total = store.source.length();
    store.working.setLength(total);
    ui_.setProgressRange(0, total);

    std::vector<int16_t> buffer(kBlockSize / 2);
    auto* bytes = reinterpret_cast<uint8_t*>(buffer.data());
    auto copy = [&](int64_t from, int64_t to, bool audio) {
        for (int64_t at = from; at < to; at += kBlockSize) {
            if (ui_.pumpAndTakeCancel() && ui_.ask("Really Cancel Restore Sesssion?", "Tarnival",
                                                   Buttons::YesNo) == Answer::Yes)
                return false;
            const size_t want = static_cast<size_t>(std::min<int64_t>(kBlockSize, to - at));
            const size_t got = source->read(at, bytes, want);
            if (source->damagedFrame()) {
                fail("The APE file " + inputPath_ + " is damaged and cannot be decoded.");
                return false;
            }
            if (audio) store.applyGains(buffer.data(), got / 2);
            store.writeWorking(at, bytes, got);
            ui_.setProgressPosition(at + static_cast<int64_t>(got));
            if (got < want) break;
        }
        return true;
    };
    if (!copy(0, l.dataStart, false) || !copy(l.dataStart, l.dataEnd, true) ||
        !copy(l.dataEnd, total, false))
        return false;
    source.reset();
    decoder_.reset(); // the decoded file holds all the audio now
    editor_.invalidate();
    return true;
}

void CMorvath3Doc::restoreFilters(const SessionData& d) {
    FilterSettings& s = filters.settings;
    AppliedFilters& a = filters.applied;
    s.RumbleOn = a.AppliedRumble;
    s.HumOn = a.AppliedHum;
    s.HissOn = a.AppliedHiss > 0;
    s.HissLevel = a.AppliedHiss;
    s.TrebleOn = a.AppliedTreble != 0;
    s.TrebleLevel = a.AppliedTreble;
    s.GraphicOn = !a.AppliedGraphic.empty();
    if (s.GraphicOn) s.GraphicName = a.AppliedGraphic;
    s.ApplyMode = FilterApply::ReplaceExisting;
    if (d.hasFilters) set(profile_, settings::kSubtractor, a.AppliedHiss);

    const EffectiveFilters e = EffectiveFromApplied(a);
    FilterContext ctx = filterContext();
    ctx.blockStart = ctx.blockEnd = 0; // a session's filters cover the whole recording
    const FilterRange range = CurrentRange(ctx);
    PassOptions options;
    options.silent = true;
    PassResult r;
    a.Filtered = false;
    if (e.highPass()) {
        ui_.setCurrentTask(restoreTask_++);
        r = RunHighPass(ctx, range, options);
        if (!r.cancelled) a.Filtered = true;
    }
    if (!r.cancelled && e.spectral()) {
        ui_.setCurrentTask(restoreTask_++);
        r = RunSpectralFilter(ctx, range, e.mode(), e.hiss, options);
        if (!r.cancelled) a.Filtered = true;
    }
    if (!r.cancelled && e.treble != 0) {
        ui_.setCurrentTask(restoreTask_++);
        r = RunTreble(ctx, range, e.treble, options);
        if (!r.cancelled) a.Filtered = true;
    }
    editor_.invalidate();
    if (!r.cancelled) return;
    // Cancelled: back to the corrected, unfiltered recording.
    const int at = restoreTask_ - 1;
    ui_.setTaskText(at, "Operation Cancelled");
    ui_.markTask(at);
    ui_.setTaskText(at + 1, "Recover Waveform");
    const bool remake = corrections.count() > 2 * tracks.count();
    if (remake) ui_.setTaskText(at + 2, "Recover Corrections");
    ui_.setCurrentTask(at + 1);
    RestoreUnfiltered(ctx);
    if (remake) {
        ui_.setCurrentTask(at + 2);
        remakeCorrections();
    }
    editor_.invalidate();
}

bool CMorvath3Doc::RestoreSession(const std::string& path) {
    // No automatic save of a half-restored document.
    struct Busy {
        bool& flag;
        bool was;
        ~Busy() { flag = was; }
    } busyScope{busy, busy};
    busy = true;
    SessionData d;
    try {
        d = readSessionFile(path);
    } catch (const SessionDamaged& e) {
        return fail(e.what());
    } catch (const FileError& e) {
        return fail(e.what());
    }
    std::optional<std::string> input = locateInput(d, path);
    if (!input) return false;
    std::optional<InputInspection> inspection = InspectWave(*input);
    if (!inspection) return fail("The file " + d.inputPath + " could not be opened.");
    try {
        checkSession(d, inspection->layout);
    } catch (const SessionDamaged& e) {
        return fail(e.what());
    }
    if (!OpenWave(*input)) return fail("The file " + d.inputPath + " could not be opened.");

    ui_.setStatusPane(1, "Restoring Session " + fs::path(path).filename().string());
    observer_->listEmptied();
    applySession(d);
    modified = true;

    const EffectiveFilters e = EffectiveFromApplied(filters.applied);
    const bool remake = corrections.count() > 2 * tracks.count();
    std::vector<std::string> tasks{"Load Wave File"};
    if (remake) tasks.push_back("Restore Corrections");
    for (const std::string& label : PassLabels(e)) tasks.push_back("Restore " + label);
    bool ok = false;
    try {
        ProgressScope progress(ui_, tasks);
        ui_.setProgressTitle("Restoring Session");
        restoreTask_ = 0;
        ui_.setCurrentTask(restoreTask_++);
        ok = rebuildWorkingFile();
        if (ok) {
            observer_->listRefilled();
            if (remake) {
                ui_.setCurrentTask(restoreTask_++);
                remakeCorrections();
            }
            restoreFilters(d);
        }
    } catch (const FileError& e2) {
        CloseWave();
        return fail(e2.what());
    }
    if (!ok) {
        CloseWave();
        return false;
    }
    modified = true;
    if (currentEntry) observer_->entrySelected(currentEntry);
    observer_->trackDisplayChanged();
    observer_->redraw();
    ui_.setStatusPane(1, statusString());
    return true;
}

} // namespace tarnival
