#include "output/ApeEncoder.h"
#include "document/File.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <stdexcept>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
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
    explicit RangeCoder(std::vector<uint8_t>& out) : out_(out) {}

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
        if (t > 255) {
            emitCarried();
        } else {
            emitHeld();
        }
        out_.push_back(static_cast<uint8_t>(t));
        out_.insert(out_.end(), 3, 0);
    }

  private:
    void normalise() {
        while (range_ <= kBottom) {
            if (low_ < 0x7F800000u) {
                emitHeld();
                buffer_ = low_ >> 23;
            } else if (low_ >= kTop) {
                emitCarried();
                buffer_ = (low_ >> 23) & 0xFF;
            } else {
                ++help_;
            }
            low_ = (low_ << 8) & (kTop - 1);
            range_ <<= 8;
        }
    }
    void emitHeld() {
        out_.push_back(static_cast<uint8_t>(buffer_));
        out_.insert(out_.end(), help_, 0xFF);
        help_ = 0;
    }
    void emitCarried() {
        out_.push_back(static_cast<uint8_t>(buffer_ + 1));
        out_.insert(out_.end(), help_, 0x00);
        help_ = 0;
    }

    std::vector<uint8_t>& out_;
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
// sign-adaptive predictor from four past values and five cross-input terms).
class Predictor {
  public:
    int32_t compress(int32_t x, int32_t u) {
        const int32_t a = wrapAdd(x, -((31 * xPrev_) >> 5));
        const int32_t b = wrapAdd(u, -((31 * uPrev_) >> 5));
        xPrev_ = x;
        uPrev_ = u;
        const int32_t db0 = wrapAdd(b, -b1_);
        const int32_t A[4] = {a1_, da1_, da2_, da3_};
        const int32_t B[5] = {b, db0, db1_, db2_, db3_};
        int32_t pa = 0, pb = 0;
        for (int i = 0; i < 4; ++i) pa = wrapAdd(pa, wrapMul(alpha_[i], A[i]));
        for (int i = 0; i < 5; ++i) pb = wrapAdd(pb, wrapMul(beta_[i], B[i]));
        const int32_t e = wrapAdd(a, -(wrapAdd(pa, pb >> 1) >> 10));
        const int32_t s = sgn(e);
        if (s != 0) {
            for (int i = 0; i < 4; ++i) alpha_[i] += s * sgn(A[i]);
            for (int i = 0; i < 5; ++i) beta_[i] += s * sgn(B[i]);
        }
        da3_ = da2_;
        da2_ = da1_;
        da1_ = wrapAdd(a, -a1_);
        a1_ = a;
        db3_ = db2_;
        db2_ = db1_;
        db1_ = db0;
        b1_ = b;
        return e;
    }

  private:
    int32_t xPrev_ = 0, uPrev_ = 0;
    int32_t a1_ = 0, da1_ = 0, da2_ = 0, da3_ = 0;
    int32_t b1_ = 0, db1_ = 0, db2_ = 0, db3_ = 0;
    int32_t alpha_[4] = {360, 317, -109, 98};
    int32_t beta_[5] = {0, 0, 0, 0, 0};
};

// ---- Stage 3: sign-sign adaptive FIR ("neural net") filters ------------------------------------

int16_t sat16(int32_t v) {
    return static_cast<int16_t>(std::clamp<int32_t>(v, -32768, 32767));
}

#if TARNIVAL_APE_AVX2
bool haveAvx2() {
    static const bool yes = __builtin_cpu_supports("avx2");
    return yes;
}

__attribute__((target("avx2"))) int32_t dotAvx2(const int16_t* c, const int16_t* w, int n) {
    __m256i acc = _mm256_setzero_si256();
    for (int i = 0; i < n; i += 16) {
        const __m256i cv = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(c + i));
        const __m256i wv = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(w + i));
        acc = _mm256_add_epi32(acc, _mm256_madd_epi16(cv, wv));
    }
    __m128i s = _mm_add_epi32(_mm256_castsi256_si128(acc), _mm256_extracti128_si256(acc, 1));
    s = _mm_add_epi32(s, _mm_shuffle_epi32(s, 0x4E));
    s = _mm_add_epi32(s, _mm_shuffle_epi32(s, 0xB1));
    return _mm_cvtsi128_si32(s);
}

__attribute__((target("avx2"))) void adaptAvx2(int16_t* c, const int16_t* d, int n, bool subtract) {
    for (int i = 0; i < n; i += 16) {
        __m256i cv = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(c + i));
        const __m256i dv = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(d + i));
        cv = subtract ? _mm256_sub_epi16(cv, dv) : _mm256_add_epi16(cv, dv);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(c + i), cv);
    }
}
#endif

