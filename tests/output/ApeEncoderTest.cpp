#include "output/ApeEncoder.h"
#include "document/Bytes.h"
#include "document/File.h"
#include "output/ApeSink.h"
#include "support/AudioDecoding.h"
#include "support/ScriptedUi.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

extern "C" {
#include <libavutil/md5.h>
}

#include <filesystem>

namespace tarnival::test {
namespace {

namespace fs = std::filesystem;

// Encodes samples into path, handing them over in pieces of an odd size so that sample pairs
// and frames are split between calls.
bool encodeFile(const std::string& path, const Stereo& samples, int level, int rate = 44100,
                const std::vector<uint8_t>& tag = {}) {
    const std::vector<uint8_t> bytes = pcmBytes(samples);
    fs::remove(path);
    File file(path, File::Mode::CreateNew);
    ApeEncoder encoder(file, rate, level, static_cast<int64_t>(samples.size() / 2));
    for (size_t at = 0; at < bytes.size(); at += 40961)
        encoder.add(bytes.data() + at, std::min<size_t>(40961, bytes.size() - at));
    return encoder.finish(tag);
}

std::string md5Of(const std::vector<uint8_t>& bytes) {
    uint8_t digest[16];
    av_md5_sum(digest, bytes.data(), bytes.size());
    char hex[33];
    for (int i = 0; i < 16; ++i) std::snprintf(hex + 2 * i, 3, "%02x", digest[i]);
    return hex;
}

// The frame data in the order it was produced: the file stores it in byte-swapped 32-bit words.
std::vector<uint8_t> logicalFrames(const std::vector<uint8_t>& file) {
    const size_t first = readLe32(&file[40]);
    std::vector<uint8_t> out;
    for (size_t at = first; at + 4 <= file.size(); at += 4)
        out.insert(out.end(), {file[at + 3], file[at + 2], file[at + 1], file[at]});
    return out;
}

std::vector<uint8_t> hexBytes(const char* text) {
    std::vector<uint8_t> out;
    for (const char* p = text; *p; p += p[2] ? 3 : 2)
        out.push_back(static_cast<uint8_t>(std::stoi(std::string(p, 2), nullptr, 16)));
    return out;
}

TEST(ApeEncoder, ReproducesTheReferenceTestVectors) {
    TempDir dir;
    const std::string path = dir.file("tv.ape");

    // 1000 silent pairs at Normal: the complete 60-byte file.
    ASSERT_TRUE(encodeFile(path, silence(1000), 2000));
    EXPECT_EQ(readFile(path), hexBytes("4d 41 43 20 82 0f d0 07 36 00 02 00 44 ac 00 00 00 00 00 "
                                       "00 00 00 00 00 01 00 00 00 e8 03 00 00 00 00 00 00 01 00 "
                                       "00 00 2c 00 00 00 df c9 45 9d 07 00 00 00 00 00 01 00 00 "
                                       "00 00 00"));

    // 16 pairs: the frame bytes of every level.
    Stereo tv2;
    for (int t = 0; t < 16; ++t)
        tv2.insert(tv2.end(), {static_cast<int16_t>(100 * t - 700),
                               static_cast<int16_t>(50 * ((37 * t) % 11) - 200)});
    const char* head = "2c 9f c2 16 00 6b bb ae a1 c2 1d ";
    const std::pair<int, std::string> frames[] = {
        {1000, "f6 44 a8 e4 17 dc d4 92 d9 43 68 89 2d 15 2f 4b fd de d2 35 da b8 03 7b d2 28 "
               "61 c5 3f 9e 60 ec 2c a6 0e 12 d3 00 00 00 00"},
        {2000, "f6 43 25 14 0f e2 39 62 d6 5a 25 ba c2 c8 ee 75 15 b8 9d d6 3a f9 31 9f 70 81 "
               "c1 4b ba 1a ab a6 b0 c6 6e ea 07 00 00 00 00"},
        {3000, "f6 43 25 14 0f e2 39 62 d6 5a 25 ba c2 c8 ee 75 15 b8 9d d6 3a f9 31 9f 70 81 "
               "c1 4b ba 1a ab a6 b0 c6 6e ea 07 00 00 00 00"},
        {4000, "ee d5 b9 1f bf f2 56 32 b1 40 c3 41 bd 8f 73 58 38 cb 43 de 53 ee 82 91 76 6c "
               "08 e8 ab 5a 2b 7a 83 3a 7c c8 64 00 00 00 00"}};
    for (const auto& [level, tail] : frames) {
        ASSERT_TRUE(encodeFile(path, tv2, level));
        EXPECT_EQ(logicalFrames(readFile(path)), hexBytes((head + tail).c_str())) << level;
    }

    // Four frames (plain, pseudo-stereo, silent, short): the whole file's size and digest.
    const int64_t n = 3 * kApeBlocksPerFrame + 1000;
    Stereo tv3;
    uint32_t state = 0x12345678;
    for (int64_t i = 0; i < n; ++i) {
        state = state * 1664525u + 1013904223u;
        const int noise = static_cast<int>(state >> 20) - 2048;
        const int p = static_cast<int>(i % 400);
        const int tri = (p < 200 ? p : 400 - p) * 150 - 15000;
        int s0 = tri + noise, s1 = (tri >> 1) - noise;
        if (i / kApeBlocksPerFrame == 1) s1 = s0;
        if (i / kApeBlocksPerFrame == 2) s0 = s1 = 0;
        tv3.insert(tv3.end(), {static_cast<int16_t>(s0), static_cast<int16_t>(s1)});
    }
    const std::tuple<int, size_t, const char*> files[] = {
        {1000, 1177296, "418331c5c83e7de5e80c7b3a6e0eb1d1"},
        {2000, 1176140, "5f0fa1d4140d91dd5fa2998eb9789767"},
        {3000, 1184172, "36647c637ec24e18749043f69890f821"},
        {4000, 1224852, "102ad512973fa4a06771ee99c1ea3f77"}};
    for (const auto& [level, size, digest] : files) {
        ASSERT_TRUE(encodeFile(path, tv3, level));
        const std::vector<uint8_t> bytes = readFile(path);
        EXPECT_EQ(bytes.size(), size) << level;
        EXPECT_EQ(md5Of(bytes), digest) << level;
    }
}

struct RoundTrip {
    const char* name;
    Stereo samples;
    int rate = 44100;
    int javaLevel = 0; // the Java decoder is slow: a sample of the cases, each at one level
};

Stereo fullScale(int frames, uint32_t seed, bool noise) {
    Stereo s(static_cast<size_t>(frames) * 2);
    for (size_t i = 0; i < s.size(); ++i) {
        seed = seed * 1664525u + 1013904223u;
        const bool high = noise ? (seed >> 31) != 0 : (i / 2 / (i % 2 ? 7 : 1)) % 2 != 0;
        s[i] = noise ? static_cast<int16_t>(seed >> 16) : high ? int16_t{32767} : int16_t{-32768};
    }
    return s;
}

// Frames of every kind in one file: stereo music, left = right, silence, one silent channel.
Stereo severalFrames() {
    const int frame = static_cast<int>(kApeBlocksPerFrame);
    Stereo s = music(frame, 44100, 5);
    Stereo mono = music(frame, 44100, 6);
    for (size_t i = 0; i < mono.size(); i += 2) mono[i + 1] = mono[i];
    append(s, mono);
    append(s, silence(frame));
    Stereo oneSided = music(7000, 44100, 7);
    for (size_t i = 0; i < oneSided.size(); i += 2) oneSided[i] = 0;
    append(s, oneSided);
    return s;
}

TEST(ApeEncoder, PlainAndVectorFiltersWriteTheSameFile) {
    TempDir dir;
    Stereo samples = music(30000, 44100, 11);
    append(samples, fullScale(3000, 4, true));
    for (int level : {2000, 3000, 4000}) {
        ASSERT_TRUE(encodeFile(dir.file("v.ape"), samples, level));
        apeUseVectorInstructions(false);
        ASSERT_TRUE(encodeFile(dir.file("p.ape"), samples, level));
        apeUseVectorInstructions(true);
        EXPECT_EQ(readFile(dir.file("v.ape")), readFile(dir.file("p.ape"))) << level;
    }
}

TEST(ApeEncoder, EveryLevelDecodesBitExactly) {
    Stereo frameOfMusic = music(static_cast<int>(kApeBlocksPerFrame), 44100, 9);
    mix(frameOfMusic, hiss(static_cast<int>(kApeBlocksPerFrame), 30.0));
    Stereo frameAndOne = frameOfMusic;
    append(frameAndOne, Stereo{-5, 7});
    const RoundTrip cases[] = {
        {"music", music(120000), 44100, 0},
        {"silence", silence(50000), 44100, 0},
        {"square", fullScale(40000, 1, false), 44100, 1000},
        {"noise", fullScale(40000, 2, true), 44100, 4000},
        {"one pair", Stereo{1234, -4321}, 44100, 0},
        {"one whole frame", frameOfMusic, 44100, 0},
        {"a frame and a pair", frameAndOne, 44100, 0},
        {"48 kHz", music(96000, 48000, 4), 48000, 3000},
        {"several frames", severalFrames(), 44100, 2000},
    };
    TempDir dir;
    const std::string path = dir.file("rt.ape");
    for (const RoundTrip& c : cases) {
        for (int level : kApeLevels) {
            SCOPED_TRACE(std::string(c.name) + " at " + std::to_string(level));
            ASSERT_TRUE(encodeFile(path, c.samples, level, c.rate));
            DecodedAudio ffmpeg = decodeApe(path);
            EXPECT_EQ(ffmpeg.error, "");
            EXPECT_EQ(ffmpeg.rate, c.rate);
            EXPECT_TRUE(ffmpeg.samples == c.samples);
            if (level == c.javaLevel) {
                DecodedAudio java = decodeApeWithJava(path, dir.file("java.wav"));
                EXPECT_EQ(java.error, "");
                EXPECT_EQ(java.rate, c.rate);
                EXPECT_TRUE(java.samples == c.samples);
            }
        }
    }
}

TEST(ApeEncoder, FrameChecksumsAreChecked) {
    TempDir dir;
    const std::string path = dir.file("crc.ape");
    const Stereo samples = severalFrames();
    ASSERT_TRUE(encodeFile(path, samples, 2000));
    std::vector<uint8_t> bytes = readFile(path);
    // Flip the lowest bit of frame 1's stored checksum: its audio still decodes, so only the
    // checksum comparison can notice.
    const size_t frame0 = readLe32(&bytes[40]);
    const size_t crcLow = readLe32(&bytes[44]) - frame0 + 3;
    bytes[frame0 + 4 * (crcLow / 4) + 3 - crcLow % 4] ^= 0x01;
    writeFile(path, bytes);
    DecodedAudio damaged = decodeApe(path);
    EXPECT_NE(damaged.error, "");
    EXPECT_EQ(damaged.samples.size(), 2 * static_cast<size_t>(kApeBlocksPerFrame));
}

TEST(ApeSink, WritesTheTagAndFailsShortAudio) {
    TempDir dir;
    ScriptedUi ui;
    const std::string path = dir.file("tagged.ape");
    const Stereo samples = music(30000);
    const std::vector<uint8_t> bytes = pcmBytes(samples);
    const TrackFormat format{44100, 0, static_cast<int64_t>(bytes.size())};
    auto run = [&](const TrackTags& tags, size_t feed) {
        writeFile(path, {}); // the renderer hands a sink an empty file
        ApeSink sink(path, 3, ui);
        if (!sink.begin(format, tags)) return false;
        sink.write(bytes.data(), feed);
        return sink.finish();
    };

    // Empty album left out; with number 0 the track-number text is the "Track" item.
    ASSERT_TRUE(run({"Song", "X", "", "Jazz", 0, "07"}, bytes.size()));
    DecodedAudio decoded = decodeApe(path);
    EXPECT_TRUE(decoded.samples == samples);
    const std::map<std::string, std::string> expected = {
        {"Title", "Song"}, {"Artist", "X"}, {"Genre", "Jazz"}, {"Track", "07"}};
    EXPECT_EQ(decoded.tags, expected);
    const std::vector<uint8_t> file = readFile(path);
    EXPECT_EQ(readLe32(&file[file.size() - 16]), 4u); // item count in the footer
    EXPECT_EQ(file[6] | file[7] << 8, 4000);

    // Only an artist: two items.
    ASSERT_TRUE(run({"", "X", "", "", 3, "07"}, bytes.size()));
    EXPECT_EQ(decodeApe(path).tags,
              (std::map<std::string, std::string>{{"Artist", "X"}, {"Track", "3"}}));

    // Audio short of what was promised fails the track (the renderer then drops the file).
    EXPECT_FALSE(run({}, bytes.size() / 2));
    EXPECT_EQ(ui.messages.back(), "Error finishing encoder.\n");

    // A track without samples cannot be an APE file.
    ApeSink empty(dir.file("empty.ape"), 1, ui);
    EXPECT_FALSE(empty.begin({44100, 0, 0}, {}));
    EXPECT_EQ(ui.messages.back(), "Error starting encoder.\n");
}

} // namespace
} // namespace tarnival::test
