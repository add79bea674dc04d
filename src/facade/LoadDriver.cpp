// Loading a recording: one pass that copies the source into the working file, computes the
// overview data and scans for clicks, then finds the tracks.
#include "facade/LoadDriver.h"
#include "facade/Document.h"
#include "scan/ClickDetector.h"
#include "tracks/CutSplice.h"
#include "tracks/TrackDetection.h"
#include "tracks/TrackEditing.h"

#include <algorithm>
#include <cstdio>

namespace tarnival {

namespace {

constexpr int32_t kReadBytes = kBlockSize + kChunkSize; // 266240: a block and what follows

std::string apeDamagedMessage(int64_t frame, int rate) {
    int64_t seconds = frame / rate;
    char text[160];
    std::snprintf(text, sizeof text,
                  "The APE file is damaged at %lld:%02lld and cannot be decoded beyond it.",
                  static_cast<long long>(seconds / 60), static_cast<long long>(seconds % 60));
    return text;
}

} // namespace

LoadDriver::LoadDriver(TrackContext& tracks, CorrectionList& blockList, OverviewData& overview,
                       ScanSettings& scan, CFft& fft, SourceReader& source, LoadState& state)
    : ctx_(tracks), blockList_(blockList), overview_(overview), scan_(scan), fft_(fft),
      source_(source), state_(state), ui_(tracks.ui), store_(tracks.store) {}

void LoadDriver::sourceDamaged() {
    ui_.message(apeDamagedMessage(source_.damagedFrame().value_or(0), store_.layout.sampleRate),
                "Tarnival");
}

LoadDriver::Step LoadDriver::askAboutCancel(int64_t G, bool rescan) {
    if (rescan) {
        if (ui_.ask("Re-Scan will be aborted.\nReally Cancel?", "Tarnival", Buttons::YesNo) !=
            Answer::Yes)
            return Step::Continue;
        state_.cancelPosition = static_cast<int32_t>(G);
        return Step::ScanStopped;
    }
    if (state_.cancelPosition != 0) {
        if (ui_.ask("File load will be aborted.\nReally Cancel?", "Tarnival", Buttons::YesNo) !=
            Answer::Yes)
            return Step::Continue;
        state_.cancelPosition = 0;
        return Step::Abandon;
    }
    const char* q = scan_.isTape() ? "Do you want to continue loading the file\nwithout applying "
                                     "the hiss filter?\n(This can take a few minutes)"
                                   : "Do you want to continue loading the file\nwithout scanning "
                                     "for clicks?\n(This can take a few minutes)";
    Answer a = ui_.ask(q, "Tarnival", Buttons::YesNoCancel);
    if (a == Answer::No) return Step::Abandon;
    if (a == Answer::Yes) {
        state_.cancelPosition = static_cast<int32_t>(G);
        ui_.setProgressText(0, "Scan cancelled. Continuing to load file...");
        ui_.setTaskText(1, "Operation Cancelled");
        ui_.setTaskText(2, "");
        ui_.markTask(0);
    }
    return Step::Continue;
}

bool LoadDriver::copyHeader() {
    const WaveLayout& l = store_.layout;
    store_.working.setLength(store_.source.length());
    // The header may hold large chunks: copy it in block-sized pieces.
    std::vector<uint8_t> head(kReadBytes);
    const int64_t end = int64_t{l.dataStart} + kChunkSize;
    for (int64_t at = 0; at < end; at += kReadBytes) {
        size_t want = static_cast<size_t>(std::min<int64_t>(kReadBytes, end - at));
        size_t got = source_.read(at, head.data(), want);
        if (source_.damagedFrame()) return false;
        store_.working.writeAt(at, head.data(), got);
        if (got < want) break;
    }
    return true;
}

int64_t LoadDriver::readBlock(int64_t G, std::vector<int16_t>& buffer) {
    // Only audio is read: chunks after the data are copied with the tail.
    const WaveLayout& l = store_.layout;
    size_t want = static_cast<size_t>(std::min<int64_t>(kReadBytes, l.dataEnd - G));
    size_t got = source_.read(G, buffer.data(), want);
    if (source_.damagedFrame()) return -1;
    auto* bytes = reinterpret_cast<uint8_t*>(buffer.data());
    std::fill(bytes + got, bytes + kReadBytes, 0);
    store_.working.writeAt(G, buffer.data(), got);
    return static_cast<int64_t>(got);
}

void LoadDriver::checkMono(const int16_t* buffer, size_t bytes, ClickDetector& detector) {
    if (!ClickDetector::monoCheck(buffer, static_cast<int>(bytes / 2))) return;
    state_.mono = true;
    if (!scan_.isDifferential()) return;
    ui_.message("\"No Difference Channel data exists for this file\nThe file will be processed "
                "in 'Per Channel' Detection Mode.\"",
                "Tarnival");
    scan_.mode = ids::kPerChannel;
    detector.switchToPerChannel();
}

void LoadDriver::restoreAfterStoppedRescan(std::vector<int16_t>& buffer) {
    const WaveLayout& l = store_.layout;
    for (int64_t at = state_.cancelPosition; at < l.dataEnd; at += kReadBytes) {
        size_t want = static_cast<size_t>(std::min<int64_t>(kReadBytes, l.dataEnd - at));
        size_t got = source_.read(at, buffer.data(), want);
        if (got == 0) break;
        store_.working.writeAt(at, buffer.data(), got);
    }
}

bool LoadDriver::copyTail() {
    // The last audio and whatever chunks follow it, which may be longer than a block (peak or
    // metadata chunks): all of them, in block-sized pieces.
    const WaveLayout& l = store_.layout;
    std::vector<uint8_t> bytes(kReadBytes);
    for (int64_t at = std::max<int64_t>(0, int64_t{l.dataEnd} - kChunkSize); at < l.fileLength;
         at += kReadBytes) {
        size_t got = source_.read(at, bytes.data(), bytes.size());
        if (source_.damagedFrame()) return false;
        if (got == 0) break;
        store_.working.writeAt(at, bytes.data(), got);
    }
    return true;
}

void LoadDriver::placeTracks() {
    RebuildTrackMarkers(ctx_);
    InsertSpliceMarkers(ctx_);
    ctx_.views().listRefilled();
}

bool LoadDriver::run(const std::map<std::string, std::string>* apeTags) {
    const WaveLayout& l = store_.layout;
    const bool detect = !scan_.isTape() && scan_.sensitivity != 0;
    ClickDetector detector(ctx_.corrections, store_, fft_, &ui_,
                           DetectorOptions::fromSettings(scan_));
    ui_.setStatusPane(1, "Scanning...");
    ui_.setStatusPane(2, "");
    ui_.setStatusPane(3, "");

    const bool rescan = state_.scanned;
    detector.beginScan();
    ctx_.corrections.zeroBlockCounters();
    blockList_.reset();
    overview_.levelSum = overview_.balanceSum = 0;
    state_.status = kScanIncomplete;
    ctx_.views().listEmptied();

    if (!copyHeader()) {
        sourceDamaged();
        return false;
    }
    state_.mono = false;
    ResetToSingleTrack(ctx_, apeTags);
    LoadTrackSettings(ctx_.tracks, ctx_.profile);
    ctx_.tracks.gapless = scan_.gapless != 0;
    ui_.setProgressRange(0, l.fileLength);

    std::vector<int16_t> buffer(kReadBytes / 2);
    bool firstBlock = true;
    for (int64_t G = int64_t{l.dataStart} + kChunkSize; G < int64_t{l.dataEnd} - kChunkSize;
         G += kBlockSize) {
        if (ui_.progressShown() && ui_.pumpAndTakeCancel()) {
            Step step = askAboutCancel(G, rescan);
            if (step == Step::Abandon) return false;
            if (step == Step::ScanStopped) break;
        }
        ui_.setProgressPosition(G);

        int64_t got = readBlock(G, buffer);
        if (got < 0) {
            sourceDamaged();
            return false;
        }
        int sampleCount = ClickDetector::kBlockSamples;
        if (got < kReadBytes) sampleCount = std::max(0, (static_cast<int>(got) - 7096) / 2);
        overview_.addBlock(G, buffer.data(), std::min(sampleCount + 1, static_cast<int>(got / 2)));
        if (firstBlock) {
            firstBlock = false;
            checkMono(buffer.data(), static_cast<size_t>(got), detector);
        }
        if (detect && state_.cancelPosition == 0)
            detector.scanBlock(static_cast<int32_t>(G), buffer.data(), sampleCount, true);
    }

    if (rescan && state_.cancelPosition != 0) restoreAfterStoppedRescan(buffer);
    detector.finishScan();
    state_.scanned = true;
    if (state_.cancelPosition == 0) state_.status = kWaveNotCorrected;
    placeTracks();
    if (!copyTail()) {
        sourceDamaged();
        return false;
    }

    if (scan_.splitTracks) {
        DetectTracks(ctx_);
        char text[64];
        std::snprintf(text, sizeof text, "Tracks Found = %d", ctx_.tracks.count() - 1);
        ui_.setProgressText(1, text);
        ctx_.views().trackDisplayChanged();
        ctx_.views().redraw();
    }
    return true;
}

} // namespace tarnival