// Products are 16 x 16 bits and the sum wraps at 32 bits, as the decoders' vector code does.
int32_t dot(const int16_t* c, const int16_t* w, int n) {
#if TARNIVAL_APE_AVX2
    if (haveAvx2()) return dotAvx2(c, w, n);
#endif
#if defined(__SSE2__)
    __m128i acc = _mm_setzero_si128();
    for (int i = 0; i < n; i += 8) {
        const __m128i cv = _mm_loadu_si128(reinterpret_cast<const __m128i*>(c + i));
        const __m128i wv = _mm_loadu_si128(reinterpret_cast<const __m128i*>(w + i));
        acc = _mm_add_epi32(acc, _mm_madd_epi16(cv, wv));
    }
    acc = _mm_add_epi32(acc, _mm_shuffle_epi32(acc, 0x4E));
    acc = _mm_add_epi32(acc, _mm_shuffle_epi32(acc, 0xB1));
    return _mm_cvtsi128_si32(acc);
#else
    uint32_t sum = 0;
    for (int i = 0; i < n; ++i) sum += static_cast<uint32_t>(int32_t{c[i]} * int32_t{w[i]});
    return static_cast<int32_t>(sum);
#endif
}

// Coefficients move by the adapt values, wrapping at 16 bits.
void adapt(int16_t* c, const int16_t* d, int n, bool subtract) {
#if TARNIVAL_APE_AVX2
    if (haveAvx2()) return adaptAvx2(c, d, n, subtract);
#endif
#if defined(__SSE2__)
    for (int i = 0; i < n; i += 8) {
        __m128i cv = _mm_loadu_si128(reinterpret_cast<const __m128i*>(c + i));
        const __m128i dv = _mm_loadu_si128(reinterpret_cast<const __m128i*>(d + i));
        cv = subtract ? _mm_sub_epi16(cv, dv) : _mm_add_epi16(cv, dv);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(c + i), cv);
    }
#else
    for (int i = 0; i < n; ++i) c[i] = static_cast<int16_t>(subtract ? c[i] - d[i] : c[i] + d[i]);
#endif
}

class NNFilter {
  public:
    NNFilter(int order, int shift)
        : order_(order), shift_(shift), coefficients_(static_cast<size_t>(order)),
          window_(kHistory + static_cast<size_t>(order)),
          adapt_(kHistory + static_cast<size_t>(order)) {
        reset();
    }

    void reset() {
        std::fill(coefficients_.begin(), coefficients_.end(), int16_t{0});
        std::fill(window_.begin(), window_.end(), int16_t{0});
        std::fill(adapt_.begin(), adapt_.end(), int16_t{0});
        pos_ = static_cast<size_t>(order_);
    }

    int32_t compress(int32_t v) {
        const size_t from = pos_ - static_cast<size_t>(order_);
        const int32_t p = dot(coefficients_.data(), window_.data() + from, order_);
        const auto prediction =
            static_cast<int32_t>((int64_t{p} + (int64_t{1} << (shift_ - 1))) >> shift_);
        const int32_t out = wrapAdd(v, -prediction);
        if (out != 0) adapt(coefficients_.data(), adapt_.data() + from, order_, out > 0);

        window_[pos_] = sat16(v);
        adapt_[pos_] = v == 0 ? 0 : v < 0 ? 4 : -4;
        adapt_[pos_ - 4] = static_cast<int16_t>(adapt_[pos_ - 4] >> 1);
        adapt_[pos_ - 8] = static_cast<int16_t>(adapt_[pos_ - 8] >> 1);
        if (++pos_ == window_.size()) {
            const size_t keep = static_cast<size_t>(order_);
            std::copy(window_.end() - static_cast<std::ptrdiff_t>(keep), window_.end(),
                      window_.begin());
            std::copy(adapt_.end() - static_cast<std::ptrdiff_t>(keep), adapt_.end(),
                      adapt_.begin());
            pos_ = keep;
        }
        return out;
    }

  private:
    static constexpr size_t kHistory = 4096;
    int order_;
    int shift_;
    std::vector<int16_t> coefficients_;
    std::vector<int16_t> window_; // saturated inputs; [pos - order, pos) is the filter's reach
    std::vector<int16_t> adapt_;  // the step each coefficient takes, per window entry
    size_t pos_ = 0;
};

