#pragma once
#include <cstdint>

namespace tarnival {

// Little-endian integers as file headers store them.
inline uint32_t readLe16(const uint8_t* p) {
    return static_cast<uint32_t>(p[0] | p[1] << 8);
}
inline uint32_t readLe32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

} // namespace tarnival
