#pragma once
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace tarnival {

// Turns bytes that may split a stereo 16-bit sample pair between calls into runs of whole
// pairs, at most maxFrames at a time.
class SamplePairs {
  public:
    template <typename Feed>
    void add(const uint8_t* bytes, size_t count, size_t maxFrames, Feed&& feed) {
        if (held_ > 0) {
            const size_t n = std::min(count, 4 - held_);
            std::memcpy(pair_ + held_, bytes, n);
            held_ += n;
            bytes += n;
            count -= n;
            if (held_ < 4) return;
            feed(pair_, size_t{1});
            held_ = 0;
        }
        while (count >= 4) {
            const size_t frames = std::min(count / 4, maxFrames);
            feed(bytes, frames);
            bytes += 4 * frames;
            count -= 4 * frames;
        }
        held_ = count & 3;
        std::memcpy(pair_, bytes, held_);
    }
    // Completes a held part of a pair with zeros (only a damaged length leaves one).
    template <typename Feed> void finish(Feed&& feed) {
        if (held_ == 0) return;
        std::memset(pair_ + held_, 0, 4 - held_);
        held_ = 0;
        feed(pair_, size_t{1});
    }

  private:
    uint8_t pair_[4] = {};
    size_t held_ = 0;
};

} // namespace tarnival
