#include "dsp/Levinson.h"

#include "dsp/Dot.h"

#include <cmath>
#include <cstring>

namespace tarnival {

bool levinsonDurbin(const double* r, double energy, int P, double* a, double* scratch) {
    // Reversed, the lags a step of the recursion needs lie in the order of the coefficients.
    double* reversed = scratch;
    for (int k = 0; k <= P; ++k) reversed[k] = r[P - k];
    a[0] = 1.0;
    // Each coefficient takes in its mirror image. The mirror is kept reversed in b, growing
    // downwards a step at a time, so that both update as plain runs of vector operations.
    double* b = scratch + 2 * P + 1;
    b[0] = 1.0;
    for (int n = 1; n <= P; ++n) {
        const double k = -dot(a, reversed + P - n, n) / energy;
        if (!(std::abs(k) < 1.0)) return false;
        a[n] = 0.0;
        const Lanes kk{k, k};
        int j = 0;
        for (; j + 2 <= n; j += 2) {
            const Lanes aj = lanes(a + j + 1), bj = lanes(b + j);
            const Lanes na = aj + kk * bj, nb = bj + kk * aj;
            std::memcpy(a + j + 1, &na, sizeof na);
            std::memcpy(b + j, &nb, sizeof nb);
        }
        for (; j < n; ++j) {
            const double aj = a[j + 1], bj = b[j];
            a[j + 1] = aj + k * bj;
            b[j] = bj + k * aj;
        }
        *--b = k;
        energy *= 1.0 - k * k;
    }
    return true;
}

} // namespace tarnival
