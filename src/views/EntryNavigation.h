#pragma once
// Moving through the correction list as the views do: which entry is current, stepping, the
// find criteria and the list view's filter and row texts. No Qt here.
#include "document/CorrectionList.h"

#include <cstdint>
#include <string>

namespace tarnival::view {

constexpr int kFindByTime = -7;

// Makes index the current entry of a list whose current entry was `current`: an inserted
// correction is marked current (-4) while it is, and goes back to -3 when left. Returns index.
int adoptCurrentEntry(CorrectionList& list, int current, int index);

// The entry (1 .. count-2) whose position is nearest p; 0 when the list has none.
int nearestEntry(const CorrectionList& list, int32_t p);

// Find Next / Previous: the next entry after `from` (or before it) whose magnitude is at least
// the criterion (criterion >= 0) or equals it (a negative kind code). 0 when there is none.
int findEntry(const CorrectionList& list, int from, int criterion, bool forward);

// Next / Previous Track Marker from `from`: steps past corrections and, when gapless, past the
// start markers that coincide with the previous track's end (all but the first track's). 0 when
// there is none.
int nextTrackMarker(const CorrectionList& list, int from, bool forward, bool gapless);

// Double click: the entry to make current for a press at p with tolerance t bytes, or 0.
int doubleClickEntry(const CorrectionList& list, int32_t p, int32_t t, bool gapless);

// The correction list view's threshold of the settings "ListSel" and "ListMag".
int listThreshold(int listSel, int listMag);
// Whether the list view shows an entry at the threshold.
bool listed(const Correction& c, int threshold);
// The row's sort key: the position, plus 1 for a track start.
int64_t rowKey(const Correction& c);
// The row text; trackStart is the start of the current track (bytes) for the times.
std::string rowText(const Correction& c, int32_t trackStart, int rate);

// Background colour (0xRRGGBB) of a kind class's rows.
uint32_t kindColour(int kindClass);

} // namespace tarnival::view
