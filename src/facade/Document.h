#pragma once
#include "document/ApeDecoder.h"
#include "document/CorrectionList.h"
#include "document/DocumentObserver.h"
#include "document/Profile.h"
#include "document/UserInterface.h"
#include "document/WaveStore.h"
#include "dsp/Fft.h"
#include "scan/ScanSettings.h"
#include "tracks/SpliceList.h"
#include "tracks/TrackList.h"

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tarnival {

// Status values of the document, in the order the work goes.
enum Status {
    kWaveNotLoaded = 0,
    kWaveNotScanned = 1,
    kScanIncomplete = 2,
    kWaveNotCorrected = 3,
    kProcessingAborted = 4,
    kReadyToSave = 5,
    kAutoSaving = 6,
};

const char* statusText(int status);
extern const char* const kNoFileTitle; // "Wave File - Not Yet Loaded"

// The working file's path for a source path under the given placement mode.
std::string workingFilePath(const std::string& sourcePath, int tempMode,
                            const std::string& tempPath);

// The one open recording: its two files, layout, corrections, tracks, cuts, overview data and
// the settings in force. Emptied and refilled for every file.
struct TrackContext;

class CMorvath3Doc {
  public:
    CMorvath3Doc(Profile& profile, UserInterface& ui);
    ~CMorvath3Doc();
    CMorvath3Doc(const CMorvath3Doc&) = delete;
    CMorvath3Doc& operator=(const CMorvath3Doc&) = delete;

    void setObserver(DocumentObserver* observer) { observer_ = observer ? observer : &silent_; }
    DocumentObserver& observer() { return *observer_; }
    Profile& profile() { return profile_; }
    UserInterface& ui() { return ui_; }

    // Checks and opens a wave or APE file and creates the (empty) working file. On failure the
    // user has been told why and the document is empty.
    bool OpenWave(const std::string& path);
    // The checks of OpenWave alone: the layout of an acceptable file, or nothing (the user has
    // been told why). Creates no file.
    std::optional<WaveLayout> InspectWave(const std::string& path);
    // Empties the document and deletes its temporary files.
    void CloseWave();
    bool isLoaded() const { return store.source.isOpen(); }

    // Copies, scans and corrects the open file (the whole load sequence, with progress and
    // cancel). False when the user stopped it before it began or abandoned the load (the document
    // is then empty).
    bool ProcessFile();
    // The text of the status report.
    std::string StatusReport() const;
    // The track operations' view of this document.
    TrackContext trackContext();

    const std::string& title() const { return title_; }
    const char* statusString() const { return statusText(status); }
    const std::string& originalName() const { return originalName_; }
    const std::string& workingPath() const { return workingPath_; }
    const std::string& sourcePath() const { return store.source.path(); }
    bool isApe() const { return ape_; }
    ApeDecoder* decoder() { return decoder_.get(); }
    void releaseDecoder() { decoder_.reset(); }
    // The working file has been closed and moved away by a save: nothing may touch its old
    // path any more.
    void forgetWorkingFile() {
        store.working.close();
        workingPath_.clear();
    }

    // Test hook: files written by newer encoders than the supported version.
    void setApeVersionCheck(bool on) { checkApeVersion_ = on; }

    // Audio and lists.
    WaveStore store;
    CorrectionList corrections;
    CorrectionList blockList;
    TrackList tracks;
    SpliceList splices;
    CFft fft;
    ScanSettings scan;

    // Overview data, one entry per 4096-byte chunk.
    std::vector<int32_t> chunkLevels;
    std::vector<std::array<int8_t, 4>> chunkEnvelope; // min L, max L, min R, max R (/256)
    double levelSum = 0;
    double balanceSum = 0;

    int status = kWaveNotLoaded;
    bool scanned = false;
    bool mono = false;
    bool modified = false;
    int32_t cancelPosition = 0;
    int currentEntry = 0; // 0: none
    int32_t blockStart = 0;
    int32_t blockEnd = 0;

    int tempMode = ids::kTempSystem;
    std::string tempPath;

  private:
    bool LoadAndScan();
    void RestoreAllFromSource();
    bool fail(const std::string& text);
    bool checkApe(const std::string& path, std::unique_ptr<ApeDecoder>& decoder, WaveLayout& l);
    bool createApeSource(const std::string& path);
    bool parseWave(const std::string& path, File& file, WaveLayout& l);

    Profile& profile_;
    UserInterface& ui_;
    DocumentObserver silent_;
    DocumentObserver* observer_ = &silent_;
    std::string title_;
    std::string originalName_;
    std::string workingPath_;
    std::string apeTempPath_;
    bool ape_ = false;
    bool checkApeVersion_ = true;
    std::unique_ptr<ApeDecoder> decoder_;
};

} // namespace tarnival
