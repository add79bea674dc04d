#include "session/SessionCodec.h"

#include <cstring>

namespace tarnival {

SessionDamaged::SessionDamaged(const std::string& what, size_t offset)
    : std::runtime_error("The session file is damaged: " + what + " (at byte " +
                         std::to_string(offset) + ").") {}

void SessionWriter::u16(uint16_t v) {
    u8(static_cast<uint8_t>(v));
    u8(static_cast<uint8_t>(v >> 8));
}

void SessionWriter::u32(uint32_t v) {
    for (int shift = 0; shift < 32; shift += 8) u8(static_cast<uint8_t>(v >> shift));
}

void SessionWriter::f32(float v) {
    uint32_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    u32(bits);
}

void SessionWriter::f64(double v) {
    uint64_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    u32(static_cast<uint32_t>(bits));
    u32(static_cast<uint32_t>(bits >> 32));
}

void SessionWriter::str(const std::string& s) {
    const size_t n = s.size();
    if (n < 0xFF) {
        u8(static_cast<uint8_t>(n));
    } else if (n < 0xFFFE) {
        u8(0xFF);
        u16(static_cast<uint16_t>(n));
    } else {
        u8(0xFF);
        u16(0xFFFF);
        u32(static_cast<uint32_t>(n));
    }
    raw(s.data(), n);
}

void SessionWriter::count(size_t n) {
    if (n < 0xFFFF) {
        u16(static_cast<uint16_t>(n));
    } else {
        u16(0xFFFF);
        u32(static_cast<uint32_t>(n));
    }
}

void SessionWriter::raw(const void* data, size_t n) {
    const auto* p = static_cast<const uint8_t*>(data);
    bytes_.insert(bytes_.end(), p, p + n);
}

void SessionReader::need(size_t n, const char* what) {
    if (n > remaining())
        damaged(std::string("the file ends inside ") + what + " (" + std::to_string(n) +
                " bytes needed, " + std::to_string(remaining()) + " left)");
}

uint16_t SessionReader::u16(const char* what) {
    need(2, what);
    uint16_t v = static_cast<uint16_t>(data_[at_] | data_[at_ + 1] << 8);
    at_ += 2;
    return v;
}

uint32_t SessionReader::u32(const char* what) {
    need(4, what);
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = v << 8 | data_[at_ + static_cast<size_t>(i)];
    at_ += 4;
    return v;
}

float SessionReader::f32(const char* what) {
    uint32_t bits = u32(what);
    float v;
    std::memcpy(&v, &bits, sizeof v);
    return v;
}

double SessionReader::f64(const char* what) {
    need(8, what);
    uint64_t lo = u32(what);
    uint64_t hi = u32(what);
    uint64_t bits = lo | hi << 32;
    double v;
    std::memcpy(&v, &bits, sizeof v);
    return v;
}

std::string SessionReader::str(const char* what) {
    need(1, what);
    size_t n = data_[at_++];
    if (n == 0xFF) {
        n = u16(what);
        if (n == 0xFFFE)
            damaged(std::string(what) + " is stored in wide characters, which this program "
                                        "does not read");
        if (n == 0xFFFF) n = u32(what);
    }
    need(n, what);
    std::string s(reinterpret_cast<const char*>(data_ + at_), n);
    at_ += n;
    return s;
}

size_t SessionReader::count(const char* what, size_t elementSize) {
    const size_t start = at_;
    size_t n = u16(what);
    if (n == 0xFFFF) n = u32(what);
    if (elementSize != 0 && n > remaining() / elementSize) {
        at_ = start;
        damaged(std::string(what) + " claims " + std::to_string(n) + " entries of " +
                std::to_string(elementSize) + " bytes, more than the " +
                std::to_string(remaining()) + " bytes left in the file");
    }
    return n;
}

void SessionReader::raw(void* out, size_t n, const char* what) {
    need(n, what);
    if (n) std::memcpy(out, data_ + at_, n);
    at_ += n;
}

} // namespace tarnival
