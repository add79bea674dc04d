#pragma once
// The ".ses" file: the state of one document without its audio, as a flat sequence of items in
// a fixed order whose presence the format word's bits declare.
#include "document/Correction.h"
#include "tracks/Splice.h"
#include "tracks/Track.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tarnival {

// The file dialogs' filter for sessions.
constexpr const char* kSessionFileFilter = "Session Files (*.ses)";

namespace session_bits {
constexpr uint32_t kStateMask = 0x7;   // the document's processing state
constexpr uint32_t kFilters = 0x8;     // applied filters, gains and the profile block
constexpr uint32_t kTrackTexts = 0x10; // old track records carry timings
constexpr uint32_t kSums = 0x20;       // level sums and the splices
constexpr uint32_t kPassTag = 0x20;    // old correction records carry a tag
constexpr uint32_t kGraphic = 0x40;    // graphic filter name and gains, selected entry
constexpr uint32_t kTracks = 0x80;     // track count, full track records and view word
constexpr uint32_t kFullCorrections = 0x100;
constexpr uint32_t kFormatBits = 0x1F8; // every bit the writer sets
// A later addition: the repair method of the corrections follows the selected entry. Readers
// that mask the state to its low bits never see it; older files simply lack it.
constexpr uint32_t kRepairMethod = 0x200;
} // namespace session_bits

// Everything a session file holds, decoded but not yet checked against any recording.
struct SessionData {
    std::string inputPath;
    uint32_t formatWord = 0;
    int state = 0; // processing state, bits 0-2 of the format word
    std::vector<Correction> corrections;
    std::vector<uint32_t> chunkLevels;
    std::vector<Track> tracks{Track{}}; // entries 0..n
    bool hasViewWord = false;
    uint32_t viewWord = 0;
    std::vector<uint32_t> chunkEnvelope;

    bool hasFilters = false;
    int32_t appliedRumble = 0, appliedHiss = 0, appliedHum = 0, appliedTreble = 0;
    float leftGain = 1.0f, rightGain = 1.0f;
    int32_t profileStart = 0, profileEnd = 0;

    bool hasSums = false;
    double levelSum = 0, balanceSum = 0;
    std::vector<Splice> splices;

    bool hasGraphic = false;
    std::string appliedGraphic;
    std::array<float, 256> graphicGains{};
    int32_t selectedEntry = 0;

    bool hasRepairMethod = false;
    int32_t repairMethod = 0; // the stored "Repair Method" identifier

    // View word parts.
    bool gapless() const { return viewWord & 1; }
    int verticalScale() const { return static_cast<int>(viewWord >> 1 & 0x1F); }
    int horizontalScale() const { return static_cast<int>(viewWord >> 6); }
    static uint32_t makeViewWord(bool gapless, int vertical, int horizontal) {
        return (gapless ? 1u : 0u) | (static_cast<uint32_t>(vertical) & 0x1F) << 1 |
               static_cast<uint32_t>(horizontal) << 6;
    }
};

// Every item, with every format bit set (and the repair method's).
std::vector<uint8_t> encodeSession(const SessionData& data);
// Follows the format bits; throws SessionDamaged naming the item and the byte where the file
// stopped making sense. Nothing is allocated beyond what the bytes can hold.
SessionData decodeSession(const uint8_t* bytes, size_t size);
inline SessionData decodeSession(const std::vector<uint8_t>& bytes) {
    return decodeSession(bytes.data(), bytes.size());
}

// Whole or nothing: written under a temporary name beside path, flushed, then renamed over it.
// Throws FileError.
void writeSessionFile(const std::string& path, const SessionData& data);
// Largest session file read: the items of a 2 GB recording with a correction in every frame
// could not reach it, so a bigger file is damaged rather than worth the memory.
constexpr int64_t kMaxSessionBytes = int64_t{1} << 30;
// Throws FileError when it cannot be read, SessionDamaged when it is not a session.
SessionData readSessionFile(const std::string& path);

} // namespace tarnival
