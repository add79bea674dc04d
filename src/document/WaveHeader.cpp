#include "document/WaveHeader.h"
#include "document/Bytes.h"
#include "document/File.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <limits>

namespace tarnival {

namespace {

void put16(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}
void put32(uint8_t* p, uint32_t v) {
    put16(p, v & 0xFFFF);
    put16(p + 2, v >> 16);
}

std::string upperId(const uint8_t* p) {
    std::string s(reinterpret_cast<const char*>(p), 4);
    for (auto& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

bool plausibleId(const uint8_t* p) {
    return std::all_of(p, p + 4, [](uint8_t c) { return c >= 0x20 && c <= 0x7E; });
}

// Each word of the format must match the same word of either accepted row.
bool acceptedFormat(const uint8_t* fmt) {
    static const uint32_t rows[2][4] = {{0x00020001u, 44100, 176400, 0x00100004u},
                                        {0x00020001u, 48000, 192000, 0x00100004u}};
    for (int w = 0; w < 4; ++w) {
        uint32_t v = readLe32(fmt + 4 * w);
        if (v != rows[0][w] && v != rows[1][w]) return false;
    }
    return true;
}

std::string describeFormat(const uint8_t* fmt) {
    unsigned tag = readLe16(fmt), channels = readLe16(fmt + 2), bits = readLe16(fmt + 14);
    unsigned rate = readLe32(fmt + 4);
    char text[160];
    if (tag != 1)
        std::snprintf(text, sizeof text, "It is not plain PCM audio (format tag %u).", tag);
    else
        std::snprintf(text, sizeof text, "It holds %u channel%s of %u-bit samples at %u Hz.",
                      channels, channels == 1 ? "" : "s", bits, rate);
    return text;
}

WaveReading refusal(std::string problem) {
    WaveReading r;
    r.problem = std::move(problem);
    return r;
}

} // namespace

int64_t maxWaveDataSize(int alignment) {
    return int64_t{std::numeric_limits<uint32_t>::max()} - 36 - alignment;
}

size_t buildWaveHeader(const WaveFormat& format, std::array<uint8_t, kMaxWaveHeader>& header) {
    const uint32_t align = format.alignment == 2 ? 2 : 0;
    const bool rate48 = format.sampleRate == 48000;
    const auto size = static_cast<uint32_t>(format.dataSize);
    uint8_t* h = header.data();
    std::memcpy(h, "RIFF", 4);
    put32(h + 4, size + 36 + align);
    std::memcpy(h + 8, "WAVEfmt ", 8);
    put32(h + 16, 16 + align);
    put16(h + 20, 1);
    put16(h + 22, 2);
    put32(h + 24, rate48 ? 48000 : 44100);
    put32(h + 28, rate48 ? 192000 : 176400);
    put16(h + 32, 4);
    put16(h + 34, 16);
    if (align) put16(h + 36, 0);
    std::memcpy(h + 36 + align, "data", 4);
    put32(h + 40 + align, size);
    return 44 + align;
}

WaveReading readWaveHeader(const File& f) {
    const int64_t fileLength = f.length();
    if (fileLength == 0) return refusal("The file is empty.");
    uint8_t h[12];
    if (f.readAt(0, h, 12) != 12) return refusal("The file is too short to be a wave file.");
    if (upperId(h) != "RIFF" || upperId(h + 8) != "WAVE")
        return refusal("It is not a RIFF WAVE file.");
    uint8_t fmt[24];
    size_t got = f.readAt(12, fmt, 24);
    if (got >= 4 && upperId(fmt) != "FMT ")
        return refusal("The format chunk is missing: the file starts with a \"" +
                       std::string(reinterpret_cast<const char*>(fmt), 4) + "\" chunk.");
    if (got != 24) return refusal("The file ends inside its header.");
    uint32_t fmtLength = readLe32(fmt + 4);
    if (!acceptedFormat(fmt + 8)) return refusal(describeFormat(fmt + 8));
    if (fmtLength != 16 && fmtLength != 18)
        return refusal("Its format chunk is " + std::to_string(fmtLength) +
                       " bytes long; only 16 or 18 are understood.");
    int rate = static_cast<int>(readLe32(fmt + 12));

    int64_t pos = 12 + 8 + fmtLength;
    int64_t skip = 0;
    int64_t dataLength = -1;
    while (pos + skip < fileLength) {
        int64_t next = pos + skip;
        uint8_t chunk[8];
        // RIFF pads odd chunks to even length; honour the pad when the unpadded place does not
        // hold a chunk header.
        if (skip % 2 == 1 && (f.readAt(next, chunk, 8) < 8 || !plausibleId(chunk))) ++next;
        if (f.readAt(next, chunk, 8) < 8) break;
        pos = next + 8;
        skip = readLe32(chunk + 4);
        if (upperId(chunk) == "DATA") {
            dataLength = skip;
            break;
        }
    }
    if (dataLength < 0) return refusal("No data chunk was found.");

    WaveReading r;
    const int64_t present = fileLength - pos;
    if (dataLength == 0 && present >= 4) {
        // What a recorder leaves when it dies before closing the file.
        dataLength = present;
        r.repair = "The data chunk gave no length; the audio was read to the end of the file.";
    } else if (dataLength > present) {
        r.repair = dataLength == 0xFFFFFFFFLL
                       ? "The data chunk gave no length; the audio was read to the end of the "
                         "file."
                       : "The file is shorter than its data chunk says (a truncated transfer); "
                         "the audio present was read.";
    }
    // A data chunk longer than the file is a truncated transfer: keep the audio that is there.
    dataLength = std::min(dataLength, present) / 4 * 4;
    if (dataLength == 0) return refusal("The data chunk holds no audio.");

    WaveLayout& l = r.layout;
    l.fileLength = fileLength;
    l.dataStart = static_cast<int32_t>(std::min<int64_t>(pos, INT32_MAX));
    l.frameRemainder = l.dataStart % 4;
    l.trailingLength =
        static_cast<int32_t>(std::min<int64_t>(fileLength - dataLength - pos, INT32_MAX));
    l.dataEnd = static_cast<int32_t>(std::min<int64_t>(fileLength - l.trailingLength, INT32_MAX));
    l.sampleRate = rate;
    r.accepted = true;
    r.tooLong = fileLength > kMaxFileLength;
    return r;
}

} // namespace tarnival
