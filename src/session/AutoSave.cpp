#include "session/AutoSave.h"
#include "document/File.h"
#include "document/FileError.h"
#include "document/SafeFile.h"
#include "document/Settings.h"
#include "document/UserInterface.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace tarnival {

namespace {

int64_t steadySeconds() {
    return std::chrono::duration_cast<std::chrono::seconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void writeBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    File f(path, File::Mode::ReadWrite);
    f.writeAt(0, bytes.data(), bytes.size());
}

bool isRegularOrMissing(const std::string& path) {
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0) return errno == ENOENT;
    return S_ISREG(st.st_mode);
}

// Makes the backup a copy of the session by name, replacing the old backup in one rename. Where
// the filesystem has no hard links the session itself moves to the backup name.
void backUp(const std::string& session, const std::string& backup) {
    const std::filesystem::path b(backup);
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string link =
            (b.parent_path() / ("." + b.filename().string() + ".link-" +
                                std::to_string(::getpid()) + "-" + std::to_string(attempt)))
                .string();
        if (::link(session.c_str(), link.c_str()) == 0) {
            try {
                renameFile(link, backup, true);
            } catch (const FileError&) {
                ::unlink(link.c_str());
                throw;
            }
            return;
        }
        if (errno == EEXIST) continue;
        if (errno == EPERM || errno == EOPNOTSUPP || errno == EMLINK || errno == EXDEV) break;
        throw FileError(backup, std::strerror(errno));
    }
    renameFile(session, backup, true);
}

} // namespace

std::string replaceExtension(const std::string& path, const std::string& ext) {
    return (path.size() >= 4 ? path.substr(0, path.size() - 4) : path) + ext;
}

AutoSave::AutoSave(Profile& profile, UserInterface& ui, Hooks hooks)
    : profile_(profile), ui_(ui), hooks_(std::move(hooks)) {
    if (!hooks_.now) hooks_.now = steadySeconds;
    if (!hooks_.writeFile) hooks_.writeFile = writeBytes;
    last_ = hooks_.now();
}

bool AutoSave::enabled() const {
    return get(profile_, settings::kAutoSave) != 0;
}

void AutoSave::setEnabled(bool on) {
    set(profile_, settings::kAutoSave, on ? 1 : 0);
    if (on) last_ = hooks_.now() - (kInterval - kFirstDelay);
}

bool AutoSave::idle() {
    if (!enabled()) return false;
    const int64_t now = hooks_.now();
    if (now - last_ <= kInterval) return false;
    if (!hooks_.modified || !hooks_.modified()) return false;
    saveNow();
    last_ = now;
    return true;
}

bool AutoSave::saveNow() {
    if (hooks_.busy && hooks_.busy()) return false;
    if (!hooks_.modified || !hooks_.modified()) return true;
    const std::string input = hooks_.inputPath ? hooks_.inputPath() : std::string();
    if (input.empty()) return true;
    const std::string sessionPath = replaceExtension(input, ".ses");
    const std::string backupPath = replaceExtension(input, ".bak");
    if (hooks_.showSaving) hooks_.showSaving(true);
    struct Restore {
        const std::function<void(bool)>& show;
        ~Restore() {
            if (show) show(false);
        }
    } restoreStatus{hooks_.showSaving};

    // The new session is complete on disk before the old one moves, and the session name
    // always holds a whole session: the old one becomes the backup through a second link, and
    // the new one replaces it in one rename. A failure anywhere leaves the previous session and
    // its backup as they were.
    try {
        SafeFile next(sessionPath);
        hooks_.writeFile(next.temporaryPath(), hooks_.encode());
        File(next.temporaryPath(), File::Mode::ReadWrite).sync();
        if (std::filesystem::exists(sessionPath)) {
            try {
                backUp(sessionPath, backupPath);
            } catch (const FileError&) {
                ui_.message(isRegularOrMissing(backupPath) ? "AutoSave Create Backup Error"
                                                           : "AutoSave Remove Backup Error");
                return false;
            }
        }
        next.commit(true);
    } catch (const FileError& e) {
        ui_.message(std::string("AutoSave failed; the previous session is kept.\n") + e.what());
        return false;
    } catch (const std::exception& e) {
        ui_.message(std::string("AutoSave failed; the previous session is kept.\n") + e.what());
        return false;
    }
    return true;
}

} // namespace tarnival
