#pragma once
#include "document/UserInterface.h"
#include "document/WaveStore.h"
#include "dsp/Fft.h"
#include "dsp/FilterState.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace tarnival {

class Profile;

// OK (or Yes, from front ends that answer every question so) to an OK/Cancel question.
inline bool affirmative(Answer a) {
    return a == Answer::Ok || a == Answer::Yes;
}

// What the filter and profile operations work on: the document's files, transform, filter
// state and the seam, plus the few document facts they consult. The document builds one per
// command; the optional members may stay empty.
struct FilterContext {
    WaveStore& store;
    CFft& fft;
    UserInterface& ui;
    FilterState& state;

    // One level per 4096-byte chunk (the overview): the automatic profile search looks for the
    // quietest chunk in it.
    const std::vector<int32_t>* chunkLevels = nullptr;
    // The selected block, 0 and 0 when none: passes then cover the whole audio.
    int32_t blockStart = 0;
    int32_t blockEnd = 0;
    // The whole file has been scanned (the treble pass only offers Cancel then).
    bool scanned = true;
    // Document status is "Wave Not Corrected": picks the shorter bad-profile warning.
    bool waveNotCorrected = false;
    // The correction list holds corrections, and how to make them all again after the source
    // has been copied back over the working file ("Making Corrections...").
    bool hasCorrections = false;
    std::function<void()> remakeCorrections{};
    // Set while a batch runs: warnings become log lines instead of message boxes.
    std::function<void(const std::string&)> batchLog{};
    // Tells the waveform view whether the working file now holds filtered audio.
    std::function<void(bool)> waveFiltered{};
    // Settings store: "Subtractor" is written when filters are applied.
    Profile* settingsStore = nullptr;
    // Document fields updated when set: the cancel position of the last long operation and the
    // modified flag.
    int32_t* cancelPosition = nullptr;
    bool* modified = nullptr;

    const WaveLayout& layout() const { return store.layout; }
    void markModified() const {
        if (modified) *modified = true;
    }
    void tellFiltered(bool filtered) const {
        if (waveFiltered) waveFiltered(filtered);
    }
};

} // namespace tarnival
