// Sessions that are damaged in every way a disk, a transfer or a hostile hand can damage them:
// the reader refuses each with its message, never crashes, hangs or allocates beyond what the
// file's size justifies.
#include "session/SessionCheck.h"
#include "session/SessionCodec.h"
#include "session/SessionFile.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <random>

namespace {
std::atomic<bool> watching{false};
std::atomic<size_t> largest{0};
} // namespace

// Every allocation of this test program goes through here, so the largest one made while a
// session is read can be compared with the session's size.
void* operator new(size_t n) {
    if (watching.load(std::memory_order_relaxed)) {
        size_t seen = largest.load(std::memory_order_relaxed);
        while (n > seen && !largest.compare_exchange_weak(seen, n)) {
        }
    }
    if (void* p = std::malloc(n ? n : 1)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, size_t) noexcept {
    std::free(p);
}

namespace tarnival {
namespace {

WaveLayout seedLayout() {
    WaveLayout l;
    l.dataStart = 44;
    l.dataEnd = 44 + 4 * 60000;
    l.fileLength = l.dataEnd;
    return l;
}

// Valid sessions for seedLayout() in the current format and in older ones.
std::vector<std::vector<uint8_t>> seeds() {
    const WaveLayout l = seedLayout();
    SessionData d;
    d.inputPath = "/music/side.wav";
    d.state = 5;
    d.corrections = {{1, 0, 0, 0, 0}};
    for (int i = 0; i < 12; ++i)
        d.corrections.push_back({i % 3, 0, 44 + 20480 + 4 * 3000 * i, i * 7 % 300, 40 + i});
    d.corrections.push_back({1, 0, 200044, -2, -1});
    d.corrections.push_back({1, 0, 0, 0, 0});
    d.chunkLevels.assign(static_cast<size_t>(l.fileLength / 4096 + 1), 77);
    d.chunkEnvelope.assign(d.chunkLevels.size(), 0x10F010F0u);
    Track whole;
    whole.start = 44;
    whole.end = l.dataEnd;
    Track a{0, 400, 0, 4000, 2396, 100000, "One", "Band", "LP", "Rock"};
    Track b{400, 0, 0, 0, 100000, 200000, std::string(260, 't'), "", "", ""};
    d.tracks = {whole, a, b};
    d.viewWord = 0x8B;
    d.appliedRumble = 1;
    d.appliedHiss = 2;
    d.appliedTreble = 1;
    d.leftGain = 0.9f;
    d.profileStart = 44;
    d.profileEnd = 44 + 262144 / 2;
    d.levelSum = 1e9;
    Splice s;
    s.cutStart = 150044;
    s.cutEnd = 160044;
    s.crossFade = 880;
    s.fadeBytes.assign(2 * 880, 0x5A);
    d.splices = {s};
    d.appliedGraphic = "Warm";
    d.graphicGains.fill(1.0f);
    d.selectedEntry = 2;
    d.repairMethod = 1702;

    std::vector<std::vector<uint8_t>> out{encodeSession(d)};
    SessionData bare = d;
    bare.tracks = {whole};
    bare.splices.clear();
    out.push_back(encodeSession(bare));

    // An old file: 16-byte corrections, 24-byte tracks, sums and splices, no filters.
    SessionWriter w;
    w.str("C:\\rec\\side.wav");
    w.u32(0x20 | 0x10 | 3);
    w.count(d.corrections.size());
    for (const Correction& c : d.corrections)
        for (int32_t v : {c.tag, c.position, c.width, c.magnitude}) w.i32(v);
    w.count(d.chunkLevels.size());
    for (uint32_t v : d.chunkLevels) w.u32(v);
    w.count(2);
    for (int32_t v : {0, 0, 0, 0, 44, l.dataEnd, 1, 2, 3, 4, 5000, 90000}) w.i32(v);
    w.f64(1.0);
    w.f64(2.0);
    w.count(1);
    for (int32_t v : {150044, 160044, 8, 0, 0}) w.i32(v);
    w.raw(std::vector<uint8_t>(16, 1).data(), 16);
    out.push_back(w.take());
    return out;
}

// Reads one candidate as the program does; false when it was refused as damaged.
bool readAndCheck(const std::vector<uint8_t>& bytes, const WaveLayout& l,
                  std::string* problem = nullptr) {
    try {
        SessionData d = decodeSession(bytes);
        checkSession(d, l);
        return true;
    } catch (const SessionDamaged& e) {
        EXPECT_EQ(std::string(e.what()).rfind("The session file is damaged: ", 0), 0u);
        if (problem) *problem = e.what();
        return false;
    }
}

TEST(SessionMutation, SixtyThousandDamagedSessionsAreRefusedCleanly) {
    const WaveLayout l = seedLayout();
    const std::vector<std::vector<uint8_t>> base = seeds();
    for (const auto& seed : base) {
        std::string problem;
        ASSERT_TRUE(readAndCheck(seed, l, &problem)) << problem;
    }

    std::mt19937 rng(20261209);
    auto below = [&](size_t n) { return n ? static_cast<size_t>(rng() % n) : 0; };
    const uint32_t interesting[] = {0,          1,          0xFE,       0xFF,       0xFFFE,
                                    0xFFFF,     0x10000,    0x7FFFFFFF, 0x80000000, 0xFFFFFFFF,
                                    0xFFFFFFF0, 0x00FFFFFF, 65535 * 20, 4096};
    int accepted = 0, refused = 0;
    const int kRounds = 60000;
    for (int round = 0; round < kRounds; ++round) {
        std::vector<uint8_t> b = base[below(base.size())];
        const int edits = 1 + static_cast<int>(below(4));
        for (int e = 0; e < edits && !b.empty(); ++e) {
            const size_t at = below(b.size());
            switch (below(7)) {
            case 0:
                b[at] ^= static_cast<uint8_t>(1u << below(8));
                break;
            case 1:
                b[at] = static_cast<uint8_t>(rng());
                break;
            case 2: {
                const uint32_t v = interesting[below(std::size(interesting))];
                for (size_t k = 0; k < 4 && at + k < b.size(); ++k)
                    b[at + k] = static_cast<uint8_t>(v >> (8 * k));
                break;
            }
            case 3:
                b.resize(at);
                break;
            case 4: {
                const size_t n = std::min(b.size() - at, below(64) + 1);
                b.erase(b.begin() + static_cast<long>(at), b.begin() + static_cast<long>(at + n));
                break;
            }
            case 5: {
                const size_t n = std::min(b.size() - at, below(64) + 1);
                std::vector<uint8_t> copy(b.begin() + static_cast<long>(at),
                                          b.begin() + static_cast<long>(at + n));
                b.insert(b.begin() + static_cast<long>(below(b.size())), copy.begin(), copy.end());
                break;
            }
            default:
                b[at] = 0xFF;
                if (at + 1 < b.size()) b[at + 1] = 0xFF;
                break;
            }
        }
        largest = 0;
        watching = true;
        const bool ok = readAndCheck(b, l);
        watching = false;
        // Nothing bigger than the bytes can justify: a few times their size, plus the fixed
        // tables every session has.
        ASSERT_LE(largest.load(), 8 * b.size() + 4096)
            << "round " << round << ": " << b.size() << " bytes made an allocation of "
            << largest.load();
        ok ? ++accepted : ++refused;
    }
    RecordProperty("accepted", accepted);
    RecordProperty("refused", refused);
    EXPECT_EQ(accepted + refused, kRounds);
    // Both outcomes occur: the mutations reach past the first item, and the checks refuse.
    EXPECT_GT(accepted, 100);
    EXPECT_GT(refused, kRounds / 2);
}

} // namespace
} // namespace tarnival
