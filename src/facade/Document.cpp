#include "facade/Document.h"
#include "dsp/FilterChain.h"
#include "dsp/Levels.h"
#include "scan/ClickDetector.h"
#include "tracks/TrackEditing.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <vector>

namespace tarnival {

const char* const kNoFileTitle = "Wave File - Not Yet Loaded";

const char* statusText(int status) {
    static const char* const texts[] = {
        "Wave Not Loaded",    "Wave Not Scanned", "Scan Incomplete", "Wave Not Corrected",
        "Processing Aborted", "Ready to Save",    "Auto-Saving"};
    return status >= 0 && status <= 6 ? texts[status] : "";
}

CMorvath3Doc::CMorvath3Doc(Profile& profile, UserInterface& ui)
    : profile_(profile), ui_(ui), title_(kNoFileTitle) {
    scan.load(profile_);
    tempMode = get(profile_, settings::kTempMode);
    tempPath = get(profile_, settings::kTempPath);
    AutoSave::Hooks hooks;
    // Every long operation shows the progress display; the idle loop may run inside its pumps.
    hooks.busy = [this] { return busy || ui_.progressShown() || (playing && playing()); };
    hooks.modified = [this] { return modified && isLoaded(); };
    hooks.inputPath = [this] { return inputPath_; };
    hooks.encode = [this] { return encodeSession(sessionData()); };
    hooks.showSaving = [this](bool saving) {
        ui_.setStatusPane(1, saving ? statusText(kAutoSaving) : statusString());
    };
    autoSave_ = std::make_unique<AutoSave>(profile_, ui_, std::move(hooks));
}

CMorvath3Doc::~CMorvath3Doc() {
    CloseWave();
}

void CMorvath3Doc::setObserver(DocumentObserver* observer) {
    observer_ = observer ? observer : &silent_;
    editor_.setObserver(observer_);
}

void CMorvath3Doc::forgetWorkingFile() {
    store.working.close();
    workingPath_.clear();
}

void CMorvath3Doc::CloseWave() {
    store.source.close();
    decoder_.reset();
    if (!decodedPath_.empty()) removeFile(decodedPath_);
    decodedPath_.clear();
    if (store.working.isOpen()) {
        try {
            store.working.setLength(0);
        } catch (const std::exception&) {
            // Deleting it below is what matters.
        }
        store.working.close();
    }
    if (!workingPath_.empty()) removeFile(workingPath_);
    workingPath_.clear();

    corrections.reset();
    corrections.sizeBlockCounters(0);
    blockList.reset();
    tracks = TrackList{};
    splices = SpliceList{};
    overview.clear();
    filters.resetForNewFile();
    editor_.invalidate();
    store.layout = WaveLayout{};
    store.leftGain = store.rightGain = 1.0f;
    load_ = LoadState{};
    modified = false;
    currentEntry = 0;
    blockStart = blockEnd = 0;
    cues.clear();
    blockSettings.superCounter = 1;
    ape_ = false;
    originalName_.clear();
    inputPath_.clear();
    dataRepair_.clear();
    title_ = kNoFileTitle;
    observer_->listEmptied();
    observer_->titleChanged();
}

TrackContext CMorvath3Doc::trackContext() {
    TrackContext ctx{tracks, splices, corrections, store, ui_, profile_};
    ctx.observer = observer_;
    ctx.modified = &modified;
    ctx.inputName = inputPath_;
    ctx.chunkLevels = &overview.chunkLevels;
    return ctx;
}

FilterContext CMorvath3Doc::filterContext() {
    FilterContext ctx{store, fft, ui_, filters};
    ctx.chunkLevels = &overview.chunkLevels;
    ctx.blockStart = blockStart;
    ctx.blockEnd = blockEnd;
    ctx.scanned = load_.scanned;
    ctx.waveNotCorrected = load_.status == kWaveNotCorrected;
    ctx.hasCorrections = corrections.count() > 2 * tracks.count();
    ctx.remakeCorrections = [this] { remakeCorrections(); };
    ctx.settingsStore = &profile_;
    ctx.cancelPosition = &load_.cancelPosition;
    ctx.modified = &modified;
    return ctx;
}

std::function<bool(int32_t)> CMorvath3Doc::countedFrames() const {
    // Called for every frame of the file: the track ranges are looked up by bisection.
    std::vector<std::pair<int32_t, int32_t>> ranges;
    for (int i = 1; i <= tracks.trackCount(); ++i)
        ranges.emplace_back(tracks[i].start, tracks[i].end);
    std::sort(ranges.begin(), ranges.end());
    return [this, ranges](int32_t position) {
        if (splices.cutHolding(position) >= 0) return false;
        if (ranges.empty()) return true;
        const int32_t shown = splices.sourceToDisplay(position);
        auto after =
            std::upper_bound(ranges.begin(), ranges.end(), std::make_pair(shown, INT32_MAX));
        return after != ranges.begin() && shown < std::prev(after)->second;
    };
}

void CMorvath3Doc::remakeCorrections() {
    MakeOptions options;
    options.trackEntries = tracks.count();
    options.observer = observer_;
    ui_.setProgressText(0, "Making Corrections...");
    MakeCorrections(corrections, generator_, store, ui_, options);
    editor_.invalidate();
}

bool CMorvath3Doc::ProcessFile() {
    if (!isLoaded()) return false;
    if (load_.status > kProcessingAborted &&
        ui_.ask("The Wave File Has already been Processed\nDo You want to Re-Process the current "
                "file?",
                "Re-Scan Current File", Buttons::YesNo) != Answer::Yes)
        return false;
    bool firstRun = scan.sensitivity == -1;
    if (firstRun) scan.sensitivity = settings::kDefaultSensitivity;
    if (load_.status > kWaveNotScanned || firstRun) {
        if (!ui_.editScanOptions(scan)) {
            if (firstRun) scan.sensitivity = -1; // still never chosen: ask again next time
            return false;
        }
        scan.save(profile_);
    }

    load_.cancelPosition = 0;
    store.leftGain = store.rightGain = 1.0f;
    filters.applied = {};
    filters.levels.MaxSample = -1;

    std::vector<std::string> tasks;
    if (scan.isTape()) {
        scan.mode = ids::kPerChannel;
        tasks.push_back("Scan for Tracks");
        if (scan.subtractor != 0) tasks.push_back("Apply Hiss Filter");
    } else if (scan.sensitivity != 0) {
        tasks = {"Scan for Tracks and Clicks", "Generate Corrections"};
    } else {
        tasks.push_back("Scan for Tracks");
    }
    load_.status = kWaveNotScanned;
    // The method belongs to the document's corrections as a whole: a whole-file scan fixes it.
    generator_.setMethod(scan.method());
    ProgressScope progress(ui_, tasks);
    ui_.setCurrentTask(0);
    currentEntry = 0;

    bool loaded = false;
    try {
        std::map<std::string, std::string> tags;
        if (decoder_) tags = decoder_->tags();
        std::unique_ptr<SourceReader> source;
        if (decoder_)
            source = std::make_unique<ApeSourceReader>(*decoder_, store.source, store.layout);
        else
            source = std::make_unique<WaveSourceReader>(store.source);
        TrackContext ctx = trackContext();
        LoadDriver driver(ctx, blockList, overview, scan, fft, *source, load_);
        loaded = driver.run(decoder_ ? &tags : nullptr);
        // The decoded file now holds all the audio; re-scans read it like a wave file.
        if (loaded) decoder_.reset();
    } catch (...) {
        CloseWave();
        throw;
    }
    editor_.invalidate();
    if (!loaded) {
        CloseWave();
        return false;
    }

    if (load_.status == kWaveNotCorrected) {
        ui_.setCurrentTask(1);
        if (!scan.isTape() && scan.sensitivity != 0) {
            MakeOptions options;
            options.trackEntries = tracks.count();
            options.status = &load_.status;
            options.observer = observer_;
            MakeResult made = MakeCorrections(corrections, generator_, store, ui_, options);
            if (made.cancelled) load_.cancelPosition = made.cancelIndex;
        } else if (scan.isTape() && scan.subtractor != 0) {
            FilterContext ctx = filterContext();
            TapeHissResult hiss = ApplyTapeHiss(ctx, scan.subtractor);
            editor_.invalidate();
            if (hiss.cancelled) {
                load_.cancelPosition = static_cast<int32_t>(hiss.cancelPosition);
                // The filtering had started: the recovery below puts the unfiltered audio back.
                load_.status = kProcessingAborted;
            }
        }
    }
    if (load_.cancelPosition != 0 && load_.status > kWaveNotCorrected) recoverWaveform();

    currentEntry = corrections.count() > 2 ? 1 : 0;
    if (currentEntry) observer_->entrySelected(currentEntry);
    observer_->redraw();
    return true;
}

void CMorvath3Doc::recoverWaveform() {
    ui_.setTaskText(2, "Operation Cancelled");
    ui_.setTaskText(3, "Recover Waveform");
    ui_.setCurrentTask(2);
    ui_.markTask(2);
    // The corrections' progress counted entries; this one goes through the file.
    const WaveLayout& l = store.layout;
    ui_.setProgressRange(l.dataStart, l.dataEnd);
    if (scan.isTape()) {
        FilterContext ctx = filterContext();
        RestoreUnfiltered(ctx, load_.cancelPosition);
    } else {
        std::vector<int16_t> buffer(kBlockSize / 2);
        for (int64_t pos = l.dataStart; pos < l.dataEnd; pos += kBlockSize) {
            size_t bytes = static_cast<size_t>(std::min<int64_t>(kBlockSize, l.dataEnd - pos));
            store.readSourceWithGains(pos, buffer.data(), bytes);
            store.writeWorking(pos, buffer.data(), bytes);
            ui_.setProgressPosition(pos);
            ui_.pumpAndTakeCancel();
        }
    }
    editor_.invalidate();
    // Only the markers survive: the corrections are gone from the audio.
    std::vector<Correction> markers;
    for (int i = 1; i < corrections.count() - 1; ++i)
        if (corrections[i].width < 0) markers.push_back(corrections[i]);
    corrections.reset();
    corrections.entries().insert(corrections.entries().begin() + 1, markers.begin(), markers.end());
    corrections.zeroBlockCounters();
    observer_->listEmptied();
}

std::string CMorvath3Doc::StatusReport() const {
    if (load_.status == kWaveNotLoaded) return "File Not Loaded";
    char text[160];
    std::snprintf(text, sizeof text, "Tracks Found: %d\n\n", tracks.count() - 1);
    std::string report = text;
    int clicks = std::max(0, corrections.count() - 2 * tracks.count());
    if (currentEntry > 0 && currentEntry < corrections.count() &&
        corrections[currentEntry].magnitude == magnitude_codes::kInsertedCurrent)
        --clicks;
    std::snprintf(text, sizeof text, "Clicks Corrected: %d\n\n", clicks);
    report += text;
    report += AppliedFiltersReport(filters.applied);
    report += VolumeAdjustmentsText(store.leftGain, store.rightGain);
    std::snprintf(text, sizeof text, "\n\nSample Rate: %4.1f kS/sec",
                  store.layout.sampleRate * 0.001);
    report += text;
    if (!dataRepair_.empty()) report += "\n\n" + dataRepair_;
    return report;
}

} // namespace tarnival
