// Re-scan and super-scan of the whole file or of the selected block.
#include "facade/Document.h"
#include "scan/BlockScan.h"
#include "scan/ClickDetector.h"
#include "tracks/CutSplice.h"
#include "tracks/TrackMarkers.h"

#include <algorithm>
#include <climits>
#include <cstdio>

namespace tarnival {

namespace {

std::string passTask(const char* task, int pass, int passes) {
    if (passes <= 1) return task;
    char text[96];
    std::snprintf(text, sizeof text, "%s; Pass %d of %d", task, pass, passes);
    return text;
}

bool isCorrectionSpan(const Correction& c) {
    return c.width >= 0 && c.magnitude != magnitude_codes::kSplice &&
           c.magnitude != magnitude_codes::kCue;
}

} // namespace

void CMorvath3Doc::SelectBlock(int32_t start, int32_t end) {
    const WaveLayout& l = store.layout;
    if (end <= start) {
        ClearBlock();
        return;
    }
    blockStart = std::clamp(start, l.dataStart, l.dataEnd);
    blockEnd = std::clamp(end, l.dataStart, l.dataEnd);
}

RescanPrompt CMorvath3Doc::PrepareRescan(bool super, bool wholeFile) {
    RescanPrompt p;
    if (wholeFile) {
        SelectBlock(0, static_cast<int32_t>(std::min<int64_t>(store.layout.fileLength, INT32_MAX)));
        blockSettings.sensitivity = scan.sensitivity;
        blockSettings.mode = scan.mode;
    }
    const ListRange r = blockListRange(corrections, blockStart, blockEnd);
    for (int i = r.first; i <= r.last; ++i) {
        p.hasUserCorrections |= corrections[i].magnitude == magnitude_codes::kEdited;
        p.hasCuts |= corrections[i].magnitude == magnitude_codes::kSplice;
    }
    if (super) {
        p.message = "New corrections will be generated and superimposed on top of existing "
                    "corrections.";
        p.caption = wholeFile ? "Super-Scan for Clicks" : "Super-Scan Block";
    } else if (wholeFile) {
        p.message = "All corrections will be deleted.\nThe entire file will be re-scanned for "
                    "clicks";
        p.caption = "Re-Scan for Clicks";
    } else {
        p.message = "Corrections in the selected block will be deleted.\nNew corrections will be "
                    "generated.";
        p.caption = "Re-Scan Block";
    }
    p.progressTitle = wholeFile ? "Re-Scanning" : "Re-Scanning Block";
    return p;
}

RescanOptions CMorvath3Doc::RescanDefaults() const {
    RescanOptions c;
    const BlockSettings& b = blockSettings;
    c.sensitivity = b.sensitivity == BlockSettings::kUseDocument ? scan.sensitivity : b.sensitivity;
    if (c.sensitivity < 0) c.sensitivity = settings::kDefaultSensitivity;
    c.mode = b.mode == BlockSettings::kUseDocument ? scan.mode : b.mode;
    c.agc = scan.agc;
    c.discriminator = scan.discriminator;
    c.minMagnitude = scan.minMagnitude;
    c.corWidth = scan.corWidth;
    c.passes = std::max(b.passes, 1);
    c.repairMethod = repairMethodId(generator_.method());
    return c;
}

bool CMorvath3Doc::Rescan(bool super, bool wholeFile, const RescanOptions& choice) {
    if (!isLoaded() || !load_.scanned || store.working.path().empty()) {
        ui_.beep();
        return false;
    }
    const RescanPrompt prompt = PrepareRescan(super, wholeFile);
    const bool keepUser = !super && choice.keepUserCorrections && prompt.hasUserCorrections;
    const bool keepCuts = !super && choice.keepCuts && prompt.hasCuts;

    const Correction saved = currentEntry > 0 && currentEntry < corrections.count()
                                 ? corrections[currentEntry]
                                 : Correction{};
    blockSettings.sensitivity = std::clamp(choice.sensitivity, 0, 5);
    blockSettings.mode = choice.mode == ids::kDifferential ? ids::kDifferential : ids::kPerChannel;
    blockSettings.passes = super ? std::clamp(choice.passes, 1, 6) : 1;
    scan.agc = choice.agc;
    scan.discriminator = choice.discriminator;
    scan.minMagnitude = choice.minMagnitude;
    scan.corWidth = choice.corWidth;
    const int32_t selStart = blockStart, selEnd = blockEnd;
    const ScanRange range = blockScanRange(store.layout, blockStart, blockEnd);

    const bool replace = !super && wholeFile && !keepUser && !keepCuts;
    if (replace) {
        scan.repairMethod = repairMethodId(repairMethodFromId(choice.repairMethod));
        generator_.setMethod(scan.method());
        set(profile_, settings::kRepairMethod, scan.repairMethod);
    }
    const int passes = blockSettings.passes;
    std::vector<std::string> tasks;
    if (!super && !replace) tasks.push_back("Remove Old Corrections");
    const int scanTask = static_cast<int>(tasks.size());
    tasks.push_back(passTask("Scan for Clicks", 1, passes));
    tasks.push_back(passTask("Generate Corrections", 1, passes));
    ProgressScope progress(ui_, tasks);
    ui_.setProgressTitle(prompt.progressTitle);

    std::vector<int32_t> cuePositions;
    if (!super) {
        if (!keepCuts) undoCutsInBlock();
        if (!replace) {
            ui_.setCurrentTask(0);
            RemoveBlockCorrections(keepCuts, keepUser);
        } else {
            for (int i = 1; i <= corrections.count() - 2; ++i)
                if (corrections[i].magnitude == magnitude_codes::kCue)
                    cuePositions.push_back(corrections[i].position);
            observer_->listEmptied();
            corrections.zeroBlockCounters();
            corrections.reset();
            currentEntry = 0;
        }
    }

    for (int pass = 1; pass <= passes; ++pass) {
        ui_.setTaskText(scanTask, passTask("Scan for Clicks", pass, passes));
        ui_.setTaskText(scanTask + 1, passTask("Generate Corrections", pass, passes));
        ui_.setCurrentTask(scanTask);
        ui_.setProgressRange(range.start, range.end);
        // Each pass belongs to the block as it is now; the list has grown since the last.
        SelectBlock(selStart, selEnd);
        BlockScan(super, replace);
        ui_.setCurrentTask(scanTask + 1);
        MakeOptions options;
        options.blockList = true;
        options.trackEntries = tracks.count();
        MakeCorrections(blockList, generator_, store, ui_, options);
        if (replace)
            replaceListWithBlockList(cuePositions, saved.tag);
        else
            MergeBlockList();
    }
    blockList.reset();
    editor_.invalidate();
    modified = true;

    if (wholeFile) {
        currentEntry = corrections.count() > 2 ? 1 : 0;
        scan.sensitivity = blockSettings.sensitivity;
        scan.mode = blockSettings.mode;
        set(profile_, settings::kSensitivity, scan.sensitivity);
        set(profile_, settings::kMode, scan.mode);
        ClearBlock();
    } else {
        currentEntry = 0;
        for (int i = 1; i <= corrections.count() - 2; ++i)
            if (corrections[i] == saved) currentEntry = i;
        SelectBlock(selStart, selEnd);
    }
    if (currentEntry) observer_->entrySelected(currentEntry);
    observer_->redraw();
    return true;
}

void CMorvath3Doc::undoCutsInBlock() {
    const ListRange r = blockListRange(corrections, blockStart, blockEnd);
    TrackContext ctx = trackContext();
    // From the end, so the indices still to visit keep their places.
    for (int i = r.last; i >= r.first; --i)
        if (i <= corrections.count() - 2 && isSpliceMarker(corrections[i])) RestoreCut(ctx, i);
}

int CMorvath3Doc::BlockScan(bool super, bool replace) {
    const ListRange r = blockListRange(corrections, blockStart, blockEnd);
    int32_t newPass = 1;
    if (super && replace) {
        newPass = ++blockSettings.superCounter;
    } else if (super) {
        int32_t highest = 0;
        for (int i = r.first; i <= r.last; ++i) highest = std::max(highest, corrections[i].pass);
        newPass = highest + 1;
        blockSettings.superCounter = std::max(blockSettings.superCounter, newPass);
    }
    int sensitivity = blockSettings.sensitivity == BlockSettings::kUseDocument
                          ? scan.sensitivity
                          : blockSettings.sensitivity;
    if (sensitivity < 0) sensitivity = settings::kDefaultSensitivity;
    int mode = blockSettings.mode == BlockSettings::kUseDocument ? scan.mode : blockSettings.mode;
    if (mode == ids::kDifferential && load_.mono) {
        ui_.message("\"No Difference Channel data exists for this file\nThe file will be processed "
                    "in 'Per Channel' Detection Mode.\"",
                    "Tarnival");
        mode = ids::kPerChannel;
        if (blockSettings.mode != BlockSettings::kUseDocument) blockSettings.mode = mode;
    }
    BlockScanRequest q;
    q.range = blockScanRange(store.layout, blockStart, blockEnd);
    q.blockStart = blockStart;
    q.blockEnd = blockEnd;
    q.newPass = newPass;
    q.fromSource = replace && !super;
    ScanSettings s = scan;
    s.sensitivity = sensitivity;
    s.mode = mode;
    q.detector = DetectorOptions::fromSettings(s);
    // The corrections were made with the document's method; new ones join them.
    q.detector.method = generator_.method();
    q.detect = sensitivity != 0;
    blockList.reset();
    const int found = RunBlockScan(q, blockList, store, fft, ui_);
    editor_.invalidate();
    return found;
}

void CMorvath3Doc::ApplyBlockList() {
    MakeOptions options;
    options.blockList = true;
    options.trackEntries = tracks.count();
    MakeCorrections(blockList, generator_, store, ui_, options);
    MergeBlockList();
    blockList.reset();
    editor_.invalidate();
    modified = true;
}

void CMorvath3Doc::MergeBlockList() {
    MergeIntoList(corrections, blockList);
    TrackContext ctx = trackContext();
    HideEntriesInCuts(ctx);
    observer_->listRefilled();
    currentEntry = 0;
}

void CMorvath3Doc::replaceListWithBlockList(const std::vector<int32_t>& cuePositions,
                                            int32_t cueTag) {
    corrections = blockList;
    corrections.sizeBlockCounters(store.layout.fileLength);
    for (int i = 1; i <= corrections.count() - 2; ++i)
        corrections.raiseBlockCounter(corrections[i].position);
    TrackContext ctx = trackContext();
    RebuildTrackMarkers(ctx);
    InsertSpliceMarkers(ctx);
    for (int32_t at : cuePositions) {
        corrections.insertOrdered(Correction{1, cueTag, at, 0, magnitude_codes::kCue});
        corrections.raiseBlockCounter(at);
    }
    observer_->listRefilled();
}

void CMorvath3Doc::RemoveBlockCorrections(bool keepCuts, bool keepUser) {
    const ListRange r = blockListRange(corrections, blockStart, blockEnd);
    blockList.resetForScan();
    if (r.empty()) {
        blockList.reset();
        return;
    }
    int32_t regionStart = INT32_MAX, regionEnd = INT32_MIN;
    std::vector<int32_t> cuePositions;
    for (int i = r.first; i <= r.last; ++i) {
        const Correction& c = corrections[i];
        const bool keep = c.width < 0 || (keepCuts && isSpliceMarker(c)) ||
                          (keepUser && c.magnitude == magnitude_codes::kEdited);
        if (keep) blockList.entries().push_back(c);
        if (c.magnitude == magnitude_codes::kCue) cuePositions.push_back(c.position);
        corrections.lowerBlockCounter(c.position);
        regionStart = std::min(regionStart, spanStart(c));
        regionEnd = std::max(regionEnd, spanEnd(c));
    }
    for (int i = r.last; i >= r.first; --i) observer_->entryRemoved(i);

    // Few entries a block: each span on its own; many: the whole region in one sweep.
    const int entries = r.last - r.first + 1;
    const int64_t regionBlocks = (int64_t{regionEnd} - regionStart) / kBlockSize + 1;
    const WaveLayout& l = store.layout;
    editor_.invalidate();
    if (entries / regionBlocks < 7) {
        ui_.setProgressRange(r.first, r.last + 1);
        for (int i = r.first; i <= r.last; ++i) {
            if (isCorrectionSpan(corrections[i])) editor_.RestoreSpan(corrections[i]);
            ui_.setProgressPosition(i);
            ui_.pumpAndTakeCancel();
        }
    } else {
        const int64_t from = std::max<int64_t>(
            l.dataStart + (int64_t{regionStart} - l.dataStart) / 4 * 4, l.dataStart);
        const int64_t to = std::min<int64_t>(regionEnd, l.dataEnd);
        std::vector<int16_t> piece(kBlockSize / 2);
        ui_.setProgressRange(from, to);
        for (int64_t at = from; at < to; at += kBlockSize) {
            const size_t bytes =
                static_cast<size_t>(std::min<int64_t>(kBlockSize, to - at)) / 4 * 4;
            store.readSourceWithGains(at, piece.data(), bytes);
            store.writeWorking(at, piece.data(), bytes);
            ui_.setProgressPosition(at);
            ui_.pumpAndTakeCancel();
        }
    }
    editor_.invalidate();
    auto& v = corrections.entries();
    v.erase(v.begin() + r.first, v.begin() + r.last + 1);

    if (blockList.count() > 1) {
        blockList.entries().push_back(Correction{1, 0, 0, 0, 0});
        MergeBlockList();
        for (int i = 1; i <= blockList.count() - 2; ++i)
            if (!isSpliceMarker(blockList[i])) generator_.Apply(blockList[i], store);
        editor_.invalidate();
    }
    for (int32_t at : cuePositions)
        if (at > regionStart && at < regionEnd) {
            corrections.insertOrdered(Correction{1, 0, at, 0, magnitude_codes::kCue});
            corrections.raiseBlockCounter(at);
        }
    blockList.reset();
    SelectBlock(blockStart, blockEnd);
    modified = true;
}

} // namespace tarnival
