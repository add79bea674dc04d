#include "document/ApeDecoder.h"
#include "document/Bytes.h"

#include "support/ApeEncoding.h"
#include "support/Signals.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

using namespace tarnival;
using namespace tarnival::test;

namespace {

uint32_t le32(const std::vector<uint8_t>& b, size_t at) {
    return readLe32(&b[at]);
}
void put32(std::vector<uint8_t>& b, uint32_t v) {
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

// An APE tag version 1.0 (items, then the footer) appended to the file.
void appendApeTag(const std::string& path,
                  const std::vector<std::pair<std::string, std::string>>& items) {
    std::vector<uint8_t> tag;
    for (const auto& [key, value] : items) {
        put32(tag, static_cast<uint32_t>(value.size()));
        put32(tag, 0);
        tag.insert(tag.end(), key.begin(), key.end());
        tag.push_back(0);
        tag.insert(tag.end(), value.begin(), value.end());
    }
    const uint32_t size = static_cast<uint32_t>(tag.size() + 32);
    const std::string id = "APETAGEX";
    tag.insert(tag.end(), id.begin(), id.end());
    put32(tag, 1000);
    put32(tag, size);
    put32(tag, static_cast<uint32_t>(items.size()));
    put32(tag, 0);
    tag.resize(tag.size() + 8, 0);
    auto bytes = readFile(path);
    bytes.insert(bytes.end(), tag.begin(), tag.end());
    writeFile(path, bytes);
}

Stereo material(int frames, int rate, uint32_t seed) {
    Stereo s = music(frames, rate, seed);
    mix(s, hiss(frames, 300.0, seed + 10));
    return s;
}

struct Encoded {
    Stereo pcm;
    std::string path;
    int rate = 0;
    int64_t blocksPerFrame = 0;
    int64_t frames() const { return static_cast<int64_t>(pcm.size() / 2); }
};

// Decodes count frames from the decoder's position and compares them with the source at first.
::testing::AssertionResult readMatches(ApeDecoder& d, const Encoded& e, int64_t first,
                                       int64_t count) {
    std::vector<int16_t> got(static_cast<size_t>(count) * 2, 0x5555);
    const int64_t n = d.read(got.data(), count);
    const int64_t expect = std::max<int64_t>(0, std::min(count, e.frames() - first));
    if (n != expect)
        return ::testing::AssertionFailure()
               << "read at " << first << " gave " << n << " frames, expected " << expect;
    for (int64_t i = 0; i < n * 2; ++i)
        if (got[static_cast<size_t>(i)] != e.pcm[static_cast<size_t>(first * 2 + i)])
            return ::testing::AssertionFailure()
                   << "sample " << i << " of a read at frame " << first << " differs";
    return ::testing::AssertionSuccess();
}

class ApeDecoderTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        dir = new TempDir;
        // Ten seconds at 44.1 kHz span several APE frames; the 48 kHz file is shorter.
        const std::pair<int, int> inputs[] = {{44100, 441000 + 123}, {48000, 48000 * 3 + 7}};
        for (auto [rate, frames] : inputs) {
            Encoded e;
            e.rate = rate;
            e.pcm = material(frames, rate, static_cast<uint32_t>(rate));
            const std::string wav = dir->file("in" + std::to_string(rate) + ".wav");
            e.path = dir->file("in" + std::to_string(rate) + ".ape");
            WavOptions options;
            options.rate = rate;
            writeWav(wav, e.pcm, options);
            setupError = encodeApe(wav, e.path);
            if (!setupError.empty()) return;
            auto bytes = readFile(e.path);
            e.blocksPerFrame = le32(bytes, le32(bytes, 8) + 4);
            files.push_back(std::move(e));
        }
    }
    static void TearDownTestSuite() {
        files.clear();
        delete dir;
        dir = nullptr;
    }
    void SetUp() override { ASSERT_TRUE(setupError.empty()) << setupError; }

    static TempDir* dir;
    static std::vector<Encoded> files;
    static std::string setupError;
};
TempDir* ApeDecoderTest::dir = nullptr;
std::vector<Encoded> ApeDecoderTest::files;
std::string ApeDecoderTest::setupError;

} // namespace

