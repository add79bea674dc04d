#include "output/SaveTracks.h"
#include "document/FileError.h"
#include "document/FreeSpace.h"
#include "document/SafeFile.h"
#include "document/UserInterface.h"
#include "document/WaveStore.h"

#include <algorithm>
#include <filesystem>
#include <stdexcept>
#include <sys/stat.h>
#include <system_error>

namespace tarnival {

namespace fs = std::filesystem;

const char* const kConfirmSaveText =
    "The Followng Files will be saved to Disk.\nFiles shown in red and marked with an asterisk "
    "already exist and will be overwritten.";

namespace {

const char* const kInputProtected =
    "The operation cannot be completed.\nThe input file must not be overwritten.";
const char* const kSaveAside = "~~~";

bool fileExists(const std::string& path) {
    std::error_code ec;
    return fs::exists(path, ec);
}

std::string folderOf(const std::string& path) {
    std::string folder = fs::path(path).parent_path().string();
    return folder.empty() ? "." : folder;
}

// The nearest folder of path that exists: where the output's filesystem is measured.
fs::path existingFolder(const std::string& path) {
    std::error_code ec;
    fs::path folder = fs::absolute(folderOf(path), ec);
    while (!fs::exists(folder, ec) && folder.has_parent_path() && folder.parent_path() != folder)
        folder = folder.parent_path();
    return folder;
}

// After a save that stopped part way: which of the tracks are whole.
std::string completedTracksText(const SaveRequest& request, size_t done) {
    std::string text = "The save stopped before " +
                       request.paths[std::min(done, request.paths.size() - 1)] + ".\n";
    int first = request.trackNumbers.front(), last = request.trackNumbers[done - 1];
    if (first <= 0 || last <= 0) first = 1, last = static_cast<int>(done);
    text += done == 1 ? "Track " + std::to_string(first) + " is complete."
                      : "Tracks " + std::to_string(first) + " to " + std::to_string(last) +
                            " are complete.";
    return text;
}

bool sameFilesystem(const fs::path& a, const std::string& b) {
    struct stat sa {};
    struct stat sb {};
    return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev;
}

void dropWorkingFile(WaveStore& store, SaveOutcome& outcome) {
    std::string path = store.working.path();
    store.working.close();
    removeFile(path);
    outcome.workingFileRemoved = true;
}

// The name a track is written under: an output named like the input goes beside it (only
// "Save && Close" gets this far with such a name), spelled as the input so that
// ReplaceInputWithSaved finds it.
std::string savedName(const std::string& path, const std::string& inputPath) {
    return samePath(path, inputPath) ? inputPath + kSaveAside : path;
}

std::string confirmLine(const std::string& path, bool exists) {
    return (exists ? "* " : "   ") + path;
}

bool viaExternalEncoder(const OutputOptions& options) {
    return options.fileType == ids::kFileWave && options.externalEncoder;
}

// Fills outcome as it goes, so that an exception leaves it telling what already happened.
void saveSeveral(OutputContext& context, const std::string& inputPath, const SaveRequest& request,
                 SaveOutcome& outcome) {
    const size_t count = request.paths.size();
    for (size_t k = 0; k < count; ++k) {
        if (context.ui.stopRequested()) {
            outcome.status = SaveStatus::Stopped;
            return;
        }
        std::string name = savedName(request.paths[k], inputPath);
        bool gapless = context.options.gapless;
        WriteStatus status = WriteTrack(context, request.trackIndexes[k], request.trackNumbers[k],
                                        name, gapless && k > 0, gapless && k + 1 < count);
        if (status != WriteStatus::Written) {
            outcome.status = SaveStatus::Failed;
            return;
        }
        outcome.written.push_back(name);
    }
    if (request.closeAfterwards) dropWorkingFile(context.store, outcome);
    outcome.status = SaveStatus::Saved;
}

void saveOne(OutputContext& context, const std::string& inputPath, const SaveRequest& request,
             SaveOutcome& outcome) {
    WaveStore& store = context.store;
    const WaveLayout& layout = store.layout;
    const std::string workingPath = store.working.path();
    const fs::path folder = existingFolder(request.paths[0]);
    const bool sameDrive = sameFilesystem(folder, workingPath);
    const bool wave = context.options.fileType == ids::kFileWave;
    const bool renameCandidate =
        sameDrive && context.splices.empty() && request.closeAfterwards && wave;
    if (!renameCandidate) {
        std::string shortage = spaceShortage(folderOf(request.paths[0]), layout.fileLength);
        if (!shortage.empty()) {
            context.ui.message(shortage, "Tarnival");
            outcome.status = SaveStatus::Refused;
            return;
        }
    }

    const std::string name = savedName(request.paths[0], inputPath);
    const int number = request.trackNumbers[0];

    bool render = true;
    if (context.tracks.count() > 1) {
        const Track& track = context.tracks[1];
        const int32_t alignment = layout.frameRemainder == 2 ? 2 : 0;
        const int64_t earliest =
            alignment + (int64_t{layout.dataStart} / kSectorSize + 2) * kSectorSize;
        const int64_t dataEnd = context.splices.sourceToDisplay(layout.dataEnd);
        render = track.start > earliest || track.end < dataEnd || track.fadeIn != 0 ||
                 track.fadeOut != 0 || track.preSilence != 0 || track.postSilence != 0;
    }

    if (renameCandidate && !render) {
        std::error_code ec;
        fs::create_directories(fs::path(name).parent_path(), ec);
        if (!context.options.externalEncoder) {
            // One rename replaces an existing output (only when allowed); if it fails the working
            // file is untouched and the track is rendered instead.
            bool renamed = true;
            try {
                store.working.sync();
                renameFile(workingPath, name, context.options.replaceExisting);
            } catch (const FileError&) {
                renamed = false;
            }
            if (renamed) {
                store.working.close();
                outcome.workingFileRemoved = true;
                outcome.renamedWorkingFile = true;
                outcome.written.push_back(name);
                outcome.status = SaveStatus::Saved;
                return;
            }
        } else {
            if (!context.externalEncoder)
                throw std::logic_error("SaveTracks: external encoder chosen but none supplied");
            removeFile(name); // the user agreed to replace it; the encoder should not meet it
            const std::string numberText =
                number != 0 ? std::to_string(number) : context.options.trackNumberText;
            // The encoder reads the working file where it is; the document keeps it, open and
            // whole, until the output is confirmed.
            if (!context.externalEncoder(workingPath, name, context.tracks[1], numberText)) {
                reportEncoderFailure(context.ui, name, workingPath);
                outcome.status = SaveStatus::Failed;
                return;
            }
            outcome.written.push_back(name);
            dropWorkingFile(store, outcome);
            outcome.status = SaveStatus::Saved;
            return;
        }
    }

    WriteStatus status = render ? WriteTrack(context, 1, number, name, false, false)
                                : WriteTrack(context, 0, number, name, true, true);
    if (status != WriteStatus::Written) {
        outcome.status = SaveStatus::Failed;
        return;
    }
    outcome.written.push_back(name);
    if (request.closeAfterwards) dropWorkingFile(store, outcome);
    outcome.status = SaveStatus::Saved;
}

} // namespace

std::vector<std::string> confirmSaveLines(const std::vector<std::string>& paths) {
    std::vector<std::string> lines;
    lines.reserve(paths.size());
    for (const std::string& path : paths) lines.push_back(confirmLine(path, fileExists(path)));
    return lines;
}

bool samePath(const std::string& a, const std::string& b) {
    if (a.empty() || b.empty()) return false;
    if (a == b) return true;
    std::error_code ec;
    if (fs::equivalent(a, b, ec)) return true;
    std::error_code ea;
    std::error_code eb;
    fs::path ca = fs::weakly_canonical(fs::absolute(a, ea), ea);
    fs::path cb = fs::weakly_canonical(fs::absolute(b, eb), eb);
    return !ea && !eb && ca == cb;
}

SaveOutcome SaveTracks(OutputContext& context, const std::string& inputPath,
                       const SaveRequest& request, const ConfirmSave& confirm) {
    UserInterface& ui = context.ui;
    const size_t count = request.paths.size();
    if (request.trackIndexes.size() != count || request.trackNumbers.size() != count)
        throw std::invalid_argument("SaveTracks: one index, number and path per track");
    for (int index : request.trackIndexes)
        if (index < 1 || index >= context.tracks.count())
            throw std::out_of_range("SaveTracks: no track " + std::to_string(index));
    SaveOutcome outcome;
    if (count == 0) return outcome;

    // The renderer reads the working file while it writes: no output may land on it, even with
    // "Save && Close".
    const std::string workingPath = context.store.working.path();
    // A decoded temporary source is as untouchable as the working file; a wave input may be
    // replaced, but only through "~~~" on "Save && Close".
    const std::string sourcePath = context.store.source.path();
    const bool sourceIsInput = samePath(sourcePath, inputPath);
    // The external encoder's wave is written beside each output first, so it is held to the
    // same rules, and to the input's even with "Save && Close": only "~~~" may replace that.
    const bool viaEncoder = viaExternalEncoder(context.options);
    bool refused = false;
    bool anyExists = false;
    std::vector<std::string> lines;
    for (const std::string& path : request.paths) {
        if (samePath(path, workingPath) || (!sourceIsInput && samePath(path, sourcePath)) ||
            (samePath(path, inputPath) && !request.closeAfterwards))
            refused = true;
        const bool exists = fileExists(path);
        anyExists = anyExists || exists;
        lines.push_back(confirmLine(path, exists));
        if (!viaEncoder) continue;
        const std::string temporary = encoderInputPath(savedName(path, inputPath));
        if (samePath(temporary, workingPath) || samePath(temporary, sourcePath) ||
            samePath(temporary, inputPath))
            refused = true;
        if (fileExists(temporary)) {
            anyExists = true;
            lines.push_back(confirmLine(temporary, true));
        }
    }
    if (refused) {
        ui.message(kInputProtected, "Tarnival");
        return outcome;
    }
    if (anyExists) {
        bool proceed = false;
        if (confirm) {
            proceed = confirm(lines);
        } else {
            std::string text = std::string(kConfirmSaveText) + "\n";
            for (const std::string& line : lines) text += "\n" + line;
            proceed = ui.ask(text, "Confirm Save", Buttons::YesNo) == Answer::Yes;
        }
        if (!proceed) {
            outcome.status = SaveStatus::Declined;
            return outcome;
        }
    }

    if (context.tracks.count() > 2) {
        int64_t needed = 0;
        for (int index : request.trackIndexes) {
            const Track& t = context.tracks[index];
            needed += std::max<int64_t>(0, int64_t{t.end} - t.start);
        }
        std::string shortage = spaceShortage(folderOf(request.paths[0]), needed);
        if (!shortage.empty()) {
            ui.message(shortage, "Tarnival");
            return outcome;
        }
    }

    // Existing files are replaced only when the user said so; a file that appears meanwhile
    // is left alone and the save fails on it.
    OutputContext save = context;
    save.options.replaceExisting = anyExists;
    ProgressScope progress(ui, {}, "Ready");
    try {
        if (context.tracks.count() > 2)
            saveSeveral(save, inputPath, request, outcome);
        else
            saveOne(save, inputPath, request, outcome);
    } catch (const FileError& e) {
        ui.message(e.what(), "Tarnival");
        outcome.status = SaveStatus::Failed;
    }
    if (outcome.status != SaveStatus::Saved && !outcome.written.empty())
        ui.message(completedTracksText(request, outcome.written.size()), "Tarnival");
    return outcome;
}

bool ReplaceInputWithSaved(const SaveOutcome& outcome, const std::string& inputPath) {
    const std::string saved = inputPath + kSaveAside;
    if (outcome.status != SaveStatus::Saved ||
        std::find(outcome.written.begin(), outcome.written.end(), saved) == outcome.written.end())
        return true;
    std::error_code ec;
    fs::rename(saved, inputPath, ec);
    return !ec;
}

} // namespace tarnival
