#pragma once
#include "document/WaveStore.h"
#include "session/SessionFile.h"

namespace tarnival {

// Checks everything a decoded session says about positions and sizes against the recording it
// is to be applied to (its layout as the input checks found it). Throws SessionDamaged naming
// the first thing that does not fit; nothing is changed either way.
void checkSession(const SessionData& data, const WaveLayout& layout);

} // namespace tarnival
