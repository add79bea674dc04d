// Loading a recording: one pass that copies the source into the working file, computes the
// overview data and scans for clicks, then finds the tracks and makes the corrections.
#include "document/Overview.h"
#include "facade/Document.h"
#include "scan/ClickDetector.h"
#include "scan/CorrectionGenerator.h"
#include "tracks/CutSplice.h"
#include "tracks/TrackContext.h"
#include "tracks/TrackDetection.h"
#include "tracks/TrackEditing.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

namespace tarnival {

namespace {

constexpr int32_t kReadBytes = kBlockSize + kChunkSize; // 266240: a block and what follows

std::string format(const char* fmt, int value) {
    char text[128];
    std::snprintf(text, sizeof text, fmt, value);
    return text;
}

std::string apeDamagedMessage(int64_t frame, int rate) {
    int64_t seconds = frame / rate;
    char text[160];
    std::snprintf(text, sizeof text,
                  "The APE file is damaged at %lld:%02lld and cannot be decoded beyond it.",
                  static_cast<long long>(seconds / 60), static_cast<long long>(seconds % 60));
    return text;
}

} // namespace

TrackContext CMorvath3Doc::trackContext() {
    TrackContext ctx{tracks, splices, corrections, store, ui_, profile_};
    ctx.observer = observer_;
    ctx.modified = &modified;
    ctx.inputName = ape_ ? originalName_ : store.source.path();
    ctx.chunkLevels = &chunkLevels;
    return ctx;
}

bool CMorvath3Doc::ProcessFile() {
    if (!isLoaded()) return false;
    if (status > kProcessingAborted &&
        ui_.ask("The Wave File Has already been Processed\nDo You want to Re-Process the current "
                "file?",
                "Re-Scan Current File", Buttons::YesNo) != Answer::Yes)
        return false;
    bool firstRun = scan.sensitivity == -1;
    if (firstRun) scan.sensitivity = settings::kDefaultSensitivity;
    if (status > kWaveNotScanned || firstRun) {
        if (!ui_.editScanOptions(scan)) {
            if (firstRun) scan.sensitivity = -1; // still never chosen: ask again next time
            return false;
        }
        scan.save(profile_);
    }

    cancelPosition = 0;
    store.leftGain = store.rightGain = 1.0f;

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
    status = kWaveNotScanned;
    ProgressScope progress(ui_, tasks);
    ui_.setCurrentTask(0);

    bool loaded = false;
    try {
        loaded = LoadAndScan();
    } catch (...) {
        CloseWave();
        throw;
    }
    if (!loaded) {
        CloseWave();
        return false;
    }

    bool vinylClicks = !scan.isTape() && scan.sensitivity != 0;
    if (status == kWaveNotCorrected) {
        ui_.setCurrentTask(1);
        if (vinylClicks) {
            CorrectionGenerator generator(fft);
            MakeOptions options;
            options.trackEntries = tracks.count();
            options.status = &status;
            options.observer = observer_;
            MakeResult made = MakeCorrections(corrections, generator, store, ui_, options);
            if (made.cancelled) cancelPosition = made.cancelIndex;
        }
    }

    if (cancelPosition != 0 && status > kWaveNotCorrected) {
        ui_.setTaskText(2, "Operation Cancelled");
        ui_.setTaskText(3, "Recover Waveform");
        ui_.setCurrentTask(2);
        ui_.markTask(2);
        RestoreAllFromSource();
        std::vector<Correction> markers;
        for (int i = 1; i < corrections.count() - 1; ++i)
            if (corrections[i].width < 0) markers.push_back(corrections[i]);
        corrections.reset();
        corrections.entries().insert(corrections.entries().begin() + 1, markers.begin(),
                                     markers.end());
        corrections.zeroBlockCounters();
        observer_->listEmptied();
    }

    currentEntry = corrections.count() > 2 ? 1 : 0;
    if (currentEntry) observer_->entrySelected(currentEntry);
    observer_->redraw();
    return true;
}

void CMorvath3Doc::RestoreAllFromSource() {
    const WaveLayout& l = store.layout;
    std::vector<int16_t> buffer(kBlockSize / 2);
    for (int64_t pos = l.dataStart; pos < l.dataEnd; pos += kBlockSize) {
        size_t bytes = static_cast<size_t>(std::min<int64_t>(kBlockSize, l.dataEnd - pos));
        store.readSourceWithGains(pos, buffer.data(), bytes);
        store.writeWorking(pos, buffer.data(), bytes);
        ui_.setProgressPosition(pos);
        ui_.pumpAndTakeCancel();
    }
}

bool CMorvath3Doc::LoadAndScan() {
    const WaveLayout& l = store.layout;
    const bool detect = !scan.isTape() && scan.sensitivity != 0;
    DetectorOptions options = DetectorOptions::fromSettings(scan);
    ClickDetector detector(corrections, store, fft, &ui_, options);
    ui_.setStatusPane(1, "Scanning...");
    ui_.setStatusPane(2, "");
    ui_.setStatusPane(3, "");

    const bool rescan = scanned;
    detector.beginScan();
    corrections.zeroBlockCounters();
    blockList.reset();
    levelSum = balanceSum = 0;
    status = kScanIncomplete;
    observer_->listEmptied();
    currentEntry = 0;

    ApeDecoder* ape = decoder_.get();
    std::vector<int16_t> buffer(kReadBytes / 2);
    if (ape) {
        int64_t frames = std::min<int64_t>(2048, l.dataLength() / 4);
        int64_t got = ape->seek(0) ? ape->read(buffer.data(), frames) : 0;
        if (got != frames) {
            ui_.message(apeDamagedMessage(got, l.sampleRate), "Tarnival");
            return false;
        }
        store.source.writeAt(l.dataStart, buffer.data(), static_cast<size_t>(got) * 4);
    }

    store.working.setLength(store.source.length());
    {
        // The header may hold large chunks: copy it in block-sized pieces.
        std::vector<uint8_t> head(kReadBytes);
        for (int64_t at = 0; at < int64_t{l.dataStart} + kChunkSize; at += kReadBytes) {
            size_t want = static_cast<size_t>(
                std::min<int64_t>(kReadBytes, int64_t{l.dataStart} + kChunkSize - at));
            size_t got = store.source.readAt(at, head.data(), want);
            store.working.writeAt(at, head.data(), got);
            if (got < want) break;
        }
    }
    mono = false;
    {
        TrackContext ctx = trackContext();
        std::map<std::string, std::string> tags;
        if (ape) tags = ape->tags();
        ResetToSingleTrack(ctx, ape ? &tags : nullptr);
        LoadTrackSettings(tracks, profile_);
        tracks.gapless = scan.gapless != 0;
    }
    ui_.setProgressRange(0, l.fileLength);

    bool abandoned = false;
    bool firstBlock = true;
    for (int64_t G = int64_t{l.dataStart} + kChunkSize; G < int64_t{l.dataEnd} - kChunkSize;
         G += kBlockSize) {
        if (ui_.progressShown() && ui_.pumpAndTakeCancel()) {
            if (rescan) {
                if (ui_.ask("Re-Scan will be aborted.\nReally Cancel?", "Tarnival",
                            Buttons::YesNo) == Answer::Yes) {
                    cancelPosition = static_cast<int32_t>(G);
                    break;
                }
            } else if (cancelPosition != 0) {
                if (ui_.ask("File load will be aborted.\nReally Cancel?", "Tarnival",
                            Buttons::YesNo) == Answer::Yes) {
                    cancelPosition = 0;
                    abandoned = true;
                    break;
                }
            } else {
                const char* q = scan.isTape()
                                    ? "Do you want to continue loading the file\nwithout applying "
                                      "the hiss filter?\n(This can take a few minutes)"
                                    : "Do you want to continue loading the file\nwithout scanning "
                                      "for clicks?\n(This can take a few minutes)";
                Answer a = ui_.ask(q, "Tarnival", Buttons::YesNoCancel);
                if (a == Answer::Yes) {
                    cancelPosition = static_cast<int32_t>(G);
                    ui_.setProgressText(0, "Scan cancelled. Continuing to load file...");
                    ui_.setTaskText(1, "Operation Cancelled");
                    ui_.setTaskText(2, "");
                    ui_.markTask(0);
                } else if (a == Answer::No) {
                    abandoned = true;
                    break;
                }
            }
        }
        ui_.setProgressPosition(G);

        // Only audio is read: chunks after the data are copied with the tail below.
        size_t want = static_cast<size_t>(std::min<int64_t>(kReadBytes, l.dataEnd - G));
        size_t got;
        if (ape) {
            got = store.source.readAt(G, buffer.data(), kChunkSize);
            int64_t frames = std::min<int64_t>((l.dataEnd - G - kChunkSize) / 4, 65536);
            int64_t firstFrame = (G - l.dataStart + kChunkSize) / 4;
            int64_t decoded =
                ape->seek(firstFrame) ? ape->read(buffer.data() + kChunkSize / 2, frames) : 0;
            // A damaged frame must not turn into silence without a word.
            if (decoded != frames) {
                ui_.message(
                    apeDamagedMessage(firstFrame + std::max<int64_t>(decoded, 0), l.sampleRate),
                    "Tarnival");
                abandoned = true;
                break;
            }
            store.source.writeAt(G + kChunkSize, buffer.data() + kChunkSize / 2,
                                 static_cast<size_t>(decoded) * 4);
            got += static_cast<size_t>(decoded) * 4;
        } else {
            got = store.source.readAt(G, buffer.data(), want);
        }
        std::fill(reinterpret_cast<uint8_t*>(buffer.data()) + got,
                  reinterpret_cast<uint8_t*>(buffer.data()) + kReadBytes, 0);
        store.working.writeAt(G, buffer.data(), got);

        int sampleCount = ClickDetector::kBlockSamples;
        if (got < static_cast<size_t>(kReadBytes))
            sampleCount = std::max(0, (static_cast<int>(got) - 7096) / 2);

        // Overview: samples 0 .. sampleCount, chunk by chunk.
        int samples = std::min(sampleCount + 1, static_cast<int>(got / 2));
        int64_t chunk0 = G / kChunkSize;
        for (int c = 0; c * 2048 < samples; ++c) {
            size_t index = static_cast<size_t>(chunk0 + c);
            if (index >= chunkLevels.size()) break;
            ChunkOverview o =
                chunkOverview(buffer.data() + c * 2048, std::min(2048, samples - c * 2048));
            chunkLevels[index] = o.level;
            chunkEnvelope[index] = o.envelope;
            levelSum += o.levelSum;
            balanceSum += o.balanceSum;
        }

        if (firstBlock) {
            firstBlock = false;
            if (ClickDetector::monoCheck(buffer.data(), static_cast<int>(got / 2))) {
                mono = true;
                if (scan.isDifferential()) {
                    ui_.message("\"No Difference Channel data exists for this file\nThe file will "
                                "be processed in 'Per Channel' Detection Mode.\"",
                                "Tarnival");
                    scan.mode = ids::kPerChannel;
                    detector.switchToPerChannel();
                }
            }
        }
        if (detect && cancelPosition == 0)
            detector.scanBlock(static_cast<int32_t>(G), buffer.data(), sampleCount);
    }

    if (abandoned) return false;
    // A re-scan stopped part way: the rest of the working file still holds the previous run's
    // corrections, which the emptied list no longer knows. Put the source back there.
    if (rescan && cancelPosition != 0) {
        for (int64_t at = cancelPosition; at < l.dataEnd; at += kReadBytes) {
            size_t want = static_cast<size_t>(std::min<int64_t>(kReadBytes, l.dataEnd - at));
            size_t got = store.source.readAt(at, buffer.data(), want);
            if (got == 0) break;
            store.working.writeAt(at, buffer.data(), got);
        }
    }

    detector.finishScan();
    scanned = true;
    if (cancelPosition == 0) status = kWaveNotCorrected;
    {
        TrackContext ctx = trackContext();
        RebuildTrackMarkers(ctx);
        InsertSpliceMarkers(ctx);
    }
    observer_->listRefilled();

    // The tail: the last audio and whatever chunks follow it.
    if (ape) {
        int64_t frames = std::min<int64_t>(1024, l.dataLength() / 4);
        int64_t first = l.dataLength() / 4 - frames;
        int64_t got = ape->seek(first) ? ape->read(buffer.data(), frames) : 0;
        if (got != frames) {
            ui_.message(apeDamagedMessage(first + std::max<int64_t>(got, 0), l.sampleRate),
                        "Tarnival");
            return false;
        }
        int64_t at = l.fileLength - got * 4;
        store.source.writeAt(at, buffer.data(), static_cast<size_t>(got) * 4);
        store.working.writeAt(at, buffer.data(), static_cast<size_t>(got) * 4);
        decoder_.reset();
    } else {
        // The chunks after the audio may be longer than a block (peak or metadata chunks):
        // copy all of them, in block-sized pieces.
        std::vector<uint8_t> bytes(kReadBytes);
        for (int64_t at = std::max<int64_t>(0, int64_t{l.dataEnd} - kChunkSize); at < l.fileLength;
             at += kReadBytes) {
            size_t got = store.source.readAt(at, bytes.data(), bytes.size());
            if (got == 0) break;
            store.working.writeAt(at, bytes.data(), got);
        }
    }

    if (scan.splitTracks) {
        TrackContext ctx = trackContext();
        DetectTracks(ctx);
        ui_.setProgressText(1, format("Tracks Found = %d", tracks.count() - 1));
        observer_->trackDisplayChanged();
        observer_->redraw();
    }
    return true;
}

std::string CMorvath3Doc::StatusReport() const {
    if (status == kWaveNotLoaded) return "File Not Loaded";
    std::string text = format("Tracks Found: %d\n\n", tracks.count() - 1);
    int clicks = std::max(0, corrections.count() - 2 * tracks.count());
    if (currentEntry > 0 && currentEntry < corrections.count() &&
        corrections[currentEntry].magnitude == magnitude_codes::kInsertedCurrent)
        --clicks;
    text += format("Clicks Corrected: %d\n\n", clicks);
    text += "Currently Applied Filters:\n\tNone\n";
    text += "\nTreble Control: None\n";
    char levels[160];
    std::snprintf(levels, sizeof levels,
                  "\nVolume Adjustments\n\tLeft: %+4.1fdB\n\tRight: %+4.1fdB",
                  20.0 * std::log10(store.leftGain), 20.0 * std::log10(store.rightGain));
    text += levels;
    char rate[64];
    std::snprintf(rate, sizeof rate, "\n\nSample Rate: %4.1f kS/sec",
                  store.layout.sampleRate * 0.001);
    return text + rate;
}

} // namespace tarnival
