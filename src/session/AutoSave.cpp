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

    // The new session is complete on disk before the old one moves: a failure anywhere leaves
    // the previous session and its backup as they were.
    try {
        SafeFile next(sessionPath);
        hooks_.writeFile(next.temporaryPath(), hooks_.encode());
        if (std::filesystem::exists(sessionPath)) {
            try {
                // Replacing the backup in one rename: there is no moment without one.
                renameFile(sessionPath, backupPath, true);
            } catch (const FileError&) {
                ui_.message(isRegularOrMissing(backupPath) ? "AutoSave Create Backup Error"
                                                           : "AutoSave Remove Backup Error");
                return false;
            }
        }
        try {
            next.commit(true);
        } catch (const FileError&) {
            // Put the previous session back under its name.
            try {
                renameFile(backupPath, sessionPath, false);
            } catch (const FileError&) {
            }
            throw;
        }
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