TEST_F(ApeDecoderTest, ReportsLayoutAndDecodesEverythingFromTheStart) {
    for (const Encoded& e : files) {
        ApeDecoder d;
        ASSERT_EQ(d.open(e.path), 0) << e.path;
        EXPECT_TRUE(d.isOpen());
        EXPECT_EQ(d.sampleRate(), e.rate);
        EXPECT_EQ(d.bitsPerSample(), 16);
        EXPECT_EQ(d.channels(), 2);
        EXPECT_EQ(d.dataBytes(), e.frames() * 4);
        EXPECT_TRUE(d.tags().empty());
        EXPECT_EQ(apeFileVersion(e.path), 3990);

        // Odd-sized reads that straddle the APE frame boundaries, up to a short final read.
        int64_t at = 0;
        while (at < e.frames()) {
            ASSERT_TRUE(readMatches(d, e, at, 40961));
            at = std::min<int64_t>(at + 40961, e.frames());
        }
        int16_t spare[8];
        EXPECT_EQ(d.read(spare, 2), 0);
        d.close();
        EXPECT_FALSE(d.isOpen());
        EXPECT_EQ(d.read(spare, 2), 0);
    }
}

TEST_F(ApeDecoderTest, SeeksToExactFrames) {
    const Encoded& e = files[0];
    ASSERT_GT(e.frames(), 4 * e.blocksPerFrame) << "the file should span several APE frames";
    const int64_t b = e.blocksPerFrame, last = e.frames();
    ApeDecoder d;
    ASSERT_EQ(d.open(e.path), 0);
    std::mt19937 rng(11);
    std::vector<int64_t> targets = {b + 5,      0,           b - 1,    b,        b + 1,
                                    3 * b - 10, 1,           last - 1, last - 5, 2 * b,
                                    2 * b - 3,  last - 1000, b + 7,    b + 9,    4 * b + 1};
    for (int i = 0; i < 10; ++i)
        targets.push_back(std::uniform_int_distribution<int64_t>(0, last - 1)(rng));
    for (int64_t t : targets) {
        ASSERT_TRUE(d.seek(t)) << t;
        ASSERT_TRUE(readMatches(d, e, t, 3000)) << "after seeking to " << t;
    }
    // A read that continues over two APE frame boundaries after a seek.
    ASSERT_TRUE(d.seek(b - 100));
    ASSERT_TRUE(readMatches(d, e, b - 100, b + 200));

    // Reading past the end delivers what is left, then nothing.
    ASSERT_TRUE(d.seek(last - 100));
    ASSERT_TRUE(readMatches(d, e, last - 100, 1000));
    int16_t spare[4];
    EXPECT_EQ(d.read(spare, 1), 0);
    EXPECT_TRUE(d.seek(last));
    EXPECT_EQ(d.read(spare, 1), 0);
    EXPECT_FALSE(d.seek(last + 1));
    EXPECT_FALSE(d.seek(-1));
    // Still usable after the refused seeks.
    ASSERT_TRUE(d.seek(17));
    ASSERT_TRUE(readMatches(d, e, 17, 100));

    const Encoded& f = files[1];
    ASSERT_EQ(d.open(f.path), 0);
    EXPECT_EQ(d.sampleRate(), 48000);
    for (int64_t t : {f.frames() - 3, f.blocksPerFrame - 2, int64_t{5}}) {
        ASSERT_TRUE(d.seek(t));
        ASSERT_TRUE(readMatches(d, f, t, 4000)) << "48 kHz, after seeking to " << t;
    }
}

