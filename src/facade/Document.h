#pragma once
#include "document/ApeDecoder.h"
#include "document/CorrectionList.h"
#include "document/DocumentObserver.h"
#include "document/Overview.h"
#include "document/Profile.h"
#include "document/UserInterface.h"
#include "document/WaveHeader.h"
#include "document/WaveStore.h"
#include "dsp/Fft.h"
#include "dsp/FilterContext.h"
#include "dsp/FilterState.h"
#include "facade/LoadDriver.h"
#include "scan/CorrectionEditor.h"
#include "scan/CorrectionGenerator.h"
#include "scan/ScanSettings.h"
#include "session/AutoSave.h"
#include "session/SessionFile.h"
#include "tracks/SpliceList.h"
#include "tracks/TrackContext.h"
#include "tracks/TrackList.h"

#include <cstdint>
#include <functional>
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

// What the checks of an input found, without opening it as the document.
struct InputInspection {
    WaveLayout layout;
    bool ape = false;
    std::string repair; // how a damaged data length was read, if it was
};

// The re-scan commands' own detector settings and the super-scan bookkeeping. Sensitivity and
// mode at kUseDocument take the document's.
struct BlockSettings {
    static constexpr int kUseDocument = -10;
    int sensitivity = kUseDocument;
    int mode = kUseDocument;
    int passes = 1;
    int superCounter = 1; // the highest super-scan pass so far
};

// What the scan options dialog of a re-scan or super-scan shows before the user chooses.
struct RescanPrompt {
    std::string message;
    std::string caption;
    std::string progressTitle;
    bool hasUserCorrections = false; // the block holds user-edited corrections
    bool hasCuts = false;            // the block holds cuts
};

// What the user chose in that dialog.
struct RescanOptions {
    int sensitivity = 3;
    int mode = ids::kPerChannel;
    int agc = 0;
    int discriminator = 0;
    int minMagnitude = 0;
    int corWidth = ids::kNormalWidth;
    // Only a whole-file re-scan that keeps nothing makes every correction anew, so only it may
    // change how they are made; elsewhere the document's method stays.
    int repairMethod = ids::kRepairStandard;
    int passes = 1;                   // super-scan
    bool keepUserCorrections = false; // re-scan: "Do NOT Remove" "User Corrections"
    bool keepCuts = false;            // re-scan: "Do NOT Remove" "Cuts"
};

// The one open recording: its two files, layout, corrections, tracks, cuts, overview data and
// the settings in force. Emptied and refilled for every file. The views and front ends call this
// facade; the algorithms live in their own folders and take what they need.
class CMorvath3Doc {
  public:
    CMorvath3Doc(Profile& profile, UserInterface& ui);
    ~CMorvath3Doc();
    CMorvath3Doc(const CMorvath3Doc&) = delete;
    CMorvath3Doc& operator=(const CMorvath3Doc&) = delete;

    void setObserver(DocumentObserver* observer);
    DocumentObserver& observer() { return *observer_; }
    Profile& profile() { return profile_; }
    UserInterface& ui() { return ui_; }

    // Checks and opens a wave or APE file and creates the (empty) working file; the status
    // becomes "Wave Not Scanned". On failure the user has been told why and the document is
    // empty, or as it was when the file was refused before anything changed.
    bool OpenWave(const std::string& path);
    // The checks of OpenWave alone: the layout of an acceptable file, or nothing (the user has
    // been told why). Creates no file.
    std::optional<InputInspection> InspectWave(const std::string& path);
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
    // The filter and level operations' view of this document.
    FilterContext filterContext();
    // Makes every correction of the list again (after the source was copied back).
    void remakeCorrections();
    // Whether a frame counts for the level operations: outside every cut and, with tracks,
    // inside one.
    std::function<bool(int32_t framePosition)> countedFrames() const;

    // Re-scan and super-scan. PrepareRescan selects the block (the whole file for a whole-file
    // command) and says what the options dialog shows; RescanDefaults is what it starts with.
    // Rescan runs the command with the user's choice; false when nothing could be scanned (no
    // file, or not yet scanned).
    RescanPrompt PrepareRescan(bool super, bool wholeFile);
    RescanOptions RescanDefaults() const;
    bool Rescan(bool super, bool wholeFile, const RescanOptions& choice);
    // Selects [start, end] as the block, kept inside the audio data; 0, 0 clears it.
    void SelectBlock(int32_t start, int32_t end);
    void ClearBlock() { blockStart = blockEnd = 0; }
    bool hasBlock() const { return blockEnd > blockStart; }
    // Scans the block into the block list with the block settings; returns the clicks found.
    // replace: the working file is put back to the source as it is scanned.
    int BlockScan(bool super, bool replace);
    // Makes the block list's corrections in the working file and merges them into the list.
    void ApplyBlockList();
    // Takes the block's corrections out of the list and the audio, keeping track markers and,
    // when asked, cuts and user-edited corrections (applied again).
    void RemoveBlockCorrections(bool keepCuts, bool keepUserCorrections);
    // Merges the block list into the correction list and hides what lies in cuts again.
    void MergeBlockList();
    BlockSettings blockSettings;

