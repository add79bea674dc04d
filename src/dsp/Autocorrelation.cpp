#include "dsp/Autocorrelation.h"

#include <fftw3.h>

#include <algorithm>
#include <new>

namespace tarnival {
namespace {

// The smallest length of at least n whose only factors are 2, 3 and 5, which FFTW transforms
// about as fast per point as a power of two: 2560 for the longest models instead of 4096.
int transformSize(int n) {
    for (int size = std::max(n, 16);; ++size) {
        int rest = size;
        for (const int f : {2, 3, 5})
            while (rest % f == 0) rest /= f;
        if (rest == 1) return size;
    }
}

} // namespace

struct Autocorrelation::Impl {
    int size = 0; // transform length: no lag wraps round onto another
    int maxLength = 0, maxLag = 0;
    double* real = nullptr;
    fftw_complex* half = nullptr;
    double* power = nullptr; // summed squared magnitudes, size / 2 + 1 bins
    fftw_plan forward = nullptr;
    fftw_plan inverse = nullptr;

    ~Impl() {
        if (forward) fftw_destroy_plan(forward);
        if (inverse) fftw_destroy_plan(inverse);
        fftw_free(real);
        fftw_free(half);
        fftw_free(power);
    }
};

Autocorrelation::Autocorrelation(int maxLength, int maxLag) : impl_(new Impl) {
    Impl& d = *impl_;
    d.maxLength = maxLength;
    d.maxLag = maxLag;
    d.size = transformSize(maxLength + maxLag + 1);
    d.real = fftw_alloc_real(static_cast<size_t>(d.size));
    d.half = fftw_alloc_complex(static_cast<size_t>(d.size / 2 + 1));
    d.power = fftw_alloc_real(static_cast<size_t>(d.size / 2 + 1));
    if (d.real && d.half && d.power) {
        d.forward = fftw_plan_dft_r2c_1d(d.size, d.real, d.half, FFTW_ESTIMATE);
        d.inverse = fftw_plan_dft_c2r_1d(d.size, d.half, d.real, FFTW_ESTIMATE);
    }
    if (!d.forward || !d.inverse) {
        delete impl_;
        throw std::bad_alloc();
    }
    clear();
}

Autocorrelation::~Autocorrelation() {
    delete impl_;
}

void Autocorrelation::clear() {
    std::fill(impl_->power, impl_->power + impl_->size / 2 + 1, 0.0);
}

void Autocorrelation::add(const double* x, int n) {
    Impl& d = *impl_;
    n = std::clamp(n, 0, d.maxLength);
    std::copy(x, x + n, d.real);
    std::fill(d.real + n, d.real + d.size, 0.0);
    fftw_execute(d.forward);
    for (int k = 0; k <= d.size / 2; ++k)
        d.power[k] += d.half[k][0] * d.half[k][0] + d.half[k][1] * d.half[k][1];
}

void Autocorrelation::lags(double* r, int lag) {
    Impl& d = *impl_;
    for (int k = 0; k <= d.size / 2; ++k) {
        d.half[k][0] = d.power[k];
        d.half[k][1] = 0.0;
    }
    fftw_execute(d.inverse);
    const double scale = 1.0 / d.size;
    const int count = std::clamp(lag, 0, d.maxLag) + 1;
    for (int k = 0; k < count; ++k) r[k] = d.real[k] * scale;
}

} // namespace tarnival
