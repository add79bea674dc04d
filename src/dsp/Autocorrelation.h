#pragma once

namespace tarnival {

// Sums the autocorrelations of several pieces of a signal, lags 0 .. maxLag, through one
// transform size: for the long lag ranges of high-order models this costs a fraction of the
// direct sums. Plans and arrays are made once; nothing is allocated per piece.
class Autocorrelation {
  public:
    // Pieces of up to maxLength samples.
    Autocorrelation(int maxLength, int maxLag);
    ~Autocorrelation();
    Autocorrelation(const Autocorrelation&) = delete;
    Autocorrelation& operator=(const Autocorrelation&) = delete;

    void clear();
    // Adds sum over i of x[i] * x[i + k] for every lag k (x is n <= maxLength samples).
    void add(const double* x, int n);
    // Writes the sums of lags 0 .. lag (at most maxLag) to r.
    void lags(double* r, int lag);

  private:
    struct Impl;
    Impl* impl_;
};

} // namespace tarnival
