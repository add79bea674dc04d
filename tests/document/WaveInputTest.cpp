#include "facade/Document.h"
#include "support/ScriptedUi.h"
#include "support/Signals.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <random>
#include <sys/stat.h>

namespace tarnival {
namespace {

using test::ScriptedUi;
using test::TempDir;
using test::WavOptions;

const std::string kFormatMessage =
    " Incorrect Wave File Format\nOnly 16 bit stereo/44.1kHz or 48kHz Sampling Rate supported. ";

struct Fixture {
    TempDir dir;
    MemoryProfile profile;
    ScriptedUi ui;
    std::unique_ptr<CMorvath3Doc> doc;
    Fixture() {
        profile.setInt("Settings", "Temp Mode", ids::kTempUser);
        profile.setString("Settings", "Temp Path", dir.path().string());
        doc = std::make_unique<CMorvath3Doc>(profile, ui);
    }
    bool open(const std::vector<uint8_t>& bytes, const std::string& name = "side1.wav") {
        std::string path = dir.file(name);
        test::writeFile(path, bytes);
        ui.messages.clear();
        return doc->OpenWave(path);
    }
};

test::Stereo ramp(int frames) {
    test::Stereo s(static_cast<size_t>(frames) * 2);
    for (size_t i = 0; i < s.size(); ++i) s[i] = static_cast<int16_t>(i * 7 - 30000);
    return s;
}

TEST(WaveInput, AcceptsTheWaveVariantsItShould) {
    Fixture f;
    auto audio = ramp(1000);

    ASSERT_TRUE(f.open(test::wavBytes(audio)));
    EXPECT_EQ(f.doc->store.layout.dataStart, 44);
    EXPECT_EQ(f.doc->store.layout.dataEnd, 44 + 4000);
    EXPECT_EQ(f.doc->store.layout.frameRemainder, 0);
    EXPECT_EQ(f.doc->store.layout.trailingLength, 0);
    EXPECT_EQ(f.doc->store.layout.firstCorrectable, 44 + 20480);
    EXPECT_EQ(f.doc->store.layout.lastCorrectable, 44 + 4000 - 20480);
    EXPECT_EQ(f.doc->store.layout.sampleRate, 44100);
    EXPECT_EQ(f.doc->title(), f.dir.file("side1.wav"));
    EXPECT_EQ(f.profile.getString("Settings", "PathName", "?"), f.dir.path().string());
    EXPECT_TRUE(f.ui.messages.empty());

    WavOptions lower;
    lower.lowerCaseIds = true;
    lower.rate = 48000;
    ASSERT_TRUE(f.open(test::wavBytes(audio, lower)));
    EXPECT_EQ(f.doc->store.layout.sampleRate, 48000);

    WavOptions cb;
    cb.fmtLength = 18;
    ASSERT_TRUE(f.open(test::wavBytes(audio, cb)));
    EXPECT_EQ(f.doc->store.layout.dataStart, 46);
    EXPECT_EQ(f.doc->store.layout.frameRemainder, 2);

    WavOptions list;
    list.chunksBeforeData = {{"LIST", std::string(26, 'x')}};
    list.trailing = {'i', 'd', '3', ' ', 4, 0, 0, 0, 1, 2, 3, 4};
    ASSERT_TRUE(f.open(test::wavBytes(audio, list)));
    EXPECT_EQ(f.doc->store.layout.dataStart, 44 + 8 + 26);
    EXPECT_EQ(f.doc->store.layout.trailingLength, 12);
    EXPECT_EQ(f.doc->store.layout.dataEnd, 44 + 34 + 4000);

    // An odd chunk followed by its pad byte, as RIFF writers do.
    WavOptions odd;
    odd.chunksBeforeData = {{"note", std::string("abc") + '\0'}};
    auto bytes = test::wavBytes(audio, odd);
    bytes[40] = 3; // the note chunk now claims 3 bytes; the 4th is its pad
    ASSERT_TRUE(f.open(bytes));
    EXPECT_EQ(f.doc->store.layout.dataStart, 44 + 12);
    EXPECT_EQ(f.doc->store.layout.dataEnd, 44 + 12 + 4000);

    // A truncated transfer: the data chunk claims more than the file holds.
    auto cut = test::wavBytes(audio);
    cut.resize(cut.size() - 1001);
    ASSERT_TRUE(f.open(cut));
    EXPECT_EQ(f.doc->store.layout.dataEnd, 44 + 2996);
    EXPECT_EQ(f.doc->store.layout.trailingLength, 3);

    // Words of the two rates may be mixed.
    auto mixed = test::wavBytes(audio);
    mixed[28] = 0x00, mixed[29] = 0xEE, mixed[30] = 0x02; // 192000 bytes/s with 44100 Hz
    ASSERT_TRUE(f.open(mixed));
}

TEST(WaveInput, RefusesOtherFormatsWithTheFormatMessage) {
    Fixture f;
    auto audio = ramp(1000);
    auto refuses = [&](const std::vector<uint8_t>& bytes, const std::string& name = "x.wav") {
        bool ok = f.open(bytes, name);
        EXPECT_FALSE(ok);
        EXPECT_FALSE(f.doc->isLoaded());
        EXPECT_EQ(f.doc->title(), "Wave File - Not Yet Loaded");
        return f.ui.messages.size() == 1 ? f.ui.messages[0] : std::string("<none>");
    };
    // The format message first, then what in particular is wrong.
    auto withRate = [&](int rate) {
        WavOptions o;
        o.rate = rate;
        return test::wavBytes(audio, o);
    };
    auto withChannels = [&](int n) {
        WavOptions o;
        o.channels = n;
        return test::wavBytes(audio, o);
    };
    auto withBits = [&](int n) {
        WavOptions o;
        o.bits = n;
        return test::wavBytes(audio, o);
    };
    auto withFmt = [&](int n) {
        WavOptions o;
        o.fmtLength = n;
        return test::wavBytes(audio, o);
    };
    auto patched = [&](size_t at, std::vector<uint8_t> bytes, size_t keep = SIZE_MAX) {
        auto b = test::wavBytes(audio);
        std::copy(bytes.begin(), bytes.end(), b.begin() + static_cast<long>(at));
        b.resize(std::min(keep, b.size()));
        return b;
    };
    const struct {
        std::vector<uint8_t> bytes;
        std::string reason;
    } cases[] = {
        {withRate(22050), "It holds 2 channels of 16-bit samples at 22050 Hz."},
        {withChannels(1), "It holds 1 channel of 16-bit samples at 44100 Hz."},
        {withBits(24), "It holds 2 channels of 24-bit samples at 44100 Hz."},
        {patched(20, {3, 0}), "It is not plain PCM audio (format tag 3)."},
        {withFmt(40), "Its format chunk is 40 bytes long; only 16 or 18 are understood."},
        {patched(36, {'x'}), "No data chunk was found."},
        {patched(0, {'X'}), "It is not a RIFF WAVE file."},
        {patched(12, {'L', 'I', 'S', 'T'}),
         "The format chunk is missing: the file starts with a \"LIST\" chunk."},
        {{}, "The file is empty."},
        {patched(0, {}, 7), "The file is too short to be a wave file."},
        {patched(0, {}, 30), "The file ends inside its header."},
        {patched(0, {}, 44), "The data chunk holds no audio."},
    };
    for (const auto& c : cases)
        EXPECT_EQ(refuses(c.bytes), kFormatMessage + "\n" + c.reason) << c.reason;
    // Capital extension: not taken as APE, so it fails the wave check.
    std::vector<uint8_t> ape(64, 0);
    std::memcpy(ape.data(), "MAC ", 4);
    ape[4] = 3970 & 0xFF, ape[5] = 3970 >> 8;
    EXPECT_EQ(refuses(ape, "song.APE"), kFormatMessage + "\nIt is not a RIFF WAVE file.");
    // An APE file of another version: the version message and nothing created.
    ape[4] = 3990 & 0xFF, ape[5] = 3990 >> 8;
    EXPECT_EQ(refuses(ape, "song.ape"), "Incorrect APE file format. Only v3.97 supported");
    EXPECT_FALSE(std::filesystem::exists(f.dir.file("song.tmp")));
    EXPECT_FALSE(std::filesystem::exists(f.dir.file("song~.wav")));
    // A file that cannot be opened says why.
    f.ui.messages.clear();
    EXPECT_FALSE(f.doc->OpenWave(f.dir.file("missing.wav")));
    ASSERT_EQ(f.ui.messages.size(), 1u);
    EXPECT_NE(f.ui.messages[0].find("missing.wav"), std::string::npos);
}

TEST(WaveInput, RefusalsLeaveTheOpenFileAloneAndInspectingCreatesNothing) {
    Fixture f;
    ASSERT_TRUE(f.open(test::wavBytes(ramp(30000))));
    const std::string working = f.doc->workingPath();
    EXPECT_FALSE(f.open(std::vector<uint8_t>(64, 'x'), "notes.wav"));
    EXPECT_TRUE(f.doc->isLoaded());
    EXPECT_EQ(f.doc->title(), f.dir.file("side1.wav"));
    EXPECT_TRUE(std::filesystem::exists(working));

    // A FIFO is refused at once instead of waiting for a writer.
    std::string fifo = f.dir.file("pipe.wav");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    f.ui.messages.clear();
    EXPECT_FALSE(f.doc->OpenWave(fifo));
    ASSERT_EQ(f.ui.messages.size(), 1u);
    EXPECT_NE(f.ui.messages[0].find("Not a regular file"), std::string::npos);

    f.doc->CloseWave();
    test::TempDir other;
    std::string path = other.file("side2.wav");
    WavOptions o;
    o.rate = 48000;
    test::writeWav(path, ramp(5000), o);
    auto inspection = f.doc->InspectWave(path);
    ASSERT_TRUE(inspection.has_value());
    EXPECT_EQ(inspection->layout.sampleRate, 48000);
    EXPECT_EQ(inspection->layout.dataEnd, 44 + 20000);
    EXPECT_FALSE(f.doc->isLoaded());
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(other.path()),
                            std::filesystem::directory_iterator()),
              1);
    EXPECT_FALSE(std::filesystem::exists(f.dir.file("side2~.wav")));
}

