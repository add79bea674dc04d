#pragma once
// The value encodings of a session file: little-endian plain values, length-prefixed strings and
// count-prefixed arrays. The reader treats its bytes as untrusted: every length is checked
// against what is left before anything is allocated, and a failure names what and where.
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace tarnival {

// A session file that cannot be what it claims. The text is the whole sentence shown to the user.
class SessionDamaged : public std::runtime_error {
  public:
    SessionDamaged(const std::string& what, size_t offset);
    explicit SessionDamaged(const std::string& sentence) : std::runtime_error(sentence) {}
};

class SessionWriter {
  public:
    void u8(uint8_t v) { bytes_.push_back(v); }
    void u16(uint16_t v);
    void u32(uint32_t v);
    void i32(int32_t v) { u32(static_cast<uint32_t>(v)); }
    void f32(float v);
    void f64(double v);
    // Below 255: one length byte; below 0xFFFE: 0xFF and 16 bits; else 0xFF, 0xFFFF, 32 bits.
    void str(const std::string& s);
    // Below 0xFFFF: 16 bits; else 0xFFFF and 32 bits.
    void count(size_t n);
    void raw(const void* data, size_t n);

    const std::vector<uint8_t>& bytes() const { return bytes_; }
    std::vector<uint8_t> take() { return std::move(bytes_); }

  private:
    std::vector<uint8_t> bytes_;
};

class SessionReader {
  public:
    SessionReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}

    uint16_t u16(const char* what);
    uint32_t u32(const char* what);
    int32_t i32(const char* what) { return static_cast<int32_t>(u32(what)); }
    float f32(const char* what);
    double f64(const char* what);
    std::string str(const char* what);
    // An array's element count, refused when that many elements of elementSize bytes cannot
    // fit in what is left of the file.
    size_t count(const char* what, size_t elementSize);
    void raw(void* out, size_t n, const char* what);

    size_t offset() const { return at_; }
    size_t remaining() const { return size_ - at_; }
    [[noreturn]] void damaged(const std::string& what) const { throw SessionDamaged(what, at_); }

  private:
    void need(size_t n, const char* what);

    const uint8_t* data_;
    size_t size_;
    size_t at_ = 0;
};

} // namespace tarnival
