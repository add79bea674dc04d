#include "scan/BlockScan.h"

#include "document/UserInterface.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace tarnival {

namespace {

constexpr int32_t kReadBytes = kBlockSize + kChunkSize; // a block and the 4096 bytes after it

} // namespace

ScanRange blockScanRange(const WaveLayout& l, int32_t blockStart, int32_t blockEnd) {
    const int32_t R = l.frameRemainder;
    ScanRange r;
    r.start = std::max(R + blockStart / kBlockSize * kBlockSize, l.firstCorrectable);
    r.end = std::min(R + blockEnd / kBlockSize * kBlockSize + kBlockSize, l.lastCorrectable);
    return r;
}

int clusterFirst(const CorrectionList& list, int index) {
    while (index - 1 >= 1 && spanStart(list[index]) < overlapReach(list[index - 1])) --index;
    return index;
}

int clusterLast(const CorrectionList& list, int index) {
    const int last = list.count() - 2;
    while (index + 1 <= last && spanStart(list[index + 1]) < overlapReach(list[index])) ++index;
    return index;
}

ListRange blockListRange(const CorrectionList& list, int32_t blockStart, int32_t blockEnd) {
    ListRange r;
    const int last = list.count() - 2;
    if (last < 1) return r;
    r.first = std::max(list.findFirst(blockStart), 1);
    // Entries at the block end or beyond are not the block's: the one found there would be the
    // next entry of the file, however far away.
    r.last = std::min(list.findFirst(blockEnd) - 1, last);
    if (r.first > last || r.last < r.first) {
        r = ListRange{};
        return r;
    }
    r.first = clusterFirst(list, r.first);
    r.last = clusterLast(list, r.last);
    return r;
}

int RunBlockScan(const BlockScanRequest& q, CorrectionList& blockList, WaveStore& store, CFft& fft,
                 UserInterface& ui) {
    DetectorOptions o = q.detector;
    o.blockRescan = true;
    o.newPass = q.newPass;
    o.blockStart = q.blockStart;
    o.blockEnd = q.blockEnd;
    // The merge counts what it inserts; the detector's own counting goes nowhere.
    CorrectionList uncounted;
    ClickDetector detector(blockList, store, fft, &ui, o, &uncounted);
    detector.beginScan();
    const WaveLayout& l = store.layout;
    std::vector<int16_t> buffer(kReadBytes / 2);
    bool scanning = q.detect;
    for (int64_t G = q.range.start; G < q.range.end; G += kBlockSize) {
        if (ui.progressShown() && ui.pumpAndTakeCancel() &&
            ui.ask("Really Cancel?", "Tarnival", Buttons::YesNo) == Answer::Yes) {
            // The list no longer knows the corrections still in the rest of the working file:
            // the original goes back there, unscanned.
            if (!q.fromSource) break;
            scanning = false;
        }
        ui.setProgressPosition(G);
        // Only audio: what lies past the data reads as silence, and nothing past it is written.
        const size_t audio =
            static_cast<size_t>(std::clamp<int64_t>(l.dataEnd - G, 0, kReadBytes)) / 4 * 4;
        std::fill(buffer.begin(), buffer.end(), int16_t{0});
        if (q.fromSource) {
            store.readSourceWithGains(G, buffer.data(), audio);
            store.writeWorking(G, buffer.data(), audio);
        } else {
            store.readWorking(G, buffer.data(), audio);
        }
        if (scanning)
            detector.scanBlock(static_cast<int32_t>(G), buffer.data(),
                               ClickDetector::kBlockSamples);
    }
    detector.finishScan();
    return detector.clicksFound();
}

int MergeIntoList(CorrectionList& list, const CorrectionList& blockList) {
    int inserted = 0;
    int j = 1;
    for (int b = 1; b <= blockList.count() - 2; ++b) {
        const Correction& e = blockList[b];
        while (j <= list.count() - 2 && list[j].position < e.position) ++j;
        const bool noneLeft = j > list.count() - 2;
        if (noneLeft || list[j].position > e.position || list[j].width < 0) {
            list.insertAt(j, e);
            list.raiseBlockCounter(e.position);
            ++inserted;
            ++j;
            continue;
        }
        Correction& kept = list[j];
        kept.width = std::max(kept.width, e.width);
        if (e.magnitude == magnitude_codes::kEdited) kept.magnitude = magnitude_codes::kEdited;
    }
    return inserted;
}

} // namespace tarnival
