#include "dsp/Fft.h"

#include <fftw3.h>

#include <cassert>
#include <cmath>
#include <new>

namespace tarnival {

namespace {
constexpr int kBins = CFft::N / 2; // 256; FFTW's half spectrum has kBins + 1 entries
} // namespace

// FFTW plans are bound to these aligned arrays so every call reuses them: nothing is allocated
// or planned after construction. Buffer itself is not guaranteed SIMD-aligned, so the data is
// copied in and out; for 512 values that costs far less than the transform.
struct CFft::Impl {
    double* real = nullptr;       // N time samples
    fftw_complex* half = nullptr; // kBins + 1 complex bins
    fftw_plan forward = nullptr;
    fftw_plan inverse = nullptr;
    double window[N];
};

CFft::CFft() : impl_(new Impl) {
    Impl& d = *impl_;
    d.real = fftw_alloc_real(N);
    d.half = fftw_alloc_complex(kBins + 1);
    // ESTIMATE keeps construction cheap and the chosen algorithm (hence the rounding of every
    // result) the same from run to run, which MEASURE does not promise.
    if (d.real && d.half) {
        d.forward = fftw_plan_dft_r2c_1d(N, d.real, d.half, FFTW_ESTIMATE);
        d.inverse = fftw_plan_dft_c2r_1d(N, d.half, d.real, FFTW_ESTIMATE | FFTW_DESTROY_INPUT);
    }
    if (!d.forward || !d.inverse) {
        release();
        throw std::bad_alloc();
    }
    const double pi = 4.0 * std::atan(1.0);
    for (int i = 0; i < N; ++i) impl_->window[i] = 1.0 - std::cos(2.0 * pi * i / N);
}

CFft::~CFft() {
    release();
}

void CFft::release() {
    if (impl_->forward) fftw_destroy_plan(impl_->forward);
    if (impl_->inverse) fftw_destroy_plan(impl_->inverse);
    fftw_free(impl_->real);
    fftw_free(impl_->half);
    delete impl_;
    impl_ = nullptr;
}

void CFft::Transform(int direction) {
    double* real = impl_->real;
    fftw_complex* half = impl_->half;
    if (direction == 1) {
        for (int i = 0; i < N; ++i) real[i] = Buffer[i];
        fftw_execute(impl_->forward);
        // FFTW's bins carry -sum x sin; the packed layout keeps +sum x sin and puts the purely
        // real Nyquist bin where bin 0's (always zero) imaginary part would be.
        Buffer[0] = half[0][0];
        Buffer[1] = half[kBins][0];
        for (int k = 1; k < kBins; ++k) {
            Buffer[2 * k] = half[k][0];
            Buffer[2 * k + 1] = -half[k][1];
        }
    } else {
        half[0][0] = Buffer[0];
        half[0][1] = 0.0;
        half[kBins][0] = Buffer[1];
        half[kBins][1] = 0.0;
        for (int k = 1; k < kBins; ++k) {
            half[k][0] = Buffer[2 * k];
            half[k][1] = -Buffer[2 * k + 1];
        }
        fftw_execute(impl_->inverse);
        const double scale = 1.0 / N;
        for (int i = 0; i < N; ++i) Buffer[i] = real[i] * scale;
    }
}

double CFft::Magnitude(int k) const {
    assert(k >= 0 && k < kBins);
    const double re = Buffer[2 * k];
    const double im = Buffer[2 * k + 1];
    return std::sqrt(re * re + im * im);
}

void CFft::ApplyWindow() {
    for (int i = 0; i < N; ++i) Buffer[i] *= impl_->window[i];
}

void CFft::RemoveWindow() {
    // The window is 0 at index 0; callers discard the block edges, so a large finite factor
    // stands in for the division there.
    Buffer[0] *= 1e10;
    for (int i = 1; i < N; ++i) Buffer[i] /= impl_->window[i];
}

double CFft::SpectralRoughness() {
    ApplyWindow();
    Transform(1);
    // Single-precision sums, as the thresholds that use this value were tuned with them.
    float sm = 0, sx = 0, smx = 0, smm = 0, sxx = 0;
    for (int k = 5; k <= 104; ++k) {
        const double m = Magnitude(k);
        const double x = 2.0 * k;
        sm = static_cast<float>(sm + m);
        sx = static_cast<float>(sx + x);
        smx = static_cast<float>(smx + m * x);
        smm = static_cast<float>(smm + m * m);
        sxx = static_cast<float>(sxx + x * x);
    }
    // A silent block has no spectrum to judge; it counts as smooth rather than yielding 0/0.
    if (!(sm > 0.0f)) return 0.0;
    const double Sm = sm, Sx = sx, Smx = smx, Smm = smm, Sxx = sxx;
    const double sxy = Smx - Sm * Sx * 0.01;
    const double residual = (Smm - Sm * Sm * 0.01 - sxy * sxy / (Sxx - Sx * Sx * 0.01)) * 100.0;
    // Rounding in the float sums can push a perfect fit a hair below zero.
    if (residual <= 0.0) return 0.0;
    return std::sqrt(residual) / Sm;
}

} // namespace tarnival