TEST(WaveInput, FileLengthLimit) {
    Fixture f;
    auto bytes = test::wavBytes(ramp(16));
    const int64_t limit = 2147418112;
    auto space = std::filesystem::space(f.dir.path());
    if (space.available < static_cast<uintmax_t>(limit) * 2 + 30000000)
        GTEST_SKIP() << "not enough free space for two 2 GB sparse files";
    std::string path = f.dir.file("long.wav");
    test::writeFile(path, bytes);
    std::filesystem::resize_file(path, limit);
    EXPECT_TRUE(f.doc->OpenWave(path)) << (f.ui.messages.empty() ? "" : f.ui.messages[0]);
    f.doc->CloseWave();
    std::filesystem::resize_file(path, limit + 1);
    f.ui.messages.clear();
    EXPECT_FALSE(f.doc->OpenWave(path));
    ASSERT_EQ(f.ui.messages.size(), 1u);
    EXPECT_EQ(f.ui.messages[0], "The file is too long. Files longer than 2GB cannot be processed");
    EXPECT_EQ(f.doc->title(), "Wave File - Not Yet Loaded");
}

TEST(WaveInput, WorkingFilePlacementAndClose) {
    namespace fs = std::filesystem;
    TempDir dir;
    MemoryProfile profile;
    profile.setInt("Settings", "Temp Mode", ids::kTempSameFolder);
    ScriptedUi ui;
    CMorvath3Doc doc(profile, ui);
    std::string src = dir.file("side1.wav");
    test::writeWav(src, ramp(20000));
    auto before = test::readFile(src);
    ASSERT_TRUE(doc.OpenWave(src));
    EXPECT_EQ(doc.workingPath(), dir.file("side1~.wav"));
    EXPECT_TRUE(fs::exists(doc.workingPath()));
    EXPECT_EQ(fs::file_size(doc.workingPath()), 0u);
    EXPECT_EQ(doc.overview.chunkLevels.size(), before.size() / 4096 + 1);
    EXPECT_EQ(doc.corrections.blockCounters().size(), before.size() / 262144 + 1);
    doc.CloseWave();
    EXPECT_FALSE(fs::exists(dir.file("side1~.wav")));
    EXPECT_EQ(doc.status(), 0);
    EXPECT_STREQ(doc.statusString(), "Wave Not Loaded");
    EXPECT_EQ(doc.title(), "Wave File - Not Yet Loaded");
    EXPECT_EQ(test::readFile(src), before) << "the source must never be written";
}

