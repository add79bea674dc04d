#include "output/ApeEncoder.h"
#include "document/File.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <stdexcept>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define TARNIVAL_APE_AVX2 1
#endif

namespace tarnival {

namespace {

constexpr int kVersion = 3970;
// No stored wave header (the decoder makes one), a peak level and a seek-entry count follow the
// header; 2 is the old checksum marker the 3.97 writers always set.
constexpr uint16_t kFormatFlags = 2 | 4 | 16 | 32;
constexpr int kHeaderBytes = 32 + 4 + 4; // old header, peak level, seek-entry count
constexpr uint32_t kFlagsFollow = 0x80000000u;
constexpr uint32_t kSilentFrame = 1 | 2 | 4;
constexpr uint32_t kPseudoStereoFrame = 4;

void putLe16(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}
void putLe32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
void appendLe32(std::vector<uint8_t>& out, uint32_t v) {
    uint8_t b[4];
    putLe32(b, v);
    out.insert(out.end(), b, b + 4);
}
void appendBe32(std::vector<uint8_t>& out, uint32_t v) {
    for (int i = 3; i >= 0; --i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

// ---- Frame checksum: CRC-32 (IEEE), eight bytes per step ---------------------------------------

struct CrcTables {
    uint32_t t[8][256];
    CrcTables() {
        for (uint32_t i = 0; i < 256; ++i) {
            uint32_t c = i;
            for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[0][i] = c;
        }
        for (uint32_t i = 0; i < 256; ++i)
            for (int s = 1; s < 8; ++s) t[s][i] = (t[s - 1][i] >> 8) ^ t[0][t[s - 1][i] & 0xFF];
    }
};

uint32_t crc32(const uint8_t* p, size_t n) {
    static const CrcTables tables;
    const auto& t = tables.t;
    uint32_t c = 0xFFFFFFFFu;
    for (; n >= 8; n -= 8, p += 8) {
        uint32_t lo = c ^ (p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24);
        uint32_t hi = p[4] | p[5] << 8 | p[6] << 16 | static_cast<uint32_t>(p[7]) << 24;
        c = t[7][lo & 0xFF] ^ t[6][(lo >> 8) & 0xFF] ^ t[5][(lo >> 16) & 0xFF] ^ t[4][lo >> 24] ^
            t[3][hi & 0xFF] ^ t[2][(hi >> 8) & 0xFF] ^ t[1][(hi >> 16) & 0xFF] ^ t[0][hi >> 24];
    }
    for (; n > 0; --n, ++p) c = t[0][(c ^ *p) & 0xFF] ^ (c >> 8);
    return c ^ 0xFFFFFFFFu;
}

// ---- Range coder --------------------------------------------------------------------------------

constexpr uint32_t kTop = 1u << 31;
constexpr uint32_t kBottom = 1u << 23;

class RangeCoder {
  public:
    // Appends to out from its current size on.
    explicit RangeCoder(std::vector<uint8_t>& out) : out_(out), size_(out.size()) {}

    void symbol(uint32_t cumulative, uint32_t width) {
        normalise();
        const uint32_t r = range_ >> 16;
        low_ += r * cumulative;
        range_ = r * width;
    }
    // n raw bits, 0 <= n <= 16.
    void bits(uint32_t value, int n) {
        normalise();
        range_ >>= n;
        low_ += range_ * value;
    }
    void flush() {
        normalise();
        const uint32_t t = (low_ >> 23) + 1;
        emit(t > 255);
        reserve(4);
        out_[size_++] = static_cast<uint8_t>(t);
        for (int i = 0; i < 3; ++i) out_[size_++] = 0;
        out_.resize(size_);
    }

  private:
    void normalise() {
        if (range_ <= kBottom) [[unlikely]]
            shift();
    }
    void shift() {
        do {
            if (low_ < 0x7F800000u) {
                emit(false);
                buffer_ = low_ >> 23;
            } else if (low_ >= kTop) {
                emit(true);
                buffer_ = (low_ >> 23) & 0xFF;
            } else {
                ++help_;
            }
            low_ = (low_ << 8) & (kTop - 1);
            range_ <<= 8;
        } while (range_ <= kBottom);
    }
    // The held byte (plus one on a carry), then the pending bytes: 0xFF, or 0x00 after a carry.
    void emit(bool carry) {
        reserve(size_t{help_} + 1);
        out_[size_++] = static_cast<uint8_t>(buffer_ + (carry ? 1 : 0));
        const uint8_t pending = carry ? 0x00 : 0xFF;
        for (; help_ > 0; --help_) out_[size_++] = pending;
    }
    void reserve(size_t n) {
        if (size_ + n > out_.size()) out_.resize(std::max(2 * out_.size(), size_ + n + 4096));
    }

    std::vector<uint8_t>& out_;
    size_t size_;
    uint32_t low_ = 0;
    uint32_t range_ = kTop;
    uint32_t buffer_ = 0; // held back; the first one is the dummy byte decoders skip
    uint32_t help_ = 0;   // pending 0xFF bytes
};

// Cumulative counts and widths of the overflow symbols on a 65536 scale; 21..63 have width 1.
constexpr uint32_t kSymbolCount = 64;
constexpr uint32_t kEscape = 63;
constexpr uint16_t kCumulative[22] = {0,     14824, 28224, 39348, 47855, 53994, 58171, 60926,
                                      62682, 63786, 64463, 64878, 65126, 65276, 65365, 65419,
                                      65450, 65469, 65480, 65487, 65491, 65493};

struct SymbolTable {
    uint32_t cumulative[kSymbolCount];
    uint32_t width[kSymbolCount];
    SymbolTable() {
        for (uint32_t s = 0; s < kSymbolCount; ++s) {
            cumulative[s] = s < 21 ? kCumulative[s] : 65472 + s;
            width[s] = s < 21 ? kCumulative[s + 1] - kCumulative[s] : 1;
        }
    }
};
const SymbolTable kSymbols;

// Adaptive coding of one channel's residuals: an overflow symbol plus k-1 raw bits, k tracking
// the running mean.
struct ValueCoder {
    uint32_t k = 10;
    uint32_t ksum = 16384;

    static void raw(RangeCoder& rc, uint32_t value, uint32_t n) {
        if (n <= 16) {
            rc.bits(value, static_cast<int>(n));
        } else {
            rc.bits(value & 0xFFFF, 16);
            rc.bits(value >> 16, static_cast<int>(n - 16));
        }
    }

    void encode(RangeCoder& rc, int32_t v) {
        const uint32_t x =
            v > 0 ? 2 * static_cast<uint32_t>(v) - 1 : 0u - 2 * static_cast<uint32_t>(v);
        const uint32_t q = k ? k - 1 : 0;
        ksum += (x + 1) / 2 - (ksum + 16) / 32;
        if (k > 0 && ksum < (1u << (k + 4)))
            --k;
        else if (ksum >= (1u << (k + 5)))
            ++k;

        const uint32_t s = x >> q;
        if (s < kEscape) {
            rc.symbol(kSymbols.cumulative[s], kSymbols.width[s]);
            raw(rc, x & ((1u << q) - 1), q);
        } else {
            rc.symbol(kSymbols.cumulative[kEscape], kSymbols.width[kEscape]);
            uint32_t p = 0;
            while (p < 32 && (x >> p) != 0) ++p;
            rc.bits(p, 5);
            raw(rc, x, p);
        }
    }
};

// ---- Prediction -------------------------------------------------------------------------------

int32_t wrapAdd(int32_t a, int32_t b) {
    return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
}
int32_t wrapMul(int32_t a, int32_t b) {
    return static_cast<int32_t>(static_cast<uint32_t>(a) * static_cast<uint32_t>(b));
}
int32_t sgn(int32_t v) {
    return (v > 0) - (v < 0);
}

// Stage 1 (a fixed first-order filter on the value and on the cross input) and stage 2 (the
// sign-adaptive predictor from four past values and five cross-input terms). The signs of the
// history terms are kept beside them, as they drive the adaptation.
class Predictor {
  public:
    int32_t compress(int32_t x, int32_t u) {
        const int32_t a = wrapAdd(x, -((31 * xPrev_) >> 5));
        const int32_t b = wrapAdd(u, -((31 * uPrev_) >> 5));
        xPrev_ = x;
        uPrev_ = u;
        const int32_t db0 = wrapAdd(b, -b_[0]);
        const int32_t sb = sgn(b), sdb0 = sgn(db0);
        int32_t pa = wrapMul(alpha_[0], a_[0]);
        pa = wrapAdd(pa, wrapMul(alpha_[1], a_[1]));
        pa = wrapAdd(pa, wrapMul(alpha_[2], a_[2]));
        pa = wrapAdd(pa, wrapMul(alpha_[3], a_[3]));
        int32_t pb = wrapMul(beta_[0], b);
        pb = wrapAdd(pb, wrapMul(beta_[1], db0));
        pb = wrapAdd(pb, wrapMul(beta_[2], b_[1]));
        pb = wrapAdd(pb, wrapMul(beta_[3], b_[2]));
        pb = wrapAdd(pb, wrapMul(beta_[4], b_[3]));
        const int32_t e = wrapAdd(a, -(wrapAdd(pa, pb >> 1) >> 10));
        const int32_t s = sgn(e);
        for (int i = 0; i < 4; ++i) alpha_[i] += s * sa_[i];
        beta_[0] += s * sb;
        beta_[1] += s * sdb0;
        for (int i = 2; i < 5; ++i) beta_[i] += s * sb_[i - 1];

        // The A history becomes (a_t, a_t - a_t-1, then the older differences), the B history
        // (b_t, then the differences down to the third oldest).
        const int32_t da0 = wrapAdd(a, -a_[0]);
        a_[3] = a_[2], a_[2] = a_[1], a_[1] = da0, a_[0] = a;
        sa_[3] = sa_[2], sa_[2] = sa_[1], sa_[1] = sgn(da0), sa_[0] = sgn(a);
        b_[3] = b_[2], b_[2] = b_[1], b_[1] = db0, b_[0] = b;
        sb_[3] = sb_[2], sb_[2] = sb_[1], sb_[1] = sdb0, sb_[0] = sb;
        return e;
    }

  private:
    int32_t xPrev_ = 0, uPrev_ = 0;
    int32_t a_[4] = {};  // a_t-1, then the last three differences of a
    int32_t sa_[4] = {}; // their signs
    int32_t b_[4] = {};  // b_t-1, then the last three differences of b
    int32_t sb_[4] = {}; // their signs (sb_[0] unused: b_t-1 is not a term)
    int32_t alpha_[4] = {360, 317, -109, 98};
    int32_t beta_[5] = {0, 0, 0, 0, 0};
};

// ---- Stage 3: sign-sign adaptive FIR ("neural net") filters ------------------------------------
//
// A filter of order N predicts each value from the N values before it (saturated to 16 bits),
// with 16-bit coefficients that start at zero in every frame and move after each value by the
// sign of the residual times the sign of each window entry, weighted 4, 2 or 1 by its age (1-4,
// 5-8, older). The decoder only learns the values as it goes; the encoder has them all, so the
// window of every step is simply a run of the saturated input and nothing but the coefficients
// carries from step to step.

int16_t sat16(int32_t v) {
    return static_cast<int16_t>(std::clamp<int32_t>(v, -32768, 32767));
}

struct FilterShape {
    int order;
    int shift;
};

// The filters of a level, in the order the encoder applies them.
std::vector<FilterShape> filtersFor(int level) {
    switch (level) {
    case 2000:
        return {{16, 11}};
    case 3000:
        return {{64, 11}};
    case 4000:
        return {{256, 13}, {32, 10}};
    default:
        return {};
    }
}

int16_t ageWeight(int order, int index) {
    const int age = order - index; // index 0 is the oldest entry of the window
    return static_cast<int16_t>(age <= 4 ? 4 : age <= 8 ? 2 : 1);
}

// out = v - round(dot / 2^shift): the dot product wraps at 32 bits like the decoders' vector
// code; the rounding add is done wider.
int32_t residual(int32_t v, int32_t dot, int shift) {
    return wrapAdd(v, -static_cast<int32_t>((int64_t{dot} + (int64_t{1} << (shift - 1))) >> shift));
}

// window[t .. t + order) is the window of values[t]; values become the residuals.
void filterPlain(const int16_t* window, int32_t* values, size_t n, int order, int shift) {
    std::vector<int16_t> c(static_cast<size_t>(order), 0);
    std::vector<int16_t> weight(static_cast<size_t>(order));
    for (int j = 0; j < order; ++j) weight[static_cast<size_t>(j)] = ageWeight(order, j);
    for (size_t t = 0; t < n; ++t) {
        const int16_t* w = window + t;
        uint32_t dot = 0;
        for (int j = 0; j < order; ++j) dot += static_cast<uint32_t>(int32_t{c[j]} * w[j]);
        const int32_t out = residual(values[t], static_cast<int32_t>(dot), shift);
        values[t] = out;
        const int s = sgn(out);
        if (s != 0)
            for (int j = 0; j < order; ++j)
                c[j] = static_cast<int16_t>(c[j] + s * sgn(w[j]) * weight[j]);
    }
}

#if TARNIVAL_APE_AVX2
template <int N>
__attribute__((target("avx2"))) void filterAvx2(const int16_t* window, int32_t* values, size_t n,
                                                int shift) {
    constexpr int K = N / 16;
    __m256i c[K], weight[K];
    for (int k = 0; k < K; ++k) {
        alignas(32) int16_t lanes[16];
        for (int i = 0; i < 16; ++i) lanes[i] = ageWeight(N, 16 * k + i);
        weight[k] = _mm256_load_si256(reinterpret_cast<const __m256i*>(lanes));
        c[k] = _mm256_setzero_si256();
    }
    for (size_t t = 0; t < n; ++t) {
        const int16_t* w = window + t;
        __m256i acc = _mm256_setzero_si256();
        for (int k = 0; k < K; ++k)
            acc = _mm256_add_epi32(
                acc, _mm256_madd_epi16(
                         c[k], _mm256_loadu_si256(reinterpret_cast<const __m256i*>(w + 16 * k))));
        __m128i sum = _mm_add_epi32(_mm256_castsi256_si128(acc), _mm256_extracti128_si256(acc, 1));
        sum = _mm_add_epi32(sum, _mm_shuffle_epi32(sum, 0x4E));
        sum = _mm_add_epi32(sum, _mm_shuffle_epi32(sum, 0xB1));
        const int32_t out = residual(values[t], _mm_cvtsi128_si32(sum), shift);
        values[t] = out;
        const __m256i s = _mm256_set1_epi16(static_cast<int16_t>(sgn(out)));
        for (int k = 0; k < K; ++k) {
            const __m256i wk = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(w + 16 * k));
            c[k] = _mm256_add_epi16(c[k], _mm256_sign_epi16(_mm256_sign_epi16(weight[k], wk), s));
        }
    }
}
#endif

std::atomic<bool> vectorsAllowed{true};

void filter(const FilterShape& f, std::vector<int16_t>& window, int32_t* values, size_t n) {
    const auto order = static_cast<size_t>(f.order);
    window.assign(order + n, 0);
    for (size_t t = 0; t < n; ++t) window[order + t] = sat16(values[t]);
#if TARNIVAL_APE_AVX2
    static const bool avx2 = __builtin_cpu_supports("avx2");
    if (avx2 && vectorsAllowed) {
        switch (f.order) {
        case 16:
            return filterAvx2<16>(window.data(), values, n, f.shift);
        case 32:
            return filterAvx2<32>(window.data(), values, n, f.shift);
        case 64:
            return filterAvx2<64>(window.data(), values, n, f.shift);
        case 256:
            return filterAvx2<256>(window.data(), values, n, f.shift);
        default:
            break;
        }
    }
#endif
    filterPlain(window.data(), values, n, f.order, f.shift);
}

// The chains of one frame, which start afresh in every frame: a predictor, then the level's
// filters, for each channel.
class FrameCompressor {
  public:
    explicit FrameCompressor(int level) : filters_(filtersFor(level)) {}

    // Left = right: X alone, without a cross input.
    void mono(const int32_t* x, int32_t* residualsX, size_t n) {
        Predictor p;
        for (size_t t = 0; t < n; ++t) residualsX[t] = p.compress(x[t], 0);
        applyFilters(residualsX, n);
    }
    // Y leans on the previous X, X on the current Y. The two predictors run side by side, as
    // their dependency chains are independent.
    void stereo(const int32_t* x, const int32_t* y, int32_t* residualsX, int32_t* residualsY,
                size_t n) {
        Predictor px, py;
        int32_t previousX = 0;
        for (size_t t = 0; t < n; ++t) {
            residualsY[t] = py.compress(y[t], previousX);
            residualsX[t] = px.compress(x[t], y[t]);
            previousX = x[t];
        }
        applyFilters(residualsY, n);
        applyFilters(residualsX, n);
    }

  private:
    void applyFilters(int32_t* values, size_t n) {
        for (const FilterShape& f : filters_) filter(f, window_, values, n);
    }
    std::vector<FilterShape> filters_;
    std::vector<int16_t> window_;
};

} // namespace

void apeUseVectorInstructions(bool allowed) {
    vectorsAllowed = allowed;
}

int apeLevelForIndex(int index) {
    return index >= 0 && index < static_cast<int>(kApeLevels.size())
               ? kApeLevels[static_cast<size_t>(index)]
               : kApeLevels[2];
}

std::vector<uint8_t> buildApeTag(const std::vector<std::pair<std::string, std::string>>& items) {
    std::vector<uint8_t> tag;
    for (const auto& [key, value] : items) {
        const bool keyOk =
            key.size() >= 2 && key.size() <= 255 &&
            std::all_of(key.begin(), key.end(), [](char ch) { return ch >= 0x20 && ch <= 0x7E; });
        if (!keyOk) throw std::invalid_argument("APE tag key \"" + key + "\" is not allowed");
        appendLe32(tag, static_cast<uint32_t>(value.size()));
        appendLe32(tag, 0);
        tag.insert(tag.end(), key.begin(), key.end());
        tag.push_back(0);
        tag.insert(tag.end(), value.begin(), value.end());
    }
    const auto itemBytes = static_cast<uint32_t>(tag.size());
    const char* preamble = "APETAGEX";
    tag.insert(tag.end(), preamble, preamble + 8);
    appendLe32(tag, 1000);
    appendLe32(tag, itemBytes + 32);
    appendLe32(tag, static_cast<uint32_t>(items.size()));
    appendLe32(tag, 0);
    tag.insert(tag.end(), 8, 0);
    return tag;
}

struct ApeEncoder::Impl {
    File& file;
    int sampleRate;
    int level;
    int64_t totalBlocks;
    int64_t frames;
    int64_t firstFrame; // file offset of frame 0

