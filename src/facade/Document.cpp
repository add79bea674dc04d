#include "facade/Document.h"

#include <filesystem>

namespace tarnival {

const char* const kNoFileTitle = "Wave File - Not Yet Loaded";

const char* statusText(int status) {
    static const char* const texts[] = {
        "Wave Not Loaded",    "Wave Not Scanned", "Scan Incomplete", "Wave Not Corrected",
        "Processing Aborted", "Ready to Save",    "Auto-Saving"};
    return status >= 0 && status <= 6 ? texts[status] : "";
}

namespace {
std::string withoutLast4(const std::string& s) {
    return s.substr(0, s.size() > 4 ? s.size() - 4 : 0);
}
} // namespace

std::string workingFilePath(const std::string& sourcePath, int tempMode,
                            const std::string& tempPath) {
    namespace fs = std::filesystem;
    std::string name = fs::path(sourcePath).filename().string();
    if (tempMode == ids::kTempSameFolder) return withoutLast4(sourcePath) + "~.wav";
    // An empty user folder would put the file at the root of the filesystem; use the
    // system's temporary folder instead.
    if (tempMode == ids::kTempUser && !tempPath.empty())
        return (fs::path(tempPath) / (withoutLast4(name) + "~.wav")).string();
    return (fs::temp_directory_path() / (withoutLast4(name) + "~.wav")).string();
}

CMorvath3Doc::CMorvath3Doc(Profile& profile, UserInterface& ui)
    : profile_(profile), ui_(ui), title_(kNoFileTitle) {
    scan.load(profile_);
    tempMode = get(profile_, settings::kTempMode);
    tempPath = get(profile_, settings::kTempPath);
}

CMorvath3Doc::~CMorvath3Doc() {
    CloseWave();
}

void CMorvath3Doc::CloseWave() {
    store.source.close();
    decoder_.reset();
    if (!apeTempPath_.empty()) removeFile(apeTempPath_);
    apeTempPath_.clear();
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
    chunkLevels.clear();
    chunkEnvelope.clear();
    store.layout = WaveLayout{};
    store.leftGain = store.rightGain = 1.0f;
    status = kWaveNotLoaded;
    scanned = false;
    mono = false;
    modified = false;
    cancelPosition = 0;
    currentEntry = 0;
    blockStart = blockEnd = 0;
    levelSum = balanceSum = 0;
    ape_ = false;
    originalName_.clear();
    title_ = kNoFileTitle;
    observer_->listEmptied();
    observer_->titleChanged();
}

} // namespace tarnival
