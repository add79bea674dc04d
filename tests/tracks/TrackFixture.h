#pragma once
#include "document/Overview.h"
#include "support/ScriptedUi.h"
#include "tracks/Tracks.h"

#include <algorithm>
#include <string>
#include <vector>

namespace tarnival::test {

// A ScriptedUi that also keeps the caption and buttons of every question and message.
class RecordingUi : public ScriptedUi {
  public:
    std::vector<std::string> questionCaptions;
    std::vector<Buttons> questionButtons;
    std::vector<std::string> messageCaptions;

    Answer ask(const std::string& text, const std::string& caption, Buttons buttons) override {
        questionCaptions.push_back(caption);
        questionButtons.push_back(buttons);
        return ScriptedUi::ask(text, caption, buttons);
    }
    void message(const std::string& text, const std::string& caption) override {
        messageCaptions.push_back(caption);
        ScriptedUi::message(text, caption);
    }
};

// Chunk levels of a run of frames starting at the data start, 1024 frames per chunk.
inline std::vector<int32_t> chunkLevels(const int16_t* samples, int64_t frames) {
    std::vector<int32_t> out;
    for (int64_t f = 0; f < frames; f += 1024) {
        int64_t n = std::min<int64_t>(1024, frames - f);
        out.push_back(chunkOverview(samples + 2 * f, static_cast<int>(2 * n)).level);
    }
    return out;
}

// The document pieces the track operations work on: a 44-byte header and dataBytes of audio.
struct TrackDoc {
    TrackList tracks;
    SpliceList splices;
    CorrectionList corrections;
    WaveStore store;
    RecordingUi ui;
    MemoryProfile profile;
    bool modified = false;
    std::vector<int32_t> cues;

    explicit TrackDoc(int32_t dataBytes = 20000000, int32_t dataStart = 44) {
        WaveLayout& l = store.layout;
        l.dataStart = dataStart;
        l.dataEnd = dataStart + dataBytes;
        l.frameRemainder = dataStart % 4;
        l.firstCorrectable = dataStart + kEdgeGuard;
        l.lastCorrectable = l.dataEnd - kEdgeGuard;
        l.fileLength = l.dataEnd;
        l.sampleRate = 44100;
        corrections.sizeBlockCounters(l.fileLength);
        tracks[0].start = l.dataStart;
        tracks[0].end = l.dataEnd;
    }

    TrackContext ctx() {
        TrackContext c{tracks, splices, corrections, store, ui, profile};
        c.modified = &modified;
        c.cues = &cues;
        c.inputName = "/music/records/side1.wav";
        return c;
    }

    // Replaces tracks 1..n by [start, end) pairs and rebuilds the markers.
    void setTracks(const std::vector<std::pair<int32_t, int32_t>>& spans) {
        tracks.tracks.resize(1);
        for (auto [s, e] : spans) {
            Track t;
            t.start = s;
            t.end = e;
            tracks.tracks.push_back(t);
        }
        auto c = ctx();
        RebuildTrackMarkers(c);
    }

    // Widths of the track markers in list order.
    std::vector<int32_t> markerWidths() const {
        std::vector<int32_t> w;
        for (int i = 1; i < corrections.count() - 1; ++i)
            if (corrections[i].width < 0) w.push_back(corrections[i].width);
        return w;
    }
    int findWidth(int32_t width) const {
        for (int i = 1; i < corrections.count() - 1; ++i)
            if (corrections[i].width == width) return i;
        return 0;
    }
    int insert(int32_t position, int32_t width, int32_t magnitude) {
        int i = corrections.insertOrdered(Correction{1, 0, position, width, magnitude});
        corrections.raiseBlockCounter(position);
        return i;
    }
};

} // namespace tarnival::test
