#include "document/File.h"
#include "document/FileError.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tarnival {

namespace {
[[noreturn]] void fail(const std::string& path) {
    throw FileError(path, std::strerror(errno));
}
} // namespace

File::~File() {
    close();
}

File::File(File&& other) noexcept : fd_(other.fd_), path_(std::move(other.path_)) {
    other.fd_ = -1;
}

File& File::operator=(File&& other) noexcept {
    if (this != &other) {
        close();
        fd_ = other.fd_;
        path_ = std::move(other.path_);
        other.fd_ = -1;
    }
    return *this;
}

void File::open(const std::string& path, Mode mode, unsigned permissions) {
    close();
    // Non-blocking only for the open itself, so that a FIFO cannot hang us before the type check.
    int flags = O_CLOEXEC | O_NONBLOCK;
    switch (mode) {
    case Mode::ReadOnly:
        flags |= O_RDONLY;
        break;
    case Mode::ReadWrite:
        flags |= O_RDWR;
        break;
    case Mode::CreateNew:
        flags |= O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW;
        break;
    }
    int fd = ::open(path.c_str(), flags, permissions);
    if (fd < 0) fail(path);
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        int error = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
        ::close(fd);
        throw FileError(path, S_ISDIR(st.st_mode) ? std::strerror(error) : "Not a regular file");
    }
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    fd_ = fd;
    path_ = path;
}

void File::close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

int64_t File::length() const {
    struct stat st {};
    if (fstat(fd_, &st) != 0) fail(path_);
    return st.st_size;
}

void File::setLength(int64_t length) {
    if (ftruncate(fd_, length) != 0) fail(path_);
}

size_t File::readAt(int64_t pos, void* buffer, size_t count) const {
    if (pos < 0) throw FileError(path_, "Invalid file position");
    auto* p = static_cast<char*>(buffer);
    size_t done = 0;
    while (done < count) {
        ssize_t n = ::pread(fd_, p + done, count - done, pos + static_cast<int64_t>(done));
        if (n < 0) {
            if (errno == EINTR) continue;
            fail(path_);
        }
        if (n == 0) break;
        done += static_cast<size_t>(n);
    }
    return done;
}

void File::readExactly(int64_t pos, void* buffer, size_t count) const {
    if (readAt(pos, buffer, count) != count)
        throw FileError(path_, "Attempted to read past the end of the file");
}

void File::writeAt(int64_t pos, const void* buffer, size_t count) {
    if (pos < 0) throw FileError(path_, "Invalid file position");
    const auto* p = static_cast<const char*>(buffer);
    size_t done = 0;
    while (done < count) {
        ssize_t n = ::pwrite(fd_, p + done, count - done, pos + static_cast<int64_t>(done));
        if (n < 0) {
            if (errno == EINTR) continue;
            fail(path_);
        }
        done += static_cast<size_t>(n);
    }
}

bool File::tryLock() {
    while (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
        if (errno == EINTR) continue;
        if (errno == EWOULDBLOCK) return false;
        fail(path_);
    }
    return true;
}

void File::sync() {
    if (::fsync(fd_) != 0) fail(path_);
}

File::Identity File::identity() const {
    struct stat st {};
    if (fstat(fd_, &st) != 0) fail(path_);
    return {static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino)};
}

std::optional<File::Identity> fileIdentity(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return std::nullopt;
    return File::Identity{static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino)};
}

bool removeFile(const std::string& path) {
    return ::unlink(path.c_str()) == 0 || errno == ENOENT;
}

} // namespace tarnival
