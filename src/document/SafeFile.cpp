#include "document/SafeFile.h"
#include "document/FileError.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace tarnival {

namespace fs = std::filesystem;

SafeFile::SafeFile(std::string target) : target_(std::move(target)) {
    fs::path t(target_);
    fs::path folder = t.parent_path();
    std::string name = "." + t.filename().string() + ".partial-XXXXXX";
    std::string pattern = (folder.empty() ? fs::path(name) : folder / name).string();
    int fd = ::mkostemp(pattern.data(), O_CLOEXEC);
    if (fd < 0) throw FileError(target_, std::strerror(errno));
    // mkostemp makes it 0600; what the user keeps gets the usual permissions.
    mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd, 0666 & ~mask);
    ::close(fd);
    temporary_ = pattern;
    open_ = true;
}

SafeFile::~SafeFile() {
    discard();
}

void SafeFile::commit(bool replace) {
    int fd = ::open(temporary_.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0 || ::fsync(fd) != 0) {
        int error = errno;
        if (fd >= 0) ::close(fd);
        throw FileError(target_, std::strerror(error));
    }
    ::close(fd);
    renameFile(temporary_, target_, replace);
    open_ = false;
}

void SafeFile::discard() noexcept {
    if (open_) ::unlink(temporary_.c_str());
    open_ = false;
}

void renameFile(const std::string& from, const std::string& to, bool replace) {
    int result = replace
                     ? std::rename(from.c_str(), to.c_str())
                     : ::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE);
    if (result != 0 && !replace && (errno == EINVAL || errno == ENOSYS)) {
        // A filesystem without the no-replace rename: a hard link refuses an existing name too.
        result = ::link(from.c_str(), to.c_str());
        if (result == 0) ::unlink(from.c_str());
    }
    if (result != 0) throw FileError(to, std::strerror(errno));
}

} // namespace tarnival
