// The session file's encodings and items, read back the way they were written, and the files of
// older writers.
#include "session/SessionFile.h"
#include "document/FileError.h"
#include "session/SessionCheck.h"
#include "session/SessionCodec.h"
#include "support/Signals.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <limits>

namespace tarnival {
namespace {

namespace bits = session_bits;

// A session with something in every item, so that a misplaced field shows.
SessionData sampleSession() {
    SessionData d;
    d.inputPath = "/records/side one.wav";
    d.state = 5;
    d.corrections = {{1, 0, 0, 0, 0},          {0, 7, 100044, 12, 150}, {1, 0, 100444, -2, -1},
                     {3, 2, 200048, 4099, 40}, {1, 0, 300000, 1, -3},   {1, 0, 0, 0, 0}};
    d.chunkLevels = {1, 2, 3, 0xFFFFFFFFu};
    Track whole;
    whole.start = 44;
    whole.end = 16428;
    whole.album = "Album";
    Track one{10, 20, 30, 40, 100, 8000, "Title", "Artist", "", "Jazz"};
    d.tracks = {whole, one};
    d.viewWord = SessionData::makeViewWord(true, 7, 3);
    d.chunkEnvelope = {0x01020304u, 0xFFFEFDFCu, 0, 0x80808080u};
    d.appliedRumble = 1;
    d.appliedHiss = 2;
    d.appliedHum = 1;
    d.appliedTreble = -3;
    d.leftGain = 0.75f;
    d.rightGain = 1.25f;
    d.profileStart = 1000;
    d.profileEnd = 300000;
    d.levelSum = 123456789.5;
    d.balanceSum = -42.25;
    Splice s;
    s.cutStart = 5000;
    s.cutEnd = 6000;
    s.crossFade = 8;
    s.shift = 1008;
    s.fadeBytes = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    d.splices = {s};
    d.appliedGraphic = "Bright";
    for (size_t i = 0; i < d.graphicGains.size(); ++i) d.graphicGains[i] = 0.5f + i;
    d.selectedEntry = 3;
    d.repairMethod = 1702;
    return d;
}

void expectSame(const SessionData& a, const SessionData& b) {
    EXPECT_EQ(a.inputPath, b.inputPath);
    EXPECT_EQ(a.state, b.state);
    EXPECT_EQ(a.corrections, b.corrections);
    EXPECT_EQ(a.chunkLevels, b.chunkLevels);
    EXPECT_EQ(a.tracks, b.tracks);
    EXPECT_EQ(a.viewWord, b.viewWord);
    EXPECT_EQ(a.chunkEnvelope, b.chunkEnvelope);
    EXPECT_EQ(a.appliedRumble, b.appliedRumble);
    EXPECT_EQ(a.appliedHiss, b.appliedHiss);
    EXPECT_EQ(a.appliedHum, b.appliedHum);
    EXPECT_EQ(a.appliedTreble, b.appliedTreble);
    EXPECT_EQ(a.leftGain, b.leftGain);
    EXPECT_EQ(a.rightGain, b.rightGain);
    EXPECT_EQ(a.profileStart, b.profileStart);
    EXPECT_EQ(a.profileEnd, b.profileEnd);
    EXPECT_EQ(a.levelSum, b.levelSum);
    EXPECT_EQ(a.balanceSum, b.balanceSum);
    ASSERT_EQ(a.splices.size(), b.splices.size());
    for (size_t i = 0; i < a.splices.size(); ++i) {
        EXPECT_EQ(a.splices[i].cutStart, b.splices[i].cutStart);
        EXPECT_EQ(a.splices[i].cutEnd, b.splices[i].cutEnd);
        EXPECT_EQ(a.splices[i].crossFade, b.splices[i].crossFade);
        EXPECT_EQ(a.splices[i].shift, b.splices[i].shift);
        EXPECT_EQ(a.splices[i].fadeBytes, b.splices[i].fadeBytes);
    }
    EXPECT_EQ(a.appliedGraphic, b.appliedGraphic);
    EXPECT_EQ(a.graphicGains, b.graphicGains);
    EXPECT_EQ(a.selectedEntry, b.selectedEntry);
    EXPECT_EQ(a.repairMethod, b.repairMethod);
}

uint32_t u32At(const std::vector<uint8_t>& b, size_t at) {
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
}

TEST(SessionFile, EveryItemReadsBackAsWritten) {
    const SessionData d = sampleSession();
    const std::vector<uint8_t> bytes = encodeSession(d);
    // Item 1 then the format word: the state, every format bit and the repair method's bit.
    ASSERT_EQ(bytes[0], d.inputPath.size());
    EXPECT_EQ(u32At(bytes, 1 + d.inputPath.size()), 5u | 0x1F8u | bits::kRepairMethod);
    const SessionData back = decodeSession(bytes);
    EXPECT_TRUE(back.hasViewWord && back.hasFilters && back.hasSums && back.hasGraphic &&
                back.hasRepairMethod);
    expectSame(d, back);
    // The selected entry is the last of the original items; the method follows it.
    EXPECT_EQ(u32At(bytes, bytes.size() - 8), 3u);
    EXPECT_EQ(u32At(bytes, bytes.size() - 4), 1702u);
}

TEST(SessionFile, ItemsInTheirOrderAndEncodings) {
    // The sample session spelled out item by item, independently of the writer.
    const SessionData d = sampleSession();
    SessionWriter w;
    w.str(d.inputPath);
    w.u32(5 | 0x1F8 | 0x200);
    w.count(d.corrections.size());
    for (const Correction& c : d.corrections)
        for (int32_t v : {c.pass, c.tag, c.position, c.width, c.magnitude}) w.i32(v);
    w.count(4);
    for (uint32_t v : {1u, 2u, 3u, 0xFFFFFFFFu}) w.u32(v);
    w.i32(1); // one track besides entry 0
    for (const Track& t : d.tracks) {
        for (int32_t v : {t.start, t.end, t.preSilence, t.fadeIn, t.fadeOut, t.postSilence})
            w.i32(v);
        for (const std::string* text : {&t.title, &t.artist, &t.album, &t.genre}) w.str(*text);
    }
    w.u32(1 | 7 << 1 | 3 << 6);
    w.count(4);
    for (uint32_t v : d.chunkEnvelope) w.u32(v);
    for (int32_t v : {1, 2, 1, -3}) w.i32(v); // rumble, hiss, hum, treble
    w.f32(0.75f);
    w.f32(1.25f);
    w.i32(1000);
    w.i32(300000);
    w.f64(123456789.5);
    w.f64(-42.25);
    w.count(1);
    for (int32_t v : {5000, 6000, 8, 1008, 0}) w.i32(v);
    for (uint8_t b = 1; b <= 16; ++b) w.u8(b);
    w.str("Bright");
    for (float g : d.graphicGains) w.f32(g);
    w.i32(3);
    w.i32(1702);
    EXPECT_EQ(encodeSession(d), w.bytes());
}

TEST(SessionFile, ViewWordAndNoTracks) {
    SessionData d;
    d.viewWord = 0x8B;
    EXPECT_TRUE(d.gapless());
    EXPECT_EQ(d.verticalScale(), 5);
    EXPECT_EQ(d.horizontalScale(), 2);
    EXPECT_EQ(SessionData::makeViewWord(true, 5, 2), 0x8Bu);

    // No tracks detected: a count of 0, then entry 0 alone.
    d.corrections = {{}, {}};
    d.tracks = {Track{}};
    d.tracks[0].end = 99;
    const std::vector<uint8_t> bytes = encodeSession(d);
    const size_t trackCountAt = 1 + 4 + 2 + 2 * 20 + 2;
    EXPECT_EQ(u32At(bytes, trackCountAt), 0u);
    EXPECT_EQ(u32At(bytes, trackCountAt + 8), 99u); // entry 0's end
    EXPECT_EQ(decodeSession(bytes).tracks, d.tracks);
}

TEST(SessionFile, StringLengthsAtTheirBoundaries) {
    struct Case {
        size_t length;
        std::vector<uint8_t> prefix;
    };
    const Case cases[] = {
        {0, {0}},
        {254, {254}},
        {255, {0xFF, 0xFF, 0x00}},
        {300, {0xFF, 0x2C, 0x01}},
        {65533, {0xFF, 0xFD, 0xFF}},
        {65534, {0xFF, 0xFF, 0xFF, 0xFE, 0xFF, 0x00, 0x00}},
        {65535, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00}},
        {70000, {0xFF, 0xFF, 0xFF, 0x70, 0x11, 0x01, 0x00}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.length);
        std::string text(c.length, 'x');
        for (size_t i = 0; i < text.size(); ++i) text[i] = static_cast<char>('a' + i % 26);
        SessionWriter w;
        w.str(text);
        const std::vector<uint8_t>& b = w.bytes();
        ASSERT_EQ(b.size(), c.prefix.size() + c.length);
        EXPECT_EQ(std::vector<uint8_t>(b.begin(), b.begin() + c.prefix.size()), c.prefix);
        SessionReader r(b.data(), b.size());
        EXPECT_EQ(r.str("a string"), text);
        EXPECT_EQ(r.remaining(), 0u);
        // One byte short of the characters: damaged, not a shorter string.
        SessionReader shortened(b.data(), b.size() - 1);
        if (c.length) {
            EXPECT_THROW(shortened.str("a string"), SessionDamaged);
        }
    }
    // A title long enough for the 16-bit form survives a whole session.
    SessionData d = sampleSession();
    d.tracks[1].title = std::string(65534, 'T');
    d.tracks[0].genre = std::string(255, 'G');
    EXPECT_EQ(decodeSession(encodeSession(d)).tracks, d.tracks);
}

TEST(SessionFile, ArrayCountsAtTheirBoundaries) {
    struct Case {
        size_t count;
        std::vector<uint8_t> prefix;
    };
    const Case cases[] = {
        {65534, {0xFE, 0xFF}},
        {65535, {0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00}},
        {65536, {0xFF, 0xFF, 0x00, 0x00, 0x01, 0x00}},
        {70000, {0xFF, 0xFF, 0x70, 0x11, 0x01, 0x00}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.count);
        SessionData d = sampleSession();
        d.corrections.assign(c.count, Correction{});
        for (size_t i = 0; i < c.count; ++i)
            d.corrections[i] = {static_cast<int32_t>(i % 3), static_cast<int32_t>(i),
                                static_cast<int32_t>(44 + 4 * i), static_cast<int32_t>(i % 300),
                                static_cast<int32_t>(i % 97)};
        const std::vector<uint8_t> bytes = encodeSession(d);
        const size_t at = 1 + d.inputPath.size() + 4;
        EXPECT_EQ(std::vector<uint8_t>(bytes.begin() + at, bytes.begin() + at + c.prefix.size()),
                  c.prefix);
        EXPECT_EQ(decodeSession(bytes).corrections, d.corrections);
    }
}

TEST(SessionFile, OlderFormatsFollowTheirBits) {
    // No filters, sums, splices or graphic items; 12-byte corrections; 8-byte tracks.
    SessionWriter w;
    w.str("C:\\rec\\side1.wav");
    w.u32(3); // state 3, no format bits
    w.count(3);
    for (int32_t v : {0, 0, 0, 1000, 5, 30, 0, 0, 0}) w.i32(v);
    w.count(2);
    w.u32(11);
    w.u32(12);
    w.count(2);
    for (int32_t v : {44, 9000, 100, 5000}) w.i32(v);
    SessionData d = decodeSession(w.bytes());
    EXPECT_EQ(d.state, 3);
    ASSERT_EQ(d.corrections.size(), 3u);
    EXPECT_EQ(d.corrections[1], (Correction{0, 0, 1000, 5, 30})); // magnitude 30: pass 0
    EXPECT_EQ(d.chunkLevels, (std::vector<uint32_t>{11, 12}));
    ASSERT_EQ(d.tracks.size(), 2u);
    EXPECT_EQ(d.tracks[1].start, 100);
    EXPECT_EQ(d.tracks[1].end, 5000);
    EXPECT_FALSE(d.hasViewWord || d.hasFilters || d.hasSums || d.hasGraphic || d.hasRepairMethod);
    EXPECT_EQ(d.leftGain, 1.0f);

    // 16-byte corrections (with tag, 0x20) and 24-byte tracks with timings (0x10), sums present.
    SessionWriter v;
    v.str("x.wav");
    v.u32(0x20 | 0x10 | 1);
    v.count(3);
    for (int32_t x : {0, 0, 0, 0, 9, 2000, 7, 29, 0, 0, 0, 0}) v.i32(x);
    v.count(0);
    v.count(1);
    for (int32_t x : {1, 2, 3, 4, 44, 8000}) v.i32(x);
    v.f64(1.5);
    v.f64(-2.5);
    v.count(0);
    d = decodeSession(v.bytes());
    EXPECT_EQ(d.corrections[1], (Correction{1, 9, 2000, 7, 29})); // a new entry's pass
    EXPECT_EQ(d.tracks[0], (Track{1, 2, 3, 4, 44, 8000, "", "", "", ""}));
    EXPECT_TRUE(d.hasSums);
    EXPECT_EQ(d.balanceSum, -2.5);
}

TEST(SessionFile, DamageIsNamedAndNothingHugeIsAllocated) {
    const std::vector<uint8_t> whole = encodeSession(sampleSession());
    // Every truncation of a complete file is damage, never a shorter session.
    for (size_t n = 0; n < whole.size(); ++n) {
        try {
            decodeSession(whole.data(), n);
            ADD_FAILURE() << "a file cut to " << n << " bytes was read";
        } catch (const SessionDamaged& e) {
            EXPECT_EQ(std::string(e.what()).rfind("The session file is damaged: ", 0), 0u);
        }
    }
    // Counts that promise more than the file holds are refused before anything is made.
    struct Case {
        std::vector<uint8_t> bytes;
        const char* names;
    };
    SessionWriter huge;
    huge.str("a.wav");
    huge.u32(0x1F8);
    huge.u16(0xFFFF);
    huge.u32(0x7FFFFFFF);
    SessionWriter tracks;
    tracks.str("a.wav");
    tracks.u32(0x1F8);
    tracks.count(2);
    tracks.raw(std::vector<uint8_t>(40).data(), 40);
    tracks.count(0);
    tracks.i32(0x7FFFFFF0);
    SessionWriter wide;
    wide.u8(0xFF);
    wide.u16(0xFFFE);
    const Case cases[] = {{huge.bytes(), "the correction list"},
                          {tracks.bytes(), "the track count"},
                          {wide.bytes(), "the input path"}};
    for (const Case& c : cases) {
        try {
            decodeSession(c.bytes);
            ADD_FAILURE() << c.names;
        } catch (const SessionDamaged& e) {
            EXPECT_NE(std::string(e.what()).find(c.names), std::string::npos) << e.what();
        }
    }
}

TEST(SessionFile, CheckedAgainstTheRecording) {
    WaveLayout l;
    l.dataStart = 44;
    l.dataEnd = 44 + 4 * 100000;
    l.fileLength = l.dataEnd;
    SessionData good = sampleSession();
    good.chunkLevels.assign(static_cast<size_t>(l.fileLength / 4096 + 1), 0);
    good.chunkEnvelope.assign(good.chunkLevels.size(), 0);
    EXPECT_NO_THROW(checkSession(good, l));

    struct Case {
        const char* why;
        std::function<void(SessionData&)> spoil;
    };
    const Case cases[] = {
        {"correction", [](SessionData& d) { d.corrections[2].position = 500000; }},
        {"out of order", [](SessionData& d) { d.corrections[3].position = 50; }},
        {"chunk levels", [](SessionData& d) { d.chunkLevels.pop_back(); }},
        {"chunk envelopes", [](SessionData& d) { d.chunkEnvelope.push_back(0); }},
        {"track 1", [](SessionData& d) { d.tracks[1].end = -4; }},
        {"fade", [](SessionData& d) { d.tracks[1].fadeIn = 1 << 30; }},
        {"silence", [](SessionData& d) { d.tracks[1].postSilence = -1; }},
        {"cut 1", [](SessionData& d) { d.splices[0].cutEnd = 4000; }},
        {"cut 1", [](SessionData& d) { d.splices[0].crossFade = 1 << 20; }},
        {"gain", [](SessionData& d) { d.leftGain = std::numeric_limits<float>::quiet_NaN(); }},
        {"filter levels", [](SessionData& d) { d.appliedTreble = 9; }},
        {"noise profile", [](SessionData& d) { d.profileEnd = 500; }},
        {"graphic", [](SessionData& d) { d.graphicGains[9] = -1; }},
        {"processing state", [](SessionData& d) { d.state = 7; }},
    };
    for (const Case& c : cases) {
        SessionData d = good;
        c.spoil(d);
        try {
            checkSession(d, l);
            ADD_FAILURE() << c.why;
        } catch (const SessionDamaged& e) {
            EXPECT_NE(std::string(e.what()).find(c.why), std::string::npos) << e.what();
        }
    }
}

TEST(SessionFile, WrittenWholeBesideItsName) {
    test::TempDir dir;
    const std::string path = dir.file("side.ses");
    test::writeFile(path, {1, 2, 3});
    const SessionData d = sampleSession();
    writeSessionFile(path, d);
    expectSame(readSessionFile(path), d);
    EXPECT_EQ(test::readFile(path), encodeSession(d));
    // Nothing is left beside it.
    int files = 0;
    for (const auto& e : std::filesystem::directory_iterator(dir.path()))
        files += !e.is_directory();
    EXPECT_EQ(files, 1);
    EXPECT_THROW(readSessionFile(dir.file("missing.ses")), FileError);
    EXPECT_THROW(writeSessionFile(dir.file("no/such/folder/x.ses"), d), FileError);
}

} // namespace
} // namespace tarnival
