#pragma once

namespace tarnival {

// The prediction-error filter a[0 .. P] (a[0] = 1) of an autoregressive model with the
// autocorrelation lags r[0 .. P], by the Levinson-Durbin recursion. energy stands for r[0]: the
// caller may raise it a touch (white noise keeps pure tones solvable). scratch holds 2 * (P + 1)
// doubles. False when a reflection coefficient reaches 1: the lags fit no stable model.
bool levinsonDurbin(const double* r, double energy, int P, double* a, double* scratch);

} // namespace tarnival
