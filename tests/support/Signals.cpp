#include "support/Signals.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace tarnival::test {

namespace {
void put16(std::vector<uint8_t>& b, int v) {
    b.push_back(static_cast<uint8_t>(v & 0xFF));
    b.push_back(static_cast<uint8_t>((v >> 8) & 0xFF));
}
void put32(std::vector<uint8_t>& b, uint32_t v) {
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>((v >> (8 * i)) & 0xFF));
}
void putId(std::vector<uint8_t>& b, std::string id, bool lower) {
    if (lower) std::transform(id.begin(), id.end(), id.begin(), ::tolower);
    id.resize(4, ' ');
    b.insert(b.end(), id.begin(), id.end());
}
} // namespace

std::vector<uint8_t> wavBytes(const Stereo& samples, const WavOptions& o) {
    std::vector<uint8_t> b;
    putId(b, "RIFF", o.lowerCaseIds);
    put32(b, 0); // patched below
    putId(b, "WAVE", o.lowerCaseIds);
    putId(b, "fmt ", o.lowerCaseIds);
    put32(b, static_cast<uint32_t>(o.fmtLength));
    int align = o.channels * o.bits / 8;
    put16(b, 1);
    put16(b, o.channels);
    put32(b, static_cast<uint32_t>(o.rate));
    put32(b, static_cast<uint32_t>(o.rate * align));
    put16(b, align);
    put16(b, o.bits);
    for (int i = 16; i < o.fmtLength; ++i) b.push_back(0);
    for (const auto& [id, payload] : o.chunksBeforeData) {
        putId(b, id, o.lowerCaseIds);
        put32(b, static_cast<uint32_t>(payload.size()));
        b.insert(b.end(), payload.begin(), payload.end());
    }
    putId(b, "data", o.lowerCaseIds);
    put32(b, static_cast<uint32_t>(samples.size() * 2));
    for (int16_t s : samples) put16(b, s);
    b.insert(b.end(), o.trailing.begin(), o.trailing.end());
    uint32_t riff = static_cast<uint32_t>(b.size() - 8);
    for (int i = 0; i < 4; ++i)
        b[4 + static_cast<size_t>(i)] = static_cast<uint8_t>(riff >> (8 * i));
    return b;
}

void writeFile(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
    if (!f) throw std::runtime_error("cannot write " + path);
}

std::vector<uint8_t> readFile(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    if (!f) throw std::runtime_error("cannot read " + path);
    return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

void writeWav(const std::string& path, const Stereo& samples, const WavOptions& options) {
    writeFile(path, wavBytes(samples, options));
}

} // namespace tarnival::test
