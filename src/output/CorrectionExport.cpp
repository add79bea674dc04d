#include "output/CorrectionExport.h"
#include "document/File.h"
#include "document/SafeFile.h"

#include <cstdio>

namespace tarnival {

const char* correctionKindName(const Correction& c) {
    switch (kindClass(c)) {
    case 0:
        return "track marker";
    case 1:
        return "click (small)";
    case 2:
        return "click (medium)";
    case 3:
        return "click (large)";
    case 4:
        return "edited correction";
    case 5:
        return "splice";
    default:
        return c.magnitude == magnitude_codes::kCue ? "cue" : "user correction";
    }
}

void ExportCorrectionList(const CorrectionList& list, const WaveLayout& layout,
                          const std::string& path, bool replace) {
    std::string text = "position\tseconds\twidth\tmagnitude\tkind\n";
    for (int i = 1; i < list.count() - 1; ++i) {
        const Correction& c = list[i];
        char line[160];
        std::snprintf(line, sizeof line, "%d\t%.3f\t%d\t%d\t%s\n", c.position,
                      static_cast<double>(c.position - layout.dataStart) / 4.0 / layout.sampleRate,
                      c.width, c.magnitude, correctionKindName(c));
        text += line;
    }
    SafeFile safe(path);
    {
        File out(safe.temporaryPath(), File::Mode::ReadWrite);
        out.writeAt(0, text.data(), text.size());
    }
    safe.commit(replace);
}

} // namespace tarnival