TEST(WaveInput, GainsAreExactAtUnityAndTruncateOtherwise) {
    WaveStore store;
    std::vector<int16_t> s = {1000, -1000, 32767, -32768, 3, -3, 7, 7};
    auto copy = s;
    store.applyGains(copy.data(), copy.size());
    EXPECT_EQ(copy, s);
    store.leftGain = 0.5f;
    store.rightGain = 0.9f;
    store.applyGains(copy.data(), copy.size());
    EXPECT_EQ(copy, (std::vector<int16_t>{500, -900, 16383, -29491, 1, -2, 3, 6}));
}

TEST(WaveInput, StatusTexts) {
    const char* expected[] = {"Wave Not Loaded",    "Wave Not Scanned",   "Scan Incomplete",
                              "Wave Not Corrected", "Processing Aborted", "Ready to Save",
                              "Auto-Saving"};
    for (int i = 0; i <= 6; ++i) EXPECT_STREQ(statusText(i), expected[i]);
}

// Truncated and bit-flipped headers must either open with a sane layout or be refused with a
// message; never crash or hang.
TEST(WaveInput, MalformedHeadersNeverCrash) {
    Fixture f;
    WavOptions o;
    o.chunksBeforeData = {{"LIST", std::string(10, 'a')}, {"fact", "1234"}};
    auto good = test::wavBytes(ramp(300), o);
    std::mt19937 rng(99);
    std::string path = f.dir.file("fuzz.wav");
    for (int round = 0; round < 3000; ++round) {
        auto bytes = good;
        if (round % 3 == 0) bytes.resize(rng() % 120);
        int flips = 1 + static_cast<int>(rng() % 4);
        for (int i = 0; i < flips && !bytes.empty(); ++i) {
            size_t at = rng() % std::min<size_t>(bytes.size(), 110);
            bytes[at] ^= static_cast<uint8_t>(1u << (rng() % 8));
        }
        test::writeFile(path, bytes);
        f.ui.messages.clear();
        bool ok = f.doc->OpenWave(path);
        if (ok) {
            const WaveLayout& l = f.doc->store.layout;
            ASSERT_GE(l.dataStart, 44 - 8);
            ASSERT_LE(l.dataStart, l.dataEnd);
            ASSERT_LE(l.dataEnd, l.fileLength);
            ASSERT_EQ((l.dataEnd - l.dataStart) % 4, 0);
            ASSERT_EQ(l.trailingLength, l.fileLength - l.dataEnd);
            ASSERT_TRUE(l.sampleRate == 44100 || l.sampleRate == 48000);
            f.doc->CloseWave();
        } else {
            ASSERT_EQ(f.ui.messages.size(), 1u);
        }
    }
}

} // namespace
} // namespace tarnival
