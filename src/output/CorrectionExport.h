#pragma once
#include "document/CorrectionList.h"
#include "document/WaveStore.h"

#include <string>

namespace tarnival {

// What kind of entry a correction-list record is, in words.
const char* correctionKindName(const Correction& c);

// Writes the list as tab-separated text (position, seconds, width, magnitude, kind; one line per
// entry), complete or not at all. An existing file is replaced only with replace set. Throws
// FileError with the system's reason.
void ExportCorrectionList(const CorrectionList& list, const WaveLayout& layout,
                          const std::string& path, bool replace);

} // namespace tarnival
