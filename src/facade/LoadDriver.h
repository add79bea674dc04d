#pragma once
#include "document/CorrectionList.h"
#include "document/Overview.h"
#include "document/SourceReader.h"
#include "scan/ScanSettings.h"
#include "tracks/TrackContext.h"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace tarnival {

class CFft;
class ClickDetector;

// What a load leaves behind besides the lists: where a Cancel stopped it and how far it got.
struct LoadState {
    int status = 0;             // the document status (see Status in Document.h)
    int32_t cancelPosition = 0; // 0, or the position at which the scan was stopped
    bool scanned = false;       // a whole-file scan has completed once
    bool mono = false;          // the first block showed no difference channel
};

// One pass over a recording that copies the source into the working file, computes the overview
// data and scans for clicks, then places the track markers and finds the tracks. The document
// builds one per load with what it owns.
class LoadDriver {
  public:
    LoadDriver(TrackContext& tracks, CorrectionList& blockList, OverviewData& overview,
               ScanSettings& scan, CFft& fft, SourceReader& source, LoadState& state);

    // False when the user abandoned the load or the source could not be read (the user has been
    // told); the caller then empties the document. apeTags: the input's tag items, if any.
    bool run(const std::map<std::string, std::string>* apeTags);

  private:
    enum class Step { Continue, ScanStopped, Abandon };
    // The questions that follow a Cancel press, which differ for a first load, a re-scan and a
    // load whose scan was already stopped.
    Step askAboutCancel(int64_t G, bool rescan);
    bool copyHeader();
    // Reads the block at G and the 4096 bytes after it; returns the bytes read, or -1 after
    // telling the user that the source is damaged.
    int64_t readBlock(int64_t G, std::vector<int16_t>& buffer);
    void checkMono(const int16_t* buffer, size_t bytes, ClickDetector& detector);
    // A re-scan stopped part way leaves the previous run's corrections in the rest of the working
    // file, which the emptied list no longer knows: the source goes back there.
    void restoreAfterStoppedRescan(std::vector<int16_t>& buffer);
    bool copyTail();
    void placeTracks();
    void sourceDamaged();

    TrackContext& ctx_;
    CorrectionList& blockList_;
    OverviewData& overview_;
    ScanSettings& scan_;
    CFft& fft_;
    SourceReader& source_;
    LoadState& state_;
    UserInterface& ui_;
    WaveStore& store_;
};

} // namespace tarnival
