#pragma once
// Graphic filters: gain curves over the 256 bins of the spectral pass, saved by name in the
// settings section "Filters" and turned into GraphicGain when chosen.
#include "document/UserInterface.h"
#include "dsp/FilterState.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace tarnival {

class Profile;

// One point of a curve; stored as 4 bytes: bin, an unused byte, level (int16 little-endian).
// The level is an attenuation in dB: +6 cuts by 6 dB, -6 boosts.
struct GraphPoint {
    uint8_t x = 0;
    uint8_t unused = 0;
    int16_t level = 0;

    bool operator==(const GraphPoint&) const = default;
};

// Points in increasing x, the first at bin 0 and the last at bin 255.
using GraphCurve = std::vector<GraphPoint>;

GraphCurve FlatCurve();

// A stored record whose level is above this is the trailer holding the sampling rate / 10.
constexpr int kTrailerLevel = 4000;
// Boosts beyond this (levels below -100) are no curve the editor can draw.
constexpr int kLowestLevel = -100;

// The stored form: the points and a trailer with the sampling rate at saving time.
std::vector<uint8_t> EncodeCurve(const GraphCurve& curve, int rate);

// Reads a stored value for a recording at rate: a trailer from another rate moves every point
// so that it keeps its frequency. problem is empty when the value was usable.
struct CurveReading {
    GraphCurve curve;
    std::string problem;
};
CurveReading DecodeCurve(const std::vector<uint8_t>& bytes, int rate);

// The settings key of slot i (0..99): "Filt00".."Filt99".
std::string FilterSlotKey(int slot);
// The saved names, slots 00..99 in order, empty slots skipped.
std::vector<std::string> ListCurves(const Profile& settings);
// The stored curve of a name; an empty name or missing value gives the flat curve, and so does
// a damaged value, after a message.
GraphCurve LoadCurve(const Profile& settings, UserInterface& ui, const std::string& name, int rate);
// Stores a curve under a name in the first free slot (asking first, with askOverwrite, when
// the name exists). Returns whether it was saved.
bool SaveCurve(Profile& settings, UserInterface& ui, const std::string& name,
               const GraphCurve& curve, int rate, bool askOverwrite);
// Asks, then frees the name's slot and empties its value. Returns whether it was deleted.
bool DeleteCurve(Profile& settings, UserInterface& ui, const std::string& name);

// Straight lines in dB between the points, bin 255 at the last point's level; gain
// 10^(-level / 20).
void CurveToGains(const GraphCurve& curve, std::array<float, kBins>& gains);

// Chooses a saved filter for the document: GraphicGain from its curve, GraphicName, GraphicOn.
// False (the tables unchanged) when no filter of that name is saved or it is damaged.
bool SelectGraphicFilter(const Profile& settings, UserInterface& ui, FilterState& state,
                         const std::string& name, int rate);

} // namespace tarnival