    std::vector<uint8_t> pcm; // the frame being filled, as received
    size_t pcmBytes = 0;
    int64_t blocksDone = 0; // blocks of the frames already written
    bool overflow = false;  // more audio arrived than promised
    uint32_t peak = 0;

    std::vector<uint32_t> seekTable;
    int64_t logicalBytes = 0; // frame data so far, before the word swap
    int64_t writePos = 0;     // where the next whole word goes
    uint8_t carry[4] = {};    // logical bytes not yet filling a whole word
    size_t carried = 0;

    std::vector<int32_t> x, y, resX, resY;
    FrameCompressor compressor;
    std::vector<uint8_t> frameBytes, stored;

    Impl(File& f, int rate, int lvl, int64_t blocks)
        : file(f), sampleRate(rate), level(lvl), totalBlocks(blocks),
          frames((blocks + kApeBlocksPerFrame - 1) / kApeBlocksPerFrame),
          firstFrame(kHeaderBytes + 4 * frames), pcm(4 * kApeBlocksPerFrame), compressor(lvl) {
        seekTable.reserve(static_cast<size_t>(frames));
        writePos = firstFrame;
    }

    int64_t frameBlocks(int64_t index) const {
        return index + 1 < frames ? kApeBlocksPerFrame
                                  : totalBlocks - (frames - 1) * kApeBlocksPerFrame;
    }