    int status() const { return load_.status; }
    const char* statusString() const { return statusText(load_.status); }
    // 0, or where the last long operation was cancelled (a position, or a correction's index).
    int32_t cancelPosition() const { return load_.cancelPosition; }
    bool scanned() const { return load_.scanned; }
    bool mono() const { return load_.mono; }

    // Correction edits that rewrite audio go through here; its window cache is dropped after
    // every rewrite of the working file as a whole.
    CorrectionEditor& editor() { return editor_; }
    CorrectionGenerator& generator() { return generator_; }
    const CorrectionGenerator& generator() const { return generator_; }

    const std::string& title() const { return title_; }
    const std::string& originalName() const { return originalName_; }
    // The file the user opened (the ".ape" path for APE input).
    const std::string& inputPath() const { return inputPath_; }
    const std::string& workingPath() const { return workingPath_; }
    const std::string& sourcePath() const { return store.source.path(); }
    bool isApe() const { return ape_; }
    // A data chunk whose length could not be right was read to the end of the file: how.
    const std::string& dataRepair() const { return dataRepair_; }
    // The working file has been closed and moved away by a save: nothing may touch its old
    // path any more.
    void forgetWorkingFile();

    // ---- Sessions ----
    // The file-open command for any file: ".ses" restores a session, ".wav" and ".ape" open and
    // scan, anything else is refused with "The file type is not supported".
    bool OpenDocument(const std::string& path);
    // The state as a session file holds it.
    SessionData sessionData() const;
    // Writes the session whole or not at all (the user is told why not); after a save the
    // document counts as unmodified (AutoSave's copies do not count).
    bool SaveSession(const std::string& path);
    // Reads a session, reopens its recording (next to the session, or where the user points,
    // when it has moved), rebuilds the working file and makes the corrections and filters
    // again. On failure the user has been told why; a damaged session or a missing recording
    // leaves the document as it was, an abandoned rebuild leaves it empty.
    bool RestoreSession(const std::string& path);
    // What "Save Session..." proposes: the input's path ending in ".ses".
    std::string proposedSessionPath() const;
    // The view's scale indexes, kept here so that sessions carry them (vertical 0..31).
    int verticalScale = 0;
    int horizontalScale = 0;
    // The cue positions of the waveform view, refilled by a restore.
    std::vector<int32_t> cues;

    // AutoSave: the File menu toggle, the idle loop's check and the save before tracks are
    // written. The front end tells it when playback makes a save impossible.
    AutoSave& autoSave() { return *autoSave_; }
    bool AutoSaveDocument() { return autoSave_->saveNow(); }
    void OnIdle() { autoSave_->idle(); }
    // Called by the save-tracks command after its dialog's OK.
    void AutoSaveBeforeSavingTracks() {
        if (autoSave_->enabled()) autoSave_->saveNow();
    }
    std::function<bool()> playing; // set by the front end; empty: never playing
    bool busy = false;             // a long operation is running

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
    OverviewData overview;
    FilterState filters;

    bool modified = false;
    int currentEntry = 0; // 0: none
    int32_t blockStart = 0;
    int32_t blockEnd = 0;

    int tempMode = ids::kTempSystem;
    std::string tempPath;

  private:
    bool fail(const std::string& text);
    std::optional<std::string> locateInput(const SessionData& data, const std::string& sessionPath);
    void applySession(const SessionData& data);
    bool rebuildWorkingFile();
    void restoreFilters(const SessionData& data);
    void undoCutsInBlock();
    void replaceListWithBlockList(const std::vector<int32_t>& cuePositions, int32_t cueTag);
    bool checkApe(const std::string& path, std::unique_ptr<ApeDecoder>& decoder, WaveLayout& l);
    bool parseWave(const std::string& path, File& file, WaveReading& reading);
    bool refuseOwnFile(const std::string& path);
    bool createWorkingFiles(const std::string& path);
    void recoverWaveform();

    Profile& profile_;
    UserInterface& ui_;
    DocumentObserver silent_;
    DocumentObserver* observer_ = &silent_;
    CorrectionGenerator generator_{fft};
    CorrectionEditor editor_{corrections, store, generator_};
    LoadState load_;
    std::string title_;
    std::string originalName_;
    std::string inputPath_;
    std::string workingPath_;
    std::string decodedPath_;
    std::string dataRepair_;
    bool ape_ = false;
    bool checkApeVersion_ = true;
    std::unique_ptr<AutoSave> autoSave_;
    int restoreTask_ = 0;                 // the progress task a session restore is at
    std::unique_ptr<ApeDecoder> decoder_; // until the load has decoded the whole APE file
};

} // namespace tarnival
