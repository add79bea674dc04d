#pragma once
#include <algorithm>
#include <cstring>

namespace tarnival {

// Two lanes of doubles: the compiler maps them onto one vector register on every x86-64.
using Lanes = double __attribute__((vector_size(16)));

inline Lanes lanes(const double* p) {
    Lanes v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

// Sum of a[i] * b[i]; eight running sums in four registers keep the multiply-adds independent
// and let them run two at a time (model fits spend most of their time here).
inline double dot(const double* a, const double* b, int n) {
    Lanes s0{}, s1{}, s2{}, s3{};
    int i = 0;
    for (; i + 8 <= n; i += 8) {
        s0 += lanes(a + i) * lanes(b + i);
        s1 += lanes(a + i + 2) * lanes(b + i + 2);
        s2 += lanes(a + i + 4) * lanes(b + i + 4);
        s3 += lanes(a + i + 6) * lanes(b + i + 6);
    }
    for (; i + 2 <= n; i += 2) s0 += lanes(a + i) * lanes(b + i);
    const Lanes s = (s0 + s1) + (s2 + s3);
    double r = s[0] + s[1];
    if (i < n) r += a[i] * b[i];
    return r;
}

// Four lanes of floats: one vector register on every x86-64.
using Floats = float __attribute__((vector_size(16)));

inline Floats floats(const float* p) {
    Floats v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

// Sum of a[i] * b[i], in float lanes; each piece goes into a double so that long runs keep
// their precision.
inline double dotFloats(const float* a, const float* b, int n) {
    constexpr int kPiece = 1024;
    double total = 0;
    int i = 0;
    while (i + 16 <= n) {
        Floats s0{}, s1{}, s2{}, s3{};
        const int end = std::min(n, i + kPiece) - 16;
        for (; i <= end; i += 16) {
            s0 += floats(a + i) * floats(b + i);
            s1 += floats(a + i + 4) * floats(b + i + 4);
            s2 += floats(a + i + 8) * floats(b + i + 8);
            s3 += floats(a + i + 12) * floats(b + i + 12);
        }
        const Floats s = (s0 + s1) + (s2 + s3);
        total += double{s[0]} + s[1] + s[2] + s[3];
    }
    for (; i < n; ++i) total += double{a[i]} * b[i];
    return total;
}

} // namespace tarnival
