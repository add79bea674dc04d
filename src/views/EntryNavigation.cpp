#include "views/EntryNavigation.h"

#include "tracks/TrackMarkers.h"
#include "views/ViewGeometry.h"

#include <cstdio>
#include <cstdlib>

namespace tarnival::view {

using namespace magnitude_codes;

int adoptCurrentEntry(CorrectionList& list, int current, int index) {
    const int n = list.count();
    if (current > 0 && current < n - 1 && current != index &&
        list[current].magnitude == kInsertedCurrent)
        list[current].magnitude = kInserted;
    if (index > 0 && index < n - 1 && list[index].magnitude == kInserted)
        list[index].magnitude = kInsertedCurrent;
    return index;
}

int nearestEntry(const CorrectionList& list, int32_t p) {
    const int n = list.count();
    if (n <= 2) return 0;
    int i = list.find(p);
    if (i > n - 2) i = n - 2;
    if (i > 1 && std::abs(list[i - 1].position - p) <= std::abs(list[i].position - p)) --i;
    return i;
}

int findEntry(const CorrectionList& list, int from, int criterion, bool forward) {
    const int n = list.count();
    auto matches = [&](const Correction& c) {
        if (c.width < 0) return false; // track markers are found by their own command
        return criterion >= 0 ? c.magnitude >= criterion : c.magnitude == criterion;
    };
    if (forward) {
        for (int i = std::max(from + 1, 1); i <= n - 2; ++i)
            if (matches(list[i])) return i;
    } else {
        for (int i = std::min(from - 1, n - 2); i >= 1; --i)
            if (matches(list[i])) return i;
    }
    return 0;
}

int nextTrackMarker(const CorrectionList& list, int from, bool forward, bool gapless) {
    const int n = list.count();
    auto skip = [&](const Correction& c) {
        if (!isTrackMarker(c)) return true;
        return gapless && isStartMarker(c) && markerTrack(c) > 1;
    };
    for (int i = forward ? from + 1 : from - 1; i >= 1 && i <= n - 2; i += forward ? 1 : -1)
        if (!skip(list[i])) return i;
    return 0;
}

int doubleClickEntry(const CorrectionList& list, int32_t p, int32_t t, bool gapless) {
    const int n = list.count();
    if (n <= 2) return 0;
    for (int i = nearestEntry(list, p - t / 2); i >= 1 && i <= n - 2; ++i) {
        const Correction& c = list[i];
        if (isTrackMarker(c) && !(gapless && isStartMarker(c) && markerTrack(c) > 1)) {
            if (std::abs(c.position - p) < t) return i;
            break;
        }
        if (!isTrackMarker(c) && c.position - p >= t) break;
    }
    int near = nearestEntry(list, p);
    if (near && std::abs(list[near].position - p) < t) return near;
    return 0;
}

int listThreshold(int listSel, int listMag) {
    switch (listSel) {
    case 1149:
        return -1;
    // "30+" and "15+" include 30 and 15, as the red and yellow kind classes do.
    case 1163:
        return 29;
    case 1164:
        return 14;
    default:
        return listMag - 1;
    }
}

bool listed(const Correction& c, int threshold) {
    const bool detected = c.magnitude >= 0 && c.width >= 0;
    const bool hidden = c.magnitude < -9000;
    return !(threshold >= c.magnitude && (detected || hidden));
}

int64_t rowKey(const Correction& c) {
    return int64_t{c.position} + (isStartMarker(c) ? 1 : 0);
}

std::string rowText(const Correction& c, int32_t trackStart, int rate) {
    char text[64];
    if (isTrackMarker(c)) {
        std::snprintf(text, sizeof text,
                      isStartMarker(c) ? "Start of Track %d          "
                                       : "End of Track %d           ",
                      markerTrack(c));
        return text;
    }
    const std::string time = timeText(int64_t{c.position} - trackStart, rate);
    const char* word = nullptr;
    switch (c.magnitude) {
    case kSplice:
        word = "Cut            ";
        break;
    case kInsertedCurrent:
        word = "Mrkr            ";
        break;
    case kEdited:
        word = "User            ";
        break;
    case kCue:
        word = "Cue            ";
        break;
    default:
        break;
    }
    if (kindClass(c) >= 4 && word) {
        std::snprintf(text, sizeof text, "%s   %s", time.c_str(), word);
    } else if (kindClass(c) >= 4) {
        std::snprintf(text, sizeof text, "%s   %s", time.c_str(), "Mrkr            ");
    } else {
        std::snprintf(text, sizeof text, "%s   %4d            ", time.c_str(), c.magnitude);
    }
    return text;
}

uint32_t kindColour(int kindClass) {
    switch (kindClass) {
    case 0:
        return 0xD0D0D0;
    case 1:
        return 0xC8FFC8;
    case 2:
        return 0xFFFFC8;
    case 3:
        return 0xFFC8C8;
    case 4:
        return 0xE0E0FF;
    case 5:
        return 0x0000FF;
    default:
        return 0xFFFFFF;
    }
}

} // namespace tarnival::view
