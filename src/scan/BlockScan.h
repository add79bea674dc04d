#pragma once
// Scanning a stretch of an already loaded recording again: the range a block command scans, the
// entries of the correction list that belong to a block, the scan itself into the block list and
// the merge of the block list back into the correction list.
#include "document/CorrectionList.h"
#include "document/WaveStore.h"
#include "scan/ClickDetector.h"

#include <cstdint>

namespace tarnival {

class CFft;
class UserInterface;

// Whole 256 KiB blocks of the file about [blockStart, blockEnd], kept inside the correctable
// range.
struct ScanRange {
    int32_t start = 0;
    int32_t end = 0;
};
ScanRange blockScanRange(const WaveLayout& layout, int32_t blockStart, int32_t blockEnd);

// The entries of the list that belong to a block: those from the block start up to (not
// including) the block end, widened on both sides over the entries whose spans overlap them.
// Empty (last < first) when the block holds none.
struct ListRange {
    int first = 1;
    int last = 0;
    bool empty() const { return last < first; }
};
ListRange blockListRange(const CorrectionList& list, int32_t blockStart, int32_t blockEnd);

// The entries of first..last overlapping in a chain with it, as a cluster of corrections does.
int clusterFirst(const CorrectionList& list, int index);
int clusterLast(const CorrectionList& list, int index);

struct BlockScanRequest {
    ScanRange range;
    int32_t blockStart = 0; // clicks outside the block are dropped
    int32_t blockEnd = 0;
    int32_t newPass = 1;
    // Replace: the source (with the gains) is written back over the working file block by block
    // as it is scanned, so the scan sees the original audio. Otherwise the working file as it is.
    bool fromSource = false;
    DetectorOptions detector; // the factors in force; block fields are filled in here
    bool detect = true;       // false: sensitivity "Off", the range is only read (and restored)
};

// Runs the detector over the range into blockList (leading sentinel .. trailing sentinel),
// pumping the interface once a block and asking "Really Cancel?" after a Cancel press; a
// cancelled scan keeps what it found (and, reading from the source, still puts the original back
// over the rest of the range). Returns the number of clicks found.
int RunBlockScan(const BlockScanRequest& request, CorrectionList& blockList, WaveStore& store,
                 CFft& fft, UserInterface& ui);

// Merges the block list (ascending, between its sentinels) into the list: a block entry at a
// position the list has no correction at is inserted (before any track marker there) and counts
// into its block counter; a correction at the same position keeps the wider width and becomes
// user-edited when the block entry was. Returns how many entries were inserted.
int MergeIntoList(CorrectionList& list, const CorrectionList& blockList);

} // namespace tarnival