TEST_F(ApeDecoderTest, ReadsTheApeTag) {
    const Encoded& e = files[1];
    const std::string tagged = dir->file("tagged.ape");
    std::filesystem::copy_file(e.path, tagged);
    appendApeTag(tagged, {{"Title", "Side One"},
                          {"Artist", "The Players"},
                          {"Album", "Live"},
                          {"Genre", "Jazz"},
                          {"Track", "7"}});
    ApeDecoder d;
    ASSERT_EQ(d.open(tagged), 0);
    const std::map<std::string, std::string> want = {{"Title", "Side One"},
                                                     {"Artist", "The Players"},
                                                     {"Album", "Live"},
                                                     {"Genre", "Jazz"},
                                                     {"Track", "7"}};
    EXPECT_EQ(d.tags(), want);
    // The tag ends the audio: the last frames still decode exactly.
    ASSERT_TRUE(d.seek(e.frames() - 500));
    EXPECT_TRUE(readMatches(d, e, e.frames() - 500, 600));
}

TEST_F(ApeDecoderTest, RefusesOrCutsShortDamagedFiles) {
    const Encoded& e = files[0];
    const auto good = readFile(e.path);
    // Either open() refuses, or decoding stops early; never a crash or a full-length read of
    // wrong data.
    auto check = [&](const std::string& name, const std::vector<uint8_t>& bytes, bool mustRefuse) {
        const std::string path = dir->file(name);
        writeFile(path, bytes);
        ApeDecoder d;
        const int rc = d.open(path);
        if (mustRefuse) {
            EXPECT_NE(rc, 0) << name;
        }
        if (rc != 0) {
            EXPECT_FALSE(d.isOpen()) << name;
            return rc;
        }
        std::vector<int16_t> pcm(static_cast<size_t>(e.frames()) * 2 + 64);
        const int64_t n = d.read(pcm.data(), e.frames() + 32);
        EXPECT_LT(n, e.frames()) << name << " decoded in full";
        EXPECT_GE(n, 0);
        return rc;
    };

    EXPECT_EQ(check("empty.ape", {}, true), ApeDecoder::kErrorNotApe);
    std::mt19937 rng(3);
    std::vector<uint8_t> noise(100000);
    for (auto& v : noise) v = static_cast<uint8_t>(rng());
    check("garbage.ape", noise, true);
    EXPECT_EQ(check("wave.ape", wavBytes(e.pcm), true), ApeDecoder::kErrorNotApe);
    for (size_t cut : {3, 20, 40, 60, 100, 1000}) {
        std::vector<uint8_t> part(good.begin(), good.begin() + static_cast<long>(cut));
        check("head" + std::to_string(cut) + ".ape", part, true);
    }
    std::vector<uint8_t> half(good.begin(), good.begin() + static_cast<long>(good.size() / 2));
    EXPECT_EQ(check("half.ape", half, true), ApeDecoder::kErrorTruncated);
    std::vector<uint8_t> cut(good.begin(), good.end() - 1000);
    check("cut.ape", cut, false);
    // A header promising far more frames than the file holds.
    auto greedy = good;
    const size_t header = le32(good, 8);
    for (int i = 0; i < 4; ++i) greedy[header + 12 + static_cast<size_t>(i)] = 0xFF;
    EXPECT_EQ(check("greedy.ape", greedy, true), ApeDecoder::kErrorNotApe);
    // Valid header, noise where the frames should be.
    auto scrambled = good;
    for (size_t i = good.size() / 3; i < good.size(); ++i)
        scrambled[i] = static_cast<uint8_t>(rng());
    check("scrambled.ape", scrambled, false);

    ApeDecoder d;
    EXPECT_EQ(d.open(dir->file("missing.ape")), ApeDecoder::kErrorRead);
    EXPECT_NE(d.open(dir->path().string()), 0);
    EXPECT_FALSE(d.isOpen());
    EXPECT_EQ(d.dataBytes(), 0);
    EXPECT_FALSE(d.seek(0));
}

