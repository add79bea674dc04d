#include "dsp/Fft.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

using tarnival::CFft;

namespace {

const double kPi = 4.0 * std::atan(1.0);

std::vector<double> randomBlock(uint32_t seed, double scale = 20000.0) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> u(-scale, scale);
    std::vector<double> v(CFft::N);
    for (auto& x : v) x = u(rng);
    return v;
}

void load(CFft& fft, const std::vector<double>& v) {
    for (int i = 0; i < CFft::N; ++i) fft.Buffer[i] = v[static_cast<size_t>(i)];
}

} // namespace

TEST(Fft, ForwardThenInverseReturnsTheInput) {
    CFft a, b; // two objects, used interleaved, must not disturb each other
    for (uint32_t seed = 1; seed <= 5; ++seed) {
        auto x = randomBlock(seed);
        auto y = randomBlock(seed + 100, 1.0);
        load(a, x);
        load(b, y);
        a.Transform(1);
        b.Transform(1);
        a.Transform(-1);
        b.Transform(-1);
        for (int i = 0; i < CFft::N; ++i) {
            ASSERT_NEAR(a.Buffer[i], x[static_cast<size_t>(i)], 1e-9) << "seed " << seed;
            ASSERT_NEAR(b.Buffer[i], y[static_cast<size_t>(i)], 1e-9) << "seed " << seed;
        }
    }
}

TEST(Fft, PackedLayoutMatchesDirectTransform) {
    CFft fft;
    auto x = randomBlock(42);
    load(fft, x);
    fft.Transform(1);
    const int n = CFft::N;
    double dc = 0, nyquist = 0;
    for (int j = 0; j < n; ++j) {
        dc += x[static_cast<size_t>(j)];
        nyquist += (j % 2 ? -1.0 : 1.0) * x[static_cast<size_t>(j)];
    }
    EXPECT_NEAR(fft.Buffer[0], dc, 1e-6);
    EXPECT_NEAR(fft.Buffer[1], nyquist, 1e-6);
    for (int k : {1, 2, 7, 64, 100, 128, 201, 255}) {
        double c = 0, s = 0;
        for (int j = 0; j < n; ++j) {
            c += x[static_cast<size_t>(j)] * std::cos(2 * kPi * j * k / n);
            s += x[static_cast<size_t>(j)] * std::sin(2 * kPi * j * k / n);
        }
        EXPECT_NEAR(fft.Buffer[2 * k], c, 1e-6) << "bin " << k;
        EXPECT_NEAR(fft.Buffer[2 * k + 1], s, 1e-6) << "bin " << k;
        EXPECT_NEAR(fft.Magnitude(k), std::hypot(c, s), 1e-6) << "bin " << k;
    }
}

TEST(Fft, InverseOfSingleBinsUsesTheSameSignConvention) {
    CFft fft;
    const int n = CFft::N, k = 9;
    // A lone +sin coefficient must come back as a sine, a lone cos coefficient as a cosine,
    // both of amplitude 2/512 per unit.
    fft.Buffer[2 * k + 1] = n / 2.0;
    fft.Transform(-1);
    for (int j = 0; j < n; ++j) ASSERT_NEAR(fft.Buffer[j], std::sin(2 * kPi * j * k / n), 1e-12);
    for (double& v : fft.Buffer) v = 0;
    fft.Buffer[2 * k] = 1.0;
    fft.Transform(-1);
    for (int j = 0; j < n; ++j)
        ASSERT_NEAR(fft.Buffer[j], std::cos(2 * kPi * j * k / n) * 2.0 / n, 1e-15);
    // Index 1 is the Nyquist bin, not the imaginary part of bin 0.
    for (double& v : fft.Buffer) v = 0;
    fft.Buffer[1] = n;
    fft.Transform(-1);
    for (int j = 0; j < n; ++j) ASSERT_NEAR(fft.Buffer[j], j % 2 ? -1.0 : 1.0, 1e-12);
}

