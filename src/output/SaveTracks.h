#pragma once
#include "output/TrackWriter.h"

#include <functional>
#include <string>
#include <vector>

namespace tarnival {

// What the save dialog (or the command line) decided.
struct SaveRequest {
    std::vector<int> trackIndexes;  // selected tracks, ascending, 1..n
    std::vector<int> trackNumbers;  // one per selected track
    std::vector<std::string> paths; // one per selected track
    bool closeAfterwards = false;   // "Save && Close"
};

enum class SaveStatus {
    Saved,
    Refused,  // a check failed and the user was told; nothing was written
    Declined, // the user did not confirm overwriting existing files
    Failed,   // a track could not be written; the user was told
    Stopped,  // the program was asked to end: the tracks written so far are whole
};

struct SaveOutcome {
    SaveStatus status = SaveStatus::Refused;
    // The working file is closed and no longer exists under its name (deleted, or renamed into
    // the output): the document must neither read it nor delete anything at its old path.
    bool workingFileRemoved = false;
    // The single-track output was made by renaming the working file.
    bool renamedWorkingFile = false;
    std::vector<std::string> written; // the files made, in order
};

extern const char* const kConfirmSaveText;
// One line per output path: "* " when the file exists, three spaces otherwise.
std::vector<std::string> confirmSaveLines(const std::vector<std::string>& paths);

// Asks whether existing files may be overwritten; gets the lines of confirmSaveLines. The
// default asks through the user interface with "Confirm Save".
using ConfirmSave = std::function<bool(const std::vector<std::string>& lines)>;

// Writes the selected tracks. inputPath is the file the user opened (the ".ape" path for APE
// input). Neither it, the source nor the working file is ever written over, not even by the
// external encoder's temporary wave; with closeAfterwards an output named like the input is
// written as input + "~~~" and takes the input's place through ReplaceInputWithSaved once the
// document has closed its files. The working file is removed only after every output has been
// made.
SaveOutcome SaveTracks(OutputContext& context, const std::string& inputPath,
                       const SaveRequest& request, const ConfirmSave& confirm = {});

// After "Save && Close" has closed the document: puts input + "~~~" in the input's place when
// that save succeeded and wrote it; any other "~~~" file (say, left by an interrupted save) is
// not touched. Returns false when the file was due to move but could not be moved.
bool ReplaceInputWithSaved(const SaveOutcome& outcome, const std::string& inputPath);

// True when both paths name the same file, whether or not it exists yet.
bool samePath(const std::string& a, const std::string& b);

} // namespace tarnival
