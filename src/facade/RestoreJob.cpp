#include "facade/RestoreJob.h"
#include "document/FileError.h"
#include "dsp/FilterChain.h"
#include "dsp/GraphicCurve.h"
#include "dsp/Levels.h"
#include "dsp/NoiseProfile.h"
#include "facade/Document.h"
#include "output/CorrectionExport.h"
#include "output/NamingRules.h"
#include "tracks/TrackDetection.h"
#include "tracks/TrackEditing.h"

#include <chrono>
#include <filesystem>

namespace tarnival {

namespace {

double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

} // namespace

int repairedClicks(const CorrectionList& list) {
    int n = 0;
    for (int i = 1; i < list.count() - 1; ++i)
        if (list[i].width >= 0 && list[i].magnitude >= 0) ++n;
    return n;
}

bool RestoreJob::stopped() const {
    return doc_.ui().stopRequested();
}

bool RestoreJob::sessionInput() const {
    const std::string& in = plan_.input;
    if (in.size() < 4) return false;
    std::string tail = in.substr(in.size() - 4);
    for (char& c : tail) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return tail == ".ses";
}

bool RestoreJob::writeSession() {
    if (plan_.saveSession.empty()) return true;
    return doc_.SaveSession(plan_.saveSession);
}

bool RestoreJob::open() {
    if (sessionInput()) return doc_.RestoreSession(plan_.input);
    if (!doc_.OpenWave(plan_.input)) return false;
    // Asked for a number of tracks: the automatic detection would only be thrown away.
    if (plan_.targetTracks) doc_.scan.splitTracks = 0;
    return true;
}

bool RestoreJob::process() {
    // A session brings its corrections, tracks and filters with it.
    if (sessionInput()) return !stopped();
    return doc_.ProcessFile() && !stopped();
}

void RestoreJob::placeTracks() {
    if (!plan_.targetTracks || sessionInput()) return;
    TrackContext ctx = doc_.trackContext();
    RescanChoice choice;
    choice.mode = RescanMode::UserAssisted;
    choice.targetCount = plan_.targetTracks;
    choice.gapless = doc_.scan.gapless != 0;
    RescanTracks(ctx, choice);
}

bool RestoreJob::filterAndLevel() {
    CMorvath3Doc& d = doc_;
    FilterContext ctx = d.filterContext();
    const WaveLayout& l = d.store.layout;
    if (plan_.filters) {
        const RestoreFilters& f = *plan_.filters;
        FilterSettings& s = d.filters.settings;
        s.RumbleOn = f.rumble;
        s.HissOn = f.hiss > 0;
        if (f.hiss > 0) s.HissLevel = f.hiss;
        s.HumOn = f.hum;
        s.TrebleOn = f.treble != 0;
        s.TrebleLevel = f.treble;
        s.GraphicOn = false;
        s.ApplyMode = FilterApply::ReplaceExisting;
        if (!f.graphic.empty() &&
            !SelectGraphicFilter(d.profile(), d.ui(), d.filters, f.graphic, l.sampleRate))
            return false;
        if (s.HissOn || s.HumOn) {
            bool profiled = false;
            if (f.profile) {
                auto at = [&](double seconds) {
                    return l.toFrame(static_cast<int32_t>(
                        std::min<double>(l.dataStart + seconds * l.sampleRate * 4, l.dataEnd)));
                };
                profiled =
                    CaptureProfileBlock(ctx, at(f.profile->first), at(f.profile->second), false);
            } else {
                profiled = EnsureProfileBlock(ctx);
            }
            if (!profiled) return false;
        }
        if (ApplyFilters(ctx).cancelled) return false;
    }
    // Balance before normalising, as a batch does: the peak is then the final one.
    const FrameFilter counts = d.countedFrames();
    if (plan_.balanceAuto || plan_.balanceDb) {
        std::optional<double> ratio =
            plan_.balanceAuto ? BalanceEstimate(d.overview.levelSum, d.overview.balanceSum,
                                                d.store.leftGain, d.store.rightGain)
                              : std::optional<double>(BalanceRatio(*plan_.balanceDb));
        if (!ratio) {
            d.ui().message("The balance cannot be estimated: a channel is silent.");
            return false;
        }
        if (!AdjustBalance(d.store, d.ui(), d.filters.levels, *ratio, counts)) return false;
    }
    if (plan_.normaliseDb &&
        !Normalise(d.store, d.ui(), d.filters.levels, *plan_.normaliseDb, counts))
        return false;
    d.editor().invalidate();
    return true;
}

void RestoreJob::applyTrackOptions() {
    TrackList& tracks = doc_.tracks;
    const int rate = doc_.store.layout.sampleRate;
    auto setLength = [rate](int32_t& length, const std::optional<std::string>& seconds) {
        if (seconds) length = secondsToBytes(*seconds, rate);
    };
    for (int i = 0; i < tracks.count(); ++i) {
        Track& t = tracks[i];
        if (plan_.album) t.album = *plan_.album;
        if (plan_.artist) t.artist = *plan_.artist;
        if (plan_.title) t.title = *plan_.title;
        if (plan_.genre) t.genre = *plan_.genre;
        if (i == 0) continue;
        setLength(t.fadeIn, plan_.fadeIn);
        setLength(t.fadeOut, plan_.fadeOut);
        setLength(t.preSilence, plan_.preSilence);
        setLength(t.postSilence, plan_.postSilence);
    }
    FillDefaultNames(tracks, doc_.inputPath());
}

bool RestoreJob::writeList() {
    if (plan_.listFile.empty()) return true;
    for (const std::string& taken : {doc_.inputPath(), doc_.sourcePath(), doc_.workingPath()})
        if (!taken.empty() && samePath(plan_.listFile, taken)) {
            doc_.ui().message("The correction list " + plan_.listFile +
                              " would overwrite the recording; choose another name.");
            return false;
        }
    try {
        ExportCorrectionList(doc_.corrections, doc_.store.layout, plan_.listFile,
                             plan_.replaceExisting);
    } catch (const FileError& e) {
        std::string text = "The correction list could not be written: " + std::string(e.what());
        if (!plan_.replaceExisting && std::filesystem::exists(plan_.listFile))
            text = "The correction list " + plan_.listFile +
                   " exists; it is replaced only when you allow it.";
        doc_.ui().message(text);
        return false;
    }
    return true;
}

bool RestoreJob::save() {
    TrackList& tracks = doc_.tracks;
    NamingInput naming;
    naming.rule = plan_.rule.empty() ? kDefaultNamingRule : plan_.rule;
    std::string folder = plan_.outputFolder.empty()
                             ? std::filesystem::path(doc_.inputPath()).parent_path().string()
                             : plan_.outputFolder;
    naming.outputFolder = folder.empty() || folder.back() == '/' ? folder : folder + "/";
    naming.inputName = inputNameOf(doc_.inputPath());
    const OutputSettings output = plan_.output ? *plan_.output : loadOutputSettings(doc_.profile());
    naming.extension = outputExtension(output);
    for (int i = 1; i < tracks.count(); ++i) naming.selected.push_back(i);
    // Numbered as the save dialog numbers them at first: an APE tag's track number names a
    // single track.
    naming.fixedNumber = fixedTrackNumber(tracks.trackCount(), tracks.trackNumberText);
    naming.consecutive = defaultConsecutive(tracks.trackCount(), naming.fixedNumber);
    OutputNames names = BuildOutputNames(naming, tracks);
    if (names.emptyName) {
        doc_.ui().message("The naming rule \"" + naming.rule +
                          "\" gives a track no file name; put a word or # in it.");
        result_.outcome = RestoreResult::Outcome::Refused;
        return false;
    }
    if (names.duplicates) {
        doc_.ui().message("The naming rule \"" + naming.rule +
                          "\" gives several tracks the same file name; add # to it.");
        result_.outcome = RestoreResult::Outcome::Refused;
        return false;
    }

    OutputContext out{doc_.store, doc_.tracks, doc_.splices, doc_.ui(), {}, {}, {}};
    applyOutputSettings(output, out.options);
    if (output.usesExternalEncoder()) {
        if (!encoderSetupValid(output.encoderSetup())) {
            doc_.ui().message(kInvalidParametersText);
            result_.outcome = RestoreResult::Outcome::Refused;
            return false;
        }
        out.externalEncoder = makeExternalEncoder(output.encoderSetup(), doc_.ui());
    }
    out.options.fadeLinear = tracks.fadeLinear;
    out.options.gapless = tracks.gapless;
    out.options.trackNumberText = tracks.trackNumberText;
    SaveRequest request;
    request.trackIndexes = naming.selected;
    request.trackNumbers = names.numbers;
    request.paths = names.paths;
    ConfirmSave confirm = [this](const std::vector<std::string>&) { return plan_.replaceExisting; };
    auto started = std::chrono::steady_clock::now();
    SaveOutcome saved = SaveTracks(out, doc_.inputPath(), request, confirm);
    result_.saveSeconds = secondsSince(started);
    if (saved.workingFileRemoved) doc_.forgetWorkingFile();
    result_.trackIndexes = request.trackIndexes;
    result_.trackNumbers = request.trackNumbers;
    result_.written = saved.written;
    switch (saved.status) {
    case SaveStatus::Saved:
        return true;
    case SaveStatus::Declined:
        result_.outcome = RestoreResult::Outcome::Declined;
        break;
    case SaveStatus::Refused:
        result_.outcome = RestoreResult::Outcome::Refused;
        break;
    case SaveStatus::Stopped:
        result_.outcome = RestoreResult::Outcome::Stopped;
        break;
    case SaveStatus::Failed:
        result_.outcome = RestoreResult::Outcome::Failed;
        break;
    }
    return false;
}

RestoreResult RestoreJob::run() {
    result_ = RestoreResult{};
    auto started = std::chrono::steady_clock::now();
    if (!open() || !process()) {
        result_.outcome =
            stopped() ? RestoreResult::Outcome::Stopped : RestoreResult::Outcome::NotOpened;
        return result_;
    }
    result_.processSeconds = secondsSince(started);
    result_.clicks = repairedClicks(doc_.corrections);
    placeTracks();
    if (!filterAndLevel()) {
        result_.outcome =
            stopped() ? RestoreResult::Outcome::Stopped : RestoreResult::Outcome::Failed;
        return result_;
    }
    return finish();
}

RestoreResult RestoreJob::finish() {
    applyTrackOptions();
    if (stopped()) {
        result_.outcome = RestoreResult::Outcome::Stopped;
        return result_;
    }
    if (!writeList()) {
        result_.outcome = RestoreResult::Outcome::Refused;
        return result_;
    }
    if (!writeSession()) {
        result_.outcome = RestoreResult::Outcome::Failed;
        return result_;
    }
    if (!save()) return result_;
    result_.outcome = RestoreResult::Outcome::Done;
    return result_;
}

RestoreResult RestoreJob::writeTracks() {
    result_ = RestoreResult{};
    if (!doc_.isLoaded()) return result_;
    result_.clicks = repairedClicks(doc_.corrections);
    return finish();
}

} // namespace tarnival