    std::vector<uint8_t> header() const {
        std::vector<uint8_t> h(static_cast<size_t>(firstFrame), 0);
        std::memcpy(h.data(), "MAC ", 4);
        putLe16(&h[4], kVersion);
        putLe16(&h[6], static_cast<uint32_t>(level));
        putLe16(&h[8], kFormatFlags);
        putLe16(&h[10], 2);
        putLe32(&h[12], static_cast<uint32_t>(sampleRate));
        putLe32(&h[16], 0); // no stored wave header
        putLe32(&h[20], 0); // no data after the audio
        putLe32(&h[24], static_cast<uint32_t>(frames));
        putLe32(&h[28], static_cast<uint32_t>(frameBlocks(frames - 1)));
        putLe32(&h[32], peak);
        putLe32(&h[36], static_cast<uint32_t>(frames));
        for (size_t i = 0; i < seekTable.size(); ++i) putLe32(&h[40 + 4 * i], seekTable[i]);
        return h;
    }

    // Appends logical frame bytes to the file as 32-bit little-endian words counted from the
    // start of frame 0.
    void store(const uint8_t* bytes, size_t n) {
        // Whole words only; up to three bytes wait in carry for the next call.
        stored.resize((carried + n) / 4 * 4);
        size_t i = 0, out = 0;
        if (carried > 0) {
            while (carried < 4 && i < n) carry[carried++] = bytes[i++];
            if (carried < 4) return;
            for (size_t k = 0; k < 4; ++k) stored[k] = carry[3 - k];
            out = 4;
        }
        for (; i + 4 <= n; i += 4, out += 4)
            for (size_t k = 0; k < 4; ++k) stored[out + k] = bytes[i + 3 - k];
        carried = n - i;
        std::memcpy(carry, bytes + i, carried & 3);
        if (out > 0) {
            file.writeAt(writePos, stored.data(), out);
            writePos += static_cast<int64_t>(out);
        }
    }

