#include "document/TempFiles.h"
#include "document/FileError.h"
#include "document/Settings.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace tarnival {

namespace fs = std::filesystem;

namespace {

std::string withoutLast4(const std::string& s) {
    return s.substr(0, s.size() > 4 ? s.size() - 4 : 0);
}

void requireFolder(const std::string& folder) {
    struct stat st {};
    if (::stat(folder.c_str(), &st) != 0) throw FileError(folder, std::strerror(errno));
    if (!S_ISDIR(st.st_mode)) throw FileError(folder, std::strerror(ENOTDIR));
}

// Our folder under a shared one: made with mode 0700, and trusted only while it is a real folder
// that belongs to us and is closed to everybody else.
std::string privateFolder(const std::string& base) {
    requireFolder(base);
    std::string folder = (fs::path(base) / ("tarnival-" + std::to_string(::geteuid()))).string();
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST)
        throw FileError(folder, std::strerror(errno));
    struct stat st {};
    if (::lstat(folder.c_str(), &st) != 0) throw FileError(folder, std::strerror(errno));
    if (!S_ISDIR(st.st_mode) || st.st_uid != ::geteuid() || (st.st_mode & 077) != 0)
        throw FileError(folder, "Not a private folder of this user",
                        "The folder for temporary files " + folder +
                            " is not private to you (it must be your own folder, closed to "
                            "others). Remove it or choose another folder for temporary files.");
    return folder;
}

} // namespace

std::string systemTempFolder() {
    const char* env = std::getenv("TMPDIR");
    return env && *env ? env : "/tmp";
}

std::string workingFolder(const std::string& inputPath, int tempMode, const std::string& tempPath) {
    if (tempMode == ids::kTempSameFolder) {
        std::string folder = fs::path(inputPath).parent_path().string();
        return folder.empty() ? "." : folder;
    }
    if (tempMode == ids::kTempUser && !tempPath.empty()) {
        requireFolder(tempPath);
        return tempPath;
    }
    return privateFolder(systemTempFolder());
}

std::string workingFileName(const std::string& inputPath) {
    return withoutLast4(fs::path(inputPath).filename().string()) + "~.wav";
}

std::string workingFilePath(const std::string& inputPath, int tempMode,
                            const std::string& tempPath) {
    return (fs::path(workingFolder(inputPath, tempMode, tempPath)) / workingFileName(inputPath))
        .string();
}

std::string decodedFilePath(const std::string& workingPath) {
    return withoutLast4(workingPath) + ".tmp";
}

void createTemporaryFile(File& file, const std::string& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0) {
        if (!S_ISREG(st.st_mode))
            throw FileError(path, "In the way",
                            path + " is in the way: it is a link or a special file, not a file "
                                   "Tarnival made. Remove it or choose another folder for "
                                   "temporary files.");
        File old(path, File::Mode::ReadOnly);
        if (!old.tryLock())
            throw FileError(path, "In use", "Another Tarnival is working on " + path + ".");
        if (st.st_uid != ::geteuid() || (st.st_mode & 077) != 0)
            throw FileError(path, "In the way",
                            path + " is in the way and was not made by Tarnival. Move it or "
                                   "choose another folder for temporary files.");
        // Left by a run that died: its contents are never trusted.
        if (!removeFile(path)) throw FileError(path, std::strerror(errno));
    }
    // Exclusive: should another run take the name in the meantime, this fails rather than share.
    file.open(path, File::Mode::CreateNew, 0600);
    if (!file.tryLock()) {
        file.close();
        throw FileError(path, "In use", "Another Tarnival is working on " + path + ".");
    }
}

} // namespace tarnival
