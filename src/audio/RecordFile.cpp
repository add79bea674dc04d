#include "audio/RecordFile.h"
#include "document/FileError.h"
#include "document/WaveHeader.h"

#include <array>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tarnival {

namespace {

[[noreturn]] void fail(const std::string& path) {
    throw FileError(path, std::strerror(errno));
}

void writeAll(int fd, const std::string& path, int64_t pos, const void* bytes, size_t count) {
    const auto* p = static_cast<const char*>(bytes);
    size_t done = 0;
    while (done < count) {
        ssize_t n = ::pwrite(fd, p + done, count - done, pos + static_cast<int64_t>(done));
        if (n < 0) {
            if (errno == EINTR) continue;
            fail(path);
        }
        done += static_cast<size_t>(n);
    }
}

} // namespace

RecordFile::~RecordFile() {
    close();
}

void RecordFile::create(const std::string& path, bool replaceExisting) {
    close();
    const int flags = O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC;
    int fd = ::open(path.c_str(), flags, 0644);
    if (fd < 0 && errno == EEXIST && replaceExisting) {
        struct stat st {};
        if (::lstat(path.c_str(), &st) != 0) fail(path);
        if (S_ISLNK(st.st_mode)) throw FileError(path, "Is a symbolic link");
        if (!S_ISREG(st.st_mode)) throw FileError(path, "Not a regular file");
        // Removing first keeps the exclusive create: nothing can be slipped in between.
        if (::unlink(path.c_str()) != 0) fail(path);
        fd = ::open(path.c_str(), flags, 0644);
    }
    if (fd < 0) {
        if (errno == ELOOP) throw FileError(path, "Is a symbolic link");
        fail(path);
    }
    fd_ = fd;
    path_ = path;
    data_ = 0;
}

void RecordFile::begin(int rate, int64_t patchInterval) {
    if (fd_ < 0) throw FileError(path_, "The recording file is not open");
    rate_ = rate;
    data_ = 0;
    patchedAt_ = 0;
    patchInterval_ = patchInterval;
    if (::ftruncate(fd_, 0) != 0) fail(path_);
    patchHeader();
}

void RecordFile::append(const uint8_t* bytes, size_t count) {
    writeAll(fd_, path_, kRecordHeaderBytes + data_, bytes, count);
    data_ += static_cast<int64_t>(count);
    if (patchInterval_ > 0 && data_ - patchedAt_ >= patchInterval_) {
        patchHeader();
        // The sizes must not promise audio the disk does not hold yet.
        if (::fdatasync(fd_) != 0 && errno != EINVAL) fail(path_);
    }
}

void RecordFile::finish() {
    patchHeader();
    if (::fsync(fd_) != 0 && errno != EINVAL) fail(path_);
}

void RecordFile::patchHeader() {
    // The recorder writes 16-bit stereo at the nominal rate; buildWaveHeader gives the 44-byte
    // form for an aligned data start.
    std::array<uint8_t, kMaxWaveHeader> header{};
    WaveFormat format;
    format.sampleRate = rate_;
    format.alignment = 0;
    format.dataSize = data_;
    size_t length = buildWaveHeader(format, header);
    writeAll(fd_, path_, 0, header.data(), length);
    patchedAt_ = data_;
}

void RecordFile::close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

void RecordFile::remove() {
    close();
    if (!path_.empty()) ::unlink(path_.c_str());
}

} // namespace tarnival
