#pragma once
#include "tracks/Splice.h"

#include <cstdint>
#include <vector>

namespace tarnival {

// The cut sections of the recording, ordered by cut start, and the maps between source
// positions (file offsets) and display positions (cuts removed).
class SpliceList {
  public:
    std::vector<Splice> splices;

    int count() const { return static_cast<int>(splices.size()); }
    bool empty() const { return splices.empty(); }
    int32_t displayToSource(int32_t p) const;
    int32_t sourceToDisplay(int32_t s) const;
};

} // namespace tarnival