    void encodeFrame(size_t blocks) {
        const uint8_t* b = pcm.data();
        const uint32_t crc = crc32(b, 4 * blocks);
        x.resize(blocks);
        y.resize(blocks);
        int32_t any = 0, sides = 0, low = 0, high = 0;
        for (size_t t = 0; t < blocks; ++t) {
            const int32_t s0 = static_cast<int16_t>(b[4 * t] | b[4 * t + 1] << 8);
            const int32_t s1 = static_cast<int16_t>(b[4 * t + 2] | b[4 * t + 3] << 8);
            const int32_t d = s1 - s0;
            y[t] = d;
            x[t] = s0 + d / 2; // truncation toward zero, as the decoder undoes it
            any |= s0 | s1;
            sides |= d;
            low = std::min(low, std::min(s0, s1));
            high = std::max(high, std::max(s0, s1));
        }
        peak = std::max(peak, static_cast<uint32_t>(std::max(-low, high)));
        const uint32_t special = any == 0 ? kSilentFrame : sides == 0 ? kPseudoStereoFrame : 0;

        frameBytes.clear();
        appendBe32(frameBytes, (crc >> 1) | (special ? kFlagsFollow : 0));
        if (special) appendBe32(frameBytes, special);
        RangeCoder rc(frameBytes);
        resX.resize(blocks);
        resY.resize(blocks);
        if (special == kPseudoStereoFrame) {
            compressor.mono(x.data(), resX.data(), blocks);
            ValueCoder cx;
            for (size_t t = 0; t < blocks; ++t) cx.encode(rc, resX[t]);
        } else if (special == 0) {
            compressor.stereo(x.data(), y.data(), resX.data(), resY.data(), blocks);
            ValueCoder cy, cx;
            for (size_t t = 0; t < blocks; ++t) {
                cy.encode(rc, resY[t]);
                cx.encode(rc, resX[t]);
            }
        }
        rc.flush();

        seekTable.push_back(static_cast<uint32_t>(firstFrame + logicalBytes));
        if (firstFrame + logicalBytes > std::numeric_limits<uint32_t>::max()) overflow = true;
        logicalBytes += static_cast<int64_t>(frameBytes.size());
        store(frameBytes.data(), frameBytes.size());
        blocksDone += static_cast<int64_t>(blocks);
    }
};

ApeEncoder::ApeEncoder(File& file, int sampleRate, int level, int64_t totalBlocks) {
    if (std::find(kApeLevels.begin(), kApeLevels.end(), level) == kApeLevels.end())
        throw std::invalid_argument("APE compression level " + std::to_string(level));
    if (totalBlocks < 1 || totalBlocks > kApeMaxBlocks)
        throw std::invalid_argument("APE length of " + std::to_string(totalBlocks) + " blocks");
    if (sampleRate <= 0) throw std::invalid_argument("APE sampling rate");
    impl_ = std::make_unique<Impl>(file, sampleRate, level, totalBlocks);
    const std::vector<uint8_t> h = impl_->header();
    file.writeAt(0, h.data(), h.size());
}

ApeEncoder::~ApeEncoder() = default;

int64_t ApeEncoder::blocksReceived() const {
    return impl_->blocksDone + static_cast<int64_t>(impl_->pcmBytes / 4);
}

void ApeEncoder::add(const uint8_t* bytes, size_t count) {
    Impl& d = *impl_;
    while (count > 0) {
        const int64_t index = d.blocksDone / kApeBlocksPerFrame;
        if (index >= d.frames) {
            d.overflow = true;
            return;
        }
        const size_t frameSize = 4 * static_cast<size_t>(d.frameBlocks(index));
        const size_t n = std::min(count, frameSize - d.pcmBytes);
        std::memcpy(d.pcm.data() + d.pcmBytes, bytes, n);
        d.pcmBytes += n;
        bytes += n;
        count -= n;
        if (d.pcmBytes == frameSize) {
            d.encodeFrame(frameSize / 4);
            d.pcmBytes = 0;
        }
    }
}

bool ApeEncoder::finish(const std::vector<uint8_t>& tag) {
    Impl& d = *impl_;
    if (d.pcmBytes % 4 != 0) {
        const uint8_t zeros[4] = {};
        add(zeros, 4 - d.pcmBytes % 4);
    }
    if (d.overflow || d.pcmBytes != 0 || d.blocksDone != d.totalBlocks) return false;
    if (d.carried > 0) {
        const uint8_t zeros[4] = {};
        d.store(zeros, 4 - d.carried);
    }
    if (d.writePos + static_cast<int64_t>(tag.size()) > std::numeric_limits<uint32_t>::max())
        return false;
    if (!tag.empty()) d.file.writeAt(d.writePos, tag.data(), tag.size());
    const std::vector<uint8_t> h = d.header();
    d.file.writeAt(0, h.data(), h.size());
    return true;
}

} // namespace tarnival