TEST(Fft, ConstantAlternatingAndMixedBlocks) {
    CFft fft;
    const double c = 1234.5;
    for (double& v : fft.Buffer) v = c;
    fft.Transform(1);
    EXPECT_NEAR(fft.Buffer[0], 512 * c, 1e-7);
    for (int i = 1; i < CFft::N; ++i) ASSERT_NEAR(fft.Buffer[i], 0.0, 1e-7) << i;

    for (int i = 0; i < CFft::N; ++i) fft.Buffer[i] = i % 2 ? -c : c;
    fft.Transform(1);
    EXPECT_NEAR(fft.Buffer[1], 512 * c, 1e-7);
    EXPECT_NEAR(fft.Buffer[0], 0.0, 1e-7);
    for (int i = 2; i < CFft::N; ++i) ASSERT_NEAR(fft.Buffer[i], 0.0, 1e-7) << i;

    // DC offset 3 plus Nyquist component 4: Magnitude(0) combines them.
    for (int i = 0; i < CFft::N; ++i) fft.Buffer[i] = 3.0 + (i % 2 ? -4.0 : 4.0);
    fft.Transform(1);
    EXPECT_NEAR(fft.Buffer[0], 512 * 3.0, 1e-9);
    EXPECT_NEAR(fft.Buffer[1], 512 * 4.0, 1e-9);
    EXPECT_NEAR(fft.Magnitude(0), 512 * 5.0, 1e-9);
}

TEST(Fft, WindowShapeAndRemoval) {
    CFft fft;
    for (double& v : fft.Buffer) v = 1.0;
    fft.ApplyWindow();
    EXPECT_EQ(fft.Buffer[0], 0.0);
    EXPECT_NEAR(fft.Buffer[128], 1.0, 1e-15);
    EXPECT_NEAR(fft.Buffer[256], 2.0, 1e-15);
    EXPECT_NEAR(fft.Buffer[384], 1.0, 1e-15);
    EXPECT_NEAR(fft.Buffer[1], 1.0 - std::cos(2 * kPi / 512), 1e-15);
    EXPECT_DOUBLE_EQ(fft.Buffer[1], fft.Buffer[511]);

    auto x = randomBlock(9);
    load(fft, x);
    fft.ApplyWindow();
    fft.RemoveWindow();
    EXPECT_EQ(fft.Buffer[0], 0.0);
    for (int i = 1; i < CFft::N; ++i)
        ASSERT_NEAR(fft.Buffer[i], x[static_cast<size_t>(i)], 1e-9 * std::abs(x[i])) << i;

    // Without a window in front, index 0 is scaled by 1e10.
    for (double& v : fft.Buffer) v = 2.0;
    fft.RemoveWindow();
    EXPECT_DOUBLE_EQ(fft.Buffer[0], 2e10);
    EXPECT_DOUBLE_EQ(fft.Buffer[256], 1.0);
}

TEST(Fft, RoughnessSeparatesNoiseFromTones) {
    CFft fft;
    std::mt19937 rng(5);
    std::normal_distribution<double> noise(0.0, 3000.0);
    for (int trial = 0; trial < 10; ++trial) {
        for (double& v : fft.Buffer) v = noise(rng);
        double r = fft.SpectralRoughness();
        EXPECT_GT(r, 0.2) << trial;
        EXPECT_LT(r, 1.0) << trial;
    }
    const double tones[][3] = {{440.0, 0, 0}, {261.6, 329.6, 392.0}, {1000.0, 2500.0, 0}};
    for (const auto& set : tones) {
        for (int i = 0; i < CFft::N; ++i) {
            double v = 0;
            for (double f : set)
                if (f > 0) v += 5000.0 * std::sin(2 * kPi * f * i / 44100.0 + f);
            fft.Buffer[i] = v + noise(rng) * 0.01;
        }
        EXPECT_GT(fft.SpectralRoughness(), 3.0) << set[0];
    }
}

TEST(Fft, RoughnessLeavesTheWindowedSpectrumAndHandlesSilence) {
    CFft a, b;
    auto x = randomBlock(77);
    load(a, x);
    load(b, x);
    a.SpectralRoughness();
    b.ApplyWindow();
    b.Transform(1);
    for (int i = 0; i < CFft::N; ++i) ASSERT_EQ(a.Buffer[i], b.Buffer[i]) << i;

    for (double& v : a.Buffer) v = 0.0;
    double r = a.SpectralRoughness();
    EXPECT_FALSE(std::isnan(r));
    EXPECT_EQ(r, 0.0);
}
