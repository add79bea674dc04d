#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace tarnival {

// An open file addressed by absolute byte position. Every failure throws FileError.
class File {
  public:
    // ReadOnly never writes. CreateNew makes a new file and fails when anything (a file, a link,
    // a FIFO) already has the name, so a name planted by someone else is never written through.
    enum class Mode { ReadOnly, ReadWrite, CreateNew };

    File() = default;
    File(const std::string& path, Mode mode) { open(path, mode); }
    ~File();
    File(const File&) = delete;
    File& operator=(const File&) = delete;
    File(File&& other) noexcept;
    File& operator=(File&& other) noexcept;

    // permissions apply to CreateNew only (less the umask).
    void open(const std::string& path, Mode mode, unsigned permissions = 0666);
    void close();
    bool isOpen() const { return fd_ >= 0; }
    const std::string& path() const { return path_; }

    int64_t length() const;
    void setLength(int64_t length);
    // Reads up to count bytes at pos; returns the number read (short only at end of file).
    size_t readAt(int64_t pos, void* buffer, size_t count) const;
    // Reads exactly count bytes or throws.
    void readExactly(int64_t pos, void* buffer, size_t count) const;
    void writeAt(int64_t pos, const void* buffer, size_t count);
    // Takes an exclusive advisory lock without waiting; false when another process holds one.
    // The lock lasts until the file is closed.
    bool tryLock();
    // Flushes the file's data to the disk.
    void sync();
    // Device and inode, to recognise the file under another name.
    struct Identity {
        uint64_t device = 0;
        uint64_t inode = 0;
        bool operator==(const Identity&) const = default;
    };
    Identity identity() const;

  private:
    int fd_ = -1;
    std::string path_;
};

// Deletes a file if it exists; returns false when it could not be removed.
bool removeFile(const std::string& path);
// The identity of the file a path names (links followed), or nothing when it cannot be read.
std::optional<File::Identity> fileIdentity(const std::string& path);

} // namespace tarnival
