#pragma once
#include "document/CorrectionList.h"
#include "output/OutputSettings.h"
#include "output/SaveTracks.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tarnival {

class CMorvath3Doc;

// The filters a restore runs over the whole side after the click repair.
struct RestoreFilters {
    bool rumble = false;
    int hiss = 0; // 0..3
    bool hum = false;
    int treble = 0;      // -3..3
    std::string graphic; // a saved graphic filter's name, empty: none
    // The noise profile's stretch in seconds from the start of the audio; none: found
    // automatically.
    std::optional<std::pair<double, double>> profile;
};

// What a restore does beyond the settings in force in the document: filters and levels, which
// tracks, what they are called and where they go.
struct RestorePlan {
    std::string input;       // a recording, or a ".ses" session to restore and write the tracks of
    std::string saveSession; // also save the session here before the tracks; empty: no
    int targetTracks = 0;    // 0: find the tracks as "Split Tracks" says; else this many
    std::optional<RestoreFilters> filters;
    std::optional<double> balanceDb; // right against left; with balanceAuto, measured
    bool balanceAuto = false;
    std::optional<double> normaliseDb;                      // the peak, 0 or below
    std::optional<std::string> album, artist, title, genre; // for every track and the side
    // Seconds as typed, for every track; turned into bytes of the recording exactly.
    std::optional<std::string> fadeIn, fadeOut, preSilence, postSilence;
    std::string rule;         // naming rule; empty: the default
    std::string outputFolder; // empty: the input's folder
    std::string listFile;     // also write the correction list here; empty: no list
    bool replaceExisting = false;
    std::optional<OutputSettings> output; // none: the stored output settings
};

struct RestoreResult {
    enum class Outcome {
        Done,
        NotOpened, // refused, or the load was abandoned; the user has been told
        Refused,   // a naming or file check failed; the user has been told
        Declined,  // existing files were not to be replaced
        Failed,    // filtering or writing failed; the user has been told
        Stopped,   // the program was asked to end
    };
    Outcome outcome = Outcome::NotOpened;
    std::vector<int> trackIndexes; // the tracks written, in order
    std::vector<int> trackNumbers;
    std::vector<std::string> written;
    double processSeconds = 0; // open, scan and repair
    double saveSeconds = 0;
    int clicks = 0;
};

// The restore pipeline every front end runs: open the input, scan and correct it, find the
// tracks (or the number asked for), name them and write them, with progress and questions
// through the document's user interface. The document keeps everything afterwards, so the caller
// can show or inspect it.
class RestoreJob {
  public:
    RestoreJob(CMorvath3Doc& doc, RestorePlan plan) : doc_(doc), plan_(std::move(plan)) {}
    RestoreResult run();
    // Only the writing: names, track options, list, session and tracks, for the document as it
    // stands (after a restore, or a session the caller restored).
    RestoreResult writeTracks();

  private:
    bool sessionInput() const;
    bool writeSession();
    RestoreResult finish();
    bool open();
    bool process();
    void placeTracks();
    bool filterAndLevel();
    void applyTrackOptions();
    bool writeList();
    bool save();
    bool stopped() const;

    CMorvath3Doc& doc_;
    RestorePlan plan_;
    RestoreResult result_;
};

// Corrections of the list that repair clicks (no markers, no user entries).
int repairedClicks(const CorrectionList& list);

} // namespace tarnival
