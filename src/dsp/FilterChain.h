#pragma once
// The filter chain: rumble high-pass, the spectral pass (hiss, hum, graphic) and the treble
// shelf, run in place over the working file in 262144-byte blocks, with "Remove Filtering"
// and the audition of a short stretch.
#include "dsp/FilterContext.h"

#include <cstdint>
#include <string>
#include <vector>

namespace tarnival {

// A stretch of the working file, byte positions on the frame grid: [start, end).
struct FilterRange {
    int64_t start = 0;
    int64_t end = 0;
};

// The selected block when there is one, else the whole audio; clamped to the audio data.
FilterRange CurrentRange(const FilterContext& ctx);

// The filters a run actually applies.
struct EffectiveFilters {
    bool rumble = false;
    bool hum = false;
    int hiss = 0;   // 0..3
    int treble = 0; // -3..3
    bool graphic = false;
    std::string graphicName;

    bool highPass() const { return rumble || hum; }
    bool spectral() const { return hiss > 0 || hum || graphic; }
    int mode() const {
        return (hiss > 0 ? kModeHiss : 0) | (hum ? kModeHum : 0) | (graphic ? kModeGraphic : 0);
    }
};

// The dialog's choices as they take effect: hum and hiss need a noise profile, the graphic
// filter a name.
EffectiveFilters Effective(const FilterSettings& settings, bool profileExists);
// What a session file says was applied, to be applied again.
EffectiveFilters EffectiveFromApplied(const AppliedFilters& applied);

// How a pass treats the Cancel button.
constexpr const char* kFilterCancelQuestion =
    "Filtering will be stopped and\nthe unfiltered wave will be restored.\nReally Cancel?";
constexpr const char* kTapeHissCancelQuestion =
    "Hiss filtering will be removed and\nthe unfiltered wave will be restored.\nReally Cancel?";
constexpr const char* kSessionCancelQuestion =
    "Digital filtering will be removed from the restored wave.\nReally Cancel?";

struct PassOptions {
    // No question: a Cancel press stops the pass at once (batch runs, session restore).
    bool silent = false;
    std::string cancelQuestion = kFilterCancelQuestion;
    // Measure the noise profile on the source (with the level gains) rather than on the working
    // file: for runs that rebuild the working file from the source.
    bool profileFromSource = false;
};

struct PassResult {
    bool cancelled = false;
    // Where the pass stopped: everything of the range before it is filtered, everything from
    // it on untouched.
    int64_t cancelPosition = 0;
};

// One pass each over range, in place. Each writes whole 65536-frame blocks only, so a
// cancelled pass leaves every sample either filtered or as it was.
PassResult RunHighPass(FilterContext& ctx, FilterRange range, const PassOptions& options = {});
// mode: FilterMode bits; the hum weights, thresholds and the profile are prepared here.
PassResult RunSpectralFilter(FilterContext& ctx, FilterRange range, int mode, int hissLevel,
                             const PassOptions& options = {});
PassResult RunTreble(FilterContext& ctx, FilterRange range, int level,
                     const PassOptions& options = {});

// Copies the source (through the level gains) over the working file from the data start up to
// upTo plus one block, or over all of the audio when upTo is kAllAudio; the applied filters
// are then cleared.
constexpr int64_t kAllAudio = -1;
void RestoreUnfiltered(FilterContext& ctx, int64_t upTo = kAllAudio);

struct FilterRunResult {
    bool cancelled = false;
};

// "Apply Filter(s)" after the dialog's OK: the settings in ctx.state are used as they stand.
// Shows "Applying Filters" with its task list, restores first with "Replace Existing", runs the
// passes, and after a cancel puts the unfiltered (corrected) wave back.
FilterRunResult ApplyFilters(FilterContext& ctx);

// "Remove Filtering": asks, then copies the source back (with the gains) and makes the
// corrections again. False when the user declined.
bool RemoveFilteringCommand(FilterContext& ctx);

// The filters of a batch run on one file, from ctx.state.settings (the graphic name being the
// batch's own): a noise profile found first when hiss or hum is on, each pass silent with a log
// line through ctx.batchLog before it, no restore or superimpose logic. False when a pass was
// stopped.
bool RunBatchFilters(FilterContext& ctx);

// The stretch the filter test plays: 4 s (or 20 s) from position, within the audio.
FilterRange TestStretch(const WaveLayout& layout, int64_t position, bool twentySeconds);
// The stretch as the chosen filters would make it, interleaved samples; the working file is
// read for the stretch and its surroundings but not written.
std::vector<int16_t> FilterTest(FilterContext& ctx, FilterRange stretch,
                                const EffectiveFilters& filters);

// The tape branch of loading: finds a noise profile automatically and runs the hiss filter at
// the given level ("Subtractor") over the whole audio. When no profile can be found the user
// is told and nothing changes. A cancelled run leaves the audio before cancelPosition
// filtered; the caller puts it back with RestoreUnfiltered(ctx, cancelPosition).
struct TapeHissResult {
    bool profileFound = false;
    bool filtered = false;
    bool cancelled = false;
    int64_t cancelPosition = 0;
};
TapeHissResult ApplyTapeHiss(FilterContext& ctx, int hissLevel);

// ---- Texts ----------------------------------------------------------------------------------

// The task lines of the passes a run makes, in order: "Rumble Filter" or "Pre-Filter", the
// spectral step ("Hiss/Graphic Filter"), "Treble Cut" or "Treble Lift". Session restore puts
// "Restore " before each.
std::vector<std::string> PassLabels(const EffectiveFilters& filters);

// The filter dialog's summary: "Currently Applied Filters:\nRumble, Hiss." or "...\nNone".
std::string AppliedFiltersSummary(const AppliedFilters& applied);
// The status report's lines from "Currently Applied Filters:\n" to the treble line.
std::string AppliedFiltersReport(const AppliedFilters& applied);
// Slider captions: "Hiss Reduction: 14dB" / "Hiss Reduction: Off"; "Treble Control: +8dB" /
// "Treble Control: Off".
std::string HissCaption(int level);
std::string TrebleCaption(int level);
// The batch dialog's filter summary ("Hiss: 8\r\nRumble" ... or "None").
std::string BatchFilterSummary(const FilterSettings& settings, const std::string& graphicName);

} // namespace tarnival
