#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

namespace tarnival {

// An open file addressed by absolute byte position. Every failure throws FileError.
class File {
  public:
    enum class Mode { ReadOnly, ReadWrite, Create };

    File() = default;
    File(const std::string& path, Mode mode) { open(path, mode); }
    ~File();
    File(const File&) = delete;
    File& operator=(const File&) = delete;
    File(File&& other) noexcept;
    File& operator=(File&& other) noexcept;

    // Create truncates an existing file; ReadOnly never writes.
    void open(const std::string& path, Mode mode);
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

  private:
    int fd_ = -1;
    std::string path_;
};

// Deletes a file if it exists; returns false when it could not be removed.
bool removeFile(const std::string& path);

} // namespace tarnival