TEST_F(ApeDecoderTest, DamagedFrameStopsDecodingAtThatFrame) {
    const Encoded& e = files[0];
    auto bytes = readFile(e.path);
    // Damage only the stored checksum of APE frame 2: only the CRC check can tell.
    damageFrameChecksum(bytes, 2);
    const std::string path = dir->file("damaged.ape");
    writeFile(path, bytes);

    ApeDecoder d;
    ASSERT_EQ(d.open(path), 0);
    const int64_t b = e.blocksPerFrame;
    std::vector<int16_t> pcm(static_cast<size_t>(e.frames()) * 2);
    // Frames 0 and 1 come out intact; nothing of the unverified frame 2 is handed out.
    EXPECT_EQ(d.read(pcm.data(), e.frames()), 2 * b);
    EXPECT_TRUE(std::equal(pcm.begin(), pcm.begin() + 4 * b, e.pcm.begin()));
    // Frames behind the damage are still reachable.
    ASSERT_TRUE(d.seek(3 * b + 10));
    EXPECT_TRUE(readMatches(d, e, 3 * b + 10, 1000));
}

TEST(ApeDecoder, DecodesFormatVersion3970) {
    TempDir dir;
    // A 16-block stereo file at level 2000 in the 3.97 layout (old 32-byte header, peak level,
    // seek count, one seek entry) with its frame given in logical byte order.
    std::vector<uint8_t> file = {0x4d, 0x41, 0x43, 0x20, 0x82, 0x0f, 0xd0, 0x07, 0x36, 0x00, 0x02,
                                 0x00, 0x44, 0xac, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
                                 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x10, 0x00, 0x00, 0x00, 0x20,
                                 0x03, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x2c, 0x00, 0x00, 0x00};
    const std::vector<uint8_t> frame = {
        0x2c, 0x9f, 0xc2, 0x16, 0x00, 0x6b, 0xbb, 0xae, 0xa1, 0xc2, 0x1d, 0xf6, 0x43,
        0x25, 0x14, 0x0f, 0xe2, 0x39, 0x62, 0xd6, 0x5a, 0x25, 0xba, 0xc2, 0xc8, 0xee,
        0x75, 0x15, 0xb8, 0x9d, 0xd6, 0x3a, 0xf9, 0x31, 0x9f, 0x70, 0x81, 0xc1, 0x4b,
        0xba, 0x1a, 0xab, 0xa6, 0xb0, 0xc6, 0x6e, 0xea, 0x07, 0x00, 0x00, 0x00, 0x00};
    // The file stores the frame data as little-endian 32-bit words.
    for (size_t i = 0; i < frame.size(); i += 4)
        for (size_t j = 0; j < 4; ++j) file.push_back(frame[i + 3 - j]);
    const std::string path = dir.file("tv.ape");
    writeFile(path, file);

    EXPECT_EQ(apeFileVersion(path), 3970);
    ApeDecoder d;
    ASSERT_EQ(d.open(path), 0);
    EXPECT_EQ(d.sampleRate(), 44100);
    EXPECT_EQ(d.channels(), 2);
    EXPECT_EQ(d.bitsPerSample(), 16);
    EXPECT_EQ(d.dataBytes(), 64);
    int16_t pcm[40] = {};
    ASSERT_EQ(d.read(pcm, 20), 16);
    for (int t = 0; t < 16; ++t) {
        EXPECT_EQ(pcm[2 * t], 100 * t - 700) << t;
        EXPECT_EQ(pcm[2 * t + 1], 50 * ((37 * t) % 11) - 200) << t;
    }
    ASSERT_TRUE(d.seek(9));
    ASSERT_EQ(d.read(pcm, 3), 3);
    EXPECT_EQ(pcm[0], 200);
    EXPECT_EQ(pcm[1], -50);
    EXPECT_EQ(pcm[4], 400);

    // apeFileVersion reads only the word at offset 4.
    std::vector<uint8_t> header(32, 0);
    header[0] = 'M', header[1] = 'A', header[2] = 'C', header[3] = ' ';
    header[4] = 0x82, header[5] = 0x0F;
    writeFile(dir.file("header.ape"), header);
    EXPECT_EQ(apeFileVersion(dir.file("header.ape")), 3970);
    writeFile(dir.file("short.ape"), {'M', 'A', 'C'});
    EXPECT_EQ(apeFileVersion(dir.file("short.ape")), -1);
    EXPECT_EQ(apeFileVersion(dir.file("none.ape")), -1);
    EXPECT_EQ(apeFileVersion(dir.path().string()), -1);
}
