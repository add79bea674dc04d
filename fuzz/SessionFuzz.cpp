// libFuzzer entry point: arbitrary bytes through the session reader and the checks against a
// recording, as a restore runs them before it touches the document.
#include "session/SessionCheck.h"
#include "session/SessionCodec.h"
#include "session/SessionFile.h"

#include <algorithm>
#include <climits>
#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace tarnival;
    try {
        SessionData d = decodeSession(data, size);
        // A recording as long as the session's chunk levels say, so that sessions saved from
        // real recordings reach the checks beyond that count.
        WaveLayout l;
        l.dataStart = 44;
        l.fileLength = d.chunkLevels.empty()
                           ? 0
                           : static_cast<int64_t>(d.chunkLevels.size() - 1) * 4096 + 2000;
        l.dataEnd = static_cast<int32_t>(std::min<int64_t>(l.fileLength, INT32_MAX));
        checkSession(d, l);
        // What was accepted must write back to a session that reads the same.
        SessionData again = decodeSession(encodeSession(d));
        if (again.corrections != d.corrections || again.tracks != d.tracks) __builtin_trap();
    } catch (const SessionDamaged&) {
    }
    return 0;
}
