#pragma once

namespace tarnival {

// The one 512-point real transform the document owns. After Transform(1) Buffer holds the packed
// spectrum: Buffer[0] = DC, Buffer[1] = Nyquist, Buffer[2k], Buffer[2k+1] = real and imaginary
// part of bin k (imaginary with the +sin convention: sum x[j] sin(2 pi j k / 512)).
class CFft {
  public:
    static constexpr int N = 512;

    CFft();
    virtual ~CFft();
    CFft(const CFft&) = delete;
    CFft& operator=(const CFft&) = delete;

    double Buffer[N] = {};

    // 1 = forward in place; -1 = inverse in place, scaled so forward then inverse is identity.
    void Transform(int direction);
    // sqrt(Buffer[2k]^2 + Buffer[2k+1]^2), k = 0..255 (k = 0 combines DC and Nyquist).
    double Magnitude(int k) const;
    void ApplyWindow();
    void RemoveWindow();
    // Windows and transforms Buffer, then returns the residual of a straight-line fit to the
    // magnitudes of bins 5..104 relative to their mean: small for noise, large for tones.
    double SpectralRoughness();

  private:
    struct Impl;
    Impl* impl_;
    void release();
};

} // namespace tarnival
