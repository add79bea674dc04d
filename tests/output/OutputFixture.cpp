#include "output/OutputFixture.h"

#include <gtest/gtest.h>

#include <cstring>

namespace tarnival::test {

namespace {
uint32_t get32(const std::vector<uint8_t>& b, size_t at) {
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<uint32_t>(b[at + 3]) << 24);
}
uint16_t get16(const std::vector<uint8_t>& b, size_t at) {
    return static_cast<uint16_t>(b[at] | (b[at + 1] << 8));
}
bool idAt(const std::vector<uint8_t>& b, size_t at, const char* id) {
    return at + 4 <= b.size() && std::memcmp(b.data() + at, id, 4) == 0;
}
} // namespace

bool parseWave(const std::vector<uint8_t>& file, ParsedWave& out) {
    if (file.size() < 12 || !idAt(file, 0, "RIFF") || !idAt(file, 8, "WAVE")) {
        ADD_FAILURE() << "not a RIFF WAVE file";
        return false;
    }
    out.riffSize = get32(file, 4);
    if (out.riffSize != file.size() - 8) {
        ADD_FAILURE() << "RIFF size " << out.riffSize << " for a file of " << file.size();
        return false;
    }
    bool haveFmt = false, haveData = false;
    size_t at = 12;
    while (at + 8 <= file.size()) {
        uint32_t length = get32(file, at + 4);
        size_t body = at + 8;
        if (body + length > file.size()) {
            ADD_FAILURE() << "chunk overruns the file";
            return false;
        }
        if (idAt(file, at, "fmt ")) {
            haveFmt = true;
            out.fmtLength = length;
            out.format = get16(file, body);
            out.channels = get16(file, body + 2);
            out.rate = get32(file, body + 4);
            out.byteRate = get32(file, body + 8);
            out.blockAlign = get16(file, body + 12);
            out.bits = get16(file, body + 14);
            if (length >= 18) out.extension = get16(file, body + 16);
        } else if (idAt(file, at, "data")) {
            haveData = true;
            out.dataOffset = body;
            out.dataSize = length;
            out.data.assign(file.begin() + static_cast<std::ptrdiff_t>(body),
                            file.begin() + static_cast<std::ptrdiff_t>(body + length));
        }
        at = body + length + (length & 1);
    }
    if (at != file.size() || !haveFmt || !haveData) {
        ADD_FAILURE() << "chunks do not fill the file, or fmt/data missing";
        return false;
    }
    return true;
}

ParsedWave readWave(const std::string& path) {
    ParsedWave wave;
    parseWave(readFile(path), wave);
    return wave;
}

Stereo constant(int frames, int16_t left, int16_t right) {
    Stereo s(static_cast<size_t>(frames) * 2);
    for (size_t i = 0; i < s.size(); i += 2) s[i] = left, s[i + 1] = right;
    return s;
}

Recording::Recording(const Stereo& samples, int rate, int fmtLength) : working(samples) {
    inputPath = dir.file("side.wav");
    workingPath = dir.file("side~.wav");
    WavOptions options;
    options.rate = rate;
    options.fmtLength = fmtLength;
    Stereo source = samples;
    for (int16_t& s : source) s = static_cast<int16_t>(~s);
    writeWav(inputPath, source, options);
    writeWav(workingPath, samples, options);
    store.source.open(inputPath, File::Mode::ReadOnly);
    store.working.open(workingPath, File::Mode::ReadWrite);
    WaveLayout& l = store.layout;
    l.dataStart = 20 + fmtLength + 8;
    l.dataEnd = l.dataStart + static_cast<int32_t>(samples.size() * 2);
    l.frameRemainder = l.dataStart % 4;
    l.fileLength = l.dataEnd;
    l.sampleRate = rate;
    l.firstCorrectable = l.dataStart + kEdgeGuard;
    l.lastCorrectable = l.dataEnd - kEdgeGuard;
    tracks[0].start = l.dataStart;
    tracks[0].end = l.dataEnd;
}

std::vector<uint8_t> Recording::workingBytes(int64_t from, int64_t to) const {
    std::vector<uint8_t> bytes(static_cast<size_t>(to - from));
    store.readWorking(from, bytes.data(), bytes.size());
    return bytes;
}

OutputContext Recording::context(OutputOptions options) {
    // The renderer tests write the same names again and again.
    options.replaceExisting = true;
    return OutputContext{store, tracks, splices, ui, std::move(options), {}, {}};
}

Track& Recording::addTrack(int32_t start, int32_t end, int32_t fadeIn, int32_t fadeOut, int32_t pre,
                           int32_t post, const std::string& title) {
    Track t;
    t.start = start;
    t.end = end;
    t.fadeIn = fadeIn;
    t.fadeOut = fadeOut;
    t.preSilence = pre;
    t.postSilence = post;
    t.title = title;
    tracks.tracks.push_back(t);
    return tracks.tracks.back();
}

} // namespace tarnival::test