// The filters of a level, in the order the encoder applies them.
std::vector<NNFilter> filtersFor(int level) {
    std::vector<NNFilter> filters;
    switch (level) {
    case 2000:
        filters.emplace_back(16, 11);
        break;
    case 3000:
        filters.emplace_back(64, 11);
        break;
    case 4000:
        filters.emplace_back(256, 13);
        filters.emplace_back(32, 10);
        break;
    default:
        break;
    }
    return filters;
}

// One channel's chain, reset at every frame: predictor, then the level's filters.
class Channel {
  public:
    explicit Channel(int level) : filters_(filtersFor(level)) {}
    void reset() {
        predictor_ = Predictor();
        for (NNFilter& f : filters_) f.reset();
    }
    // residuals[t] for values[t] with cross inputs cross[t] (none: all zero).
    void compress(const int32_t* values, const int32_t* cross, int32_t* residuals, size_t n) {
        reset();
        for (size_t t = 0; t < n; ++t) residuals[t] = predictor_.compress(values[t], cross[t]);
        for (NNFilter& f : filters_)
            for (size_t t = 0; t < n; ++t) residuals[t] = f.compress(residuals[t]);
    }

  private:
    Predictor predictor_;
    std::vector<NNFilter> filters_;
};

} // namespace

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

    std::vector<int32_t> x, y, xCross, yCross, resX, resY;
    Channel channelX, channelY;
    std::vector<uint8_t> frameBytes, stored;

    Impl(File& f, int rate, int lvl, int64_t blocks)
        : file(f), sampleRate(rate), level(lvl), totalBlocks(blocks),
          frames((blocks + kApeBlocksPerFrame - 1) / kApeBlocksPerFrame),
          firstFrame(kHeaderBytes + 4 * frames), pcm(4 * kApeBlocksPerFrame), channelX(lvl),
          channelY(lvl) {
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
        stored.clear();
        size_t i = 0;
        while (carried > 0 && carried < 4 && i < n) carry[carried++] = bytes[i++];
        if (carried == 4) {
            stored.insert(stored.end(), {carry[3], carry[2], carry[1], carry[0]});
            carried = 0;
        }
        for (; i + 4 <= n; i += 4)
            stored.insert(stored.end(), {bytes[i + 3], bytes[i + 2], bytes[i + 1], bytes[i]});
        for (; i < n; ++i) carry[carried++] = bytes[i];
        if (!stored.empty()) {
            file.writeAt(writePos, stored.data(), stored.size());
            writePos += static_cast<int64_t>(stored.size());
        }
    }

    void encodeFrame(size_t blocks) {
        const uint8_t* b = pcm.data();
        const uint32_t crc = crc32(b, 4 * blocks);
        x.resize(blocks);
        y.resize(blocks);
        bool silent = true, mono = true;
        uint32_t framePeak = 0;
        for (size_t t = 0; t < blocks; ++t) {
            const auto s0 = static_cast<int16_t>(b[4 * t] | b[4 * t + 1] << 8);
            const auto s1 = static_cast<int16_t>(b[4 * t + 2] | b[4 * t + 3] << 8);
            const int32_t d = int32_t{s1} - s0;
            y[t] = d;
            x[t] = s0 + d / 2; // truncation toward zero, as the decoder undoes it
            silent = silent && (s0 | s1) == 0;
            mono = mono && d == 0;
            framePeak = std::max<uint32_t>(
                framePeak,
                static_cast<uint32_t>(std::max(std::abs(int32_t{s0}), std::abs(int32_t{s1}))));
        }
        peak = std::max(peak, framePeak);
        const uint32_t special = silent ? kSilentFrame : mono ? kPseudoStereoFrame : 0;

        frameBytes.clear();
        appendBe32(frameBytes, (crc >> 1) | (special ? kFlagsFollow : 0));
        if (special) appendBe32(frameBytes, special);
        RangeCoder rc(frameBytes);
        if (special == kPseudoStereoFrame) {
            xCross.assign(blocks, 0);
            resX.resize(blocks);
            channelX.compress(x.data(), xCross.data(), resX.data(), blocks);
            ValueCoder cx;
            for (size_t t = 0; t < blocks; ++t) cx.encode(rc, resX[t]);
        } else if (special == 0) {
            // Y leans on the previous X, X on the current Y.
            yCross.resize(blocks);
            yCross[0] = 0;
            std::copy(x.begin(), x.end() - 1, yCross.begin() + 1);
            resX.resize(blocks);
            resY.resize(blocks);
            channelY.compress(y.data(), yCross.data(), resY.data(), blocks);
            channelX.compress(x.data(), y.data(), resX.data(), blocks);
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
