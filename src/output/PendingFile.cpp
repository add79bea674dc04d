#include "output/PendingFile.h"
#include "document/FileError.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <random>
#include <unistd.h>

namespace tarnival {

namespace {

std::string temporaryNameFor(const std::string& target, uint64_t salt) {
    const size_t slash = target.find_last_of('/');
    const std::string folder =
        slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
    char suffix[24];
    std::snprintf(suffix, sizeof suffix, ".%012llx.part",
                  static_cast<unsigned long long>(salt & 0xFFFFFFFFFFFFull));
    // A hidden name: file managers and the save dialog's existence check do not show it.
    return folder + "." + name + suffix;
}

} // namespace

PendingFile::PendingFile(std::string target) : target_(std::move(target)) {
    std::random_device seed;
    std::mt19937_64 random((uint64_t{seed()} << 32) ^ seed());
    for (int attempt = 0;; ++attempt) {
        temporary_ = temporaryNameFor(target_, random());
        // Exclusive creation: the name is ours alone, whatever else lives in the folder.
        const int fd =
            ::open(temporary_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
        if (fd >= 0) {
            ::close(fd);
            break;
        }
        if (errno != EEXIST || attempt >= 16) {
            const int error = errno;
            throw FileError(target_, std::strerror(error));
        }
    }
    try {
        file_.open(temporary_, File::Mode::Create);
    } catch (...) {
        ::unlink(temporary_.c_str());
        throw;
    }
}

PendingFile::~PendingFile() {
    discard();
}

void PendingFile::commit() {
    file_.close();
    if (std::rename(temporary_.c_str(), target_.c_str()) != 0) {
        const int error = errno;
        discard();
        throw FileError(target_, std::strerror(error));
    }
    done_ = true;
}

void PendingFile::discard() noexcept {
    file_.close();
    if (!done_) ::unlink(temporary_.c_str());
    done_ = true;
}

} // namespace tarnival
