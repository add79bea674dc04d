#pragma once
// Where the document keeps the files it makes while a recording is open: the working copy and
// the decoded audio of an APE input. Both are created exclusively, readable by their owner only,
// and locked for as long as they are open, so that two runs never share one and nobody else can
// plant, read or alter them.
#include "document/File.h"

#include <string>

namespace tarnival {

// The system's temporary folder: $TMPDIR when set and not empty, else /tmp.
std::string systemTempFolder();

// The folder working files go in for a placement mode (the "Temp Mode" values): a private
// folder of this user under the system's temporary folder (made when missing), the input's own
// folder, or the user's folder (an empty one means the system's). Throws FileError naming the
// folder when it does not exist or, for the private folder, is not this user's alone.
std::string workingFolder(const std::string& inputPath, int tempMode, const std::string& tempPath);

// The working file's name for an input: the input's file name less its last four characters,
// and "~.wav".
std::string workingFileName(const std::string& inputPath);
// The working file of an input: workingFolder and workingFileName.
std::string workingFilePath(const std::string& inputPath, int tempMode,
                            const std::string& tempPath);
// The decoded audio of an APE input sits beside the working file: "~.wav" becomes "~.tmp".
std::string decodedFilePath(const std::string& workingPath);

// Creates path as a new file of ours (mode 0600) and locks it. A file already there that a run
// which died left behind (ours, unlocked, closed to others) is removed first; one that another
// process holds, or that is not ours, a link or a special file, is refused with FileError.
void createTemporaryFile(File& file, const std::string& path);

} // namespace tarnival
