// The load-and-scan driver end to end, on real files in a temporary folder.
#include "document/Overview.h"
#include "facade/Document.h"
#include "support/ApeEncoding.h"
#include "support/ScriptedUi.h"
#include "support/Signals.h"
#include "support/TempDir.h"
#include "tracks/TrackEditing.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace tarnival {
namespace {

using test::Click;
using test::ScriptedUi;
using test::Stereo;
using test::TempDir;
using test::WavOptions;

constexpr int kBlockFrames = kBlockSize / 4; // 65536
constexpr int kLeadFrames = kChunkSize / 4;  // 1024: copied, never scanned

const std::string kReprocessQuestion =
    "The Wave File Has already been Processed\nDo You want to Re-Process the current file?";
const std::string kContinueQuestion = "Do you want to continue loading the file\nwithout "
                                      "scanning for clicks?\n(This can take a few minutes)";
const std::string kAbortLoadQuestion = "File load will be aborted.\nReally Cancel?";
const std::string kMonoMessage =
    "\"No Difference Channel data exists for this file\nThe file will be processed in 'Per "
    "Channel' Detection Mode.\"";

// One document with its settings, user interface and temporary folder.
struct Driver {
    TempDir dir;
    MemoryProfile profile;
    ScriptedUi ui;
    std::unique_ptr<CMorvath3Doc> doc;

    explicit Driver(const std::map<std::string, int>& settings = {}) {
        profile.setInt("Settings", "Temp Mode", ids::kTempUser);
        profile.setString("Settings", "Temp Path", dir.path().string());
        profile.setInt("Settings", "Sensitivity", 3);
        profile.setInt("Settings", "Split Tracks", 0);
        for (const auto& [key, value] : settings) profile.setInt("Settings", key, value);
        doc = std::make_unique<CMorvath3Doc>(profile, ui);
    }

    std::string put(const std::string& name, const std::vector<uint8_t>& bytes) {
        std::string path = dir.file(name);
        test::writeFile(path, bytes);
        return path;
    }
    // What the Open command does: open, status 1, process.
    bool load(const std::string& path) {
        if (!doc->OpenWave(path)) return false;
        return doc->ProcessFile();
    }
    std::vector<uint8_t> working() const { return test::readFile(doc->workingPath()); }
    int32_t pos(int frame) const { return doc->store.layout.dataStart + 4 * frame; }
    // Load passes: one pump per block.
    int blocks() const {
        const WaveLayout& l = doc->store.layout;
        int n = 0;
        for (int64_t g = int64_t{l.dataStart} + kChunkSize; g < l.dataEnd - kChunkSize;
             g += kBlockSize)
            ++n;
        return n;
    }
};

std::vector<Correction> realCorrections(const CorrectionList& list) {
    std::vector<Correction> out;
    for (int i = 1; i < list.count() - 1; ++i)
        if (list[i].width >= 0) out.push_back(list[i]);
    return out;
}

std::vector<Correction> trackMarkers(const CorrectionList& list) {
    std::vector<Correction> out;
    for (int i = 1; i < list.count() - 1; ++i)
        if (list[i].width < 0) out.push_back(list[i]);
    return out;
}

bool covers(const Correction& c, int32_t position, int32_t slack) {
    return position >= spanStart(c) - slack && position < spanEnd(c) + slack;
}

// Whether some correction lies on the click (its middle inside the correction's span, give or
// take a few frames of centring).
bool found(const std::vector<Correction>& list, const Driver& d, const Click& k) {
    int32_t middle = d.pos(k.frame + k.widthFrames / 2);
    return std::any_of(list.begin(), list.end(),
                       [&](const Correction& c) { return covers(c, middle, 64); });
}

// Every byte where the two images differ lies inside a correction's span; returns the number
// of differing bytes.
::testing::AssertionResult changesOnlyInSpans(const std::vector<uint8_t>& source,
                                              const std::vector<uint8_t>& working,
                                              const std::vector<Correction>& list,
                                              int* changed = nullptr) {
    if (source.size() != working.size())
        return ::testing::AssertionFailure()
               << "lengths differ: " << source.size() << " vs " << working.size();
    std::vector<bool> inSpan(source.size(), false);
    for (const Correction& c : list)
        for (int64_t p = std::max(0, spanStart(c));
             p < std::min<int64_t>(spanEnd(c), static_cast<int64_t>(source.size())); ++p)
            inSpan[static_cast<size_t>(p)] = true;
    int n = 0;
    for (size_t i = 0; i < source.size(); ++i) {
        if (source[i] == working[i]) continue;
        if (!inSpan[i]) return ::testing::AssertionFailure() << "byte " << i << " changed";
        ++n;
    }
    if (changed) *changed = n;
    return ::testing::AssertionSuccess();
}

// About 35 seconds of music with light hiss and a dozen clicks well inside the audio, spread
// over the blocks (a block is 65536 frames; the first block begins at frame 1024).
struct VinylSide {
    Stereo samples;
    std::vector<Click> clicks;
};

const VinylSide& vinylSide() {
    static const VinylSide side = [] {
        VinylSide s;
        const int frames = 35 * 44100;
        s.samples = test::music(frames, 44100, 11, 7000);
        test::mix(s.samples, test::hiss(frames, 40, 12));
        const int at[] = {12000,  40000,  100000,  180000,  260000,  420000,
                          600000, 800000, 1000000, 1200000, 1400000, 1500000};
        int i = 0;
        for (int frame : at) {
            Click k{frame, 4 + (i * 5) % 13, (i % 2 ? -1 : 1) * (9000 + 500 * i)};
            test::addClick(s.samples, k);
            s.clicks.push_back(k);
            ++i;
        }
        return s;
    }();
    return side;
}

// A shorter piece with the same kind of damage, for runs that only need a few blocks.
const VinylSide& shortSide() {
    static const VinylSide side = [] {
        VinylSide s;
        const int frames = 8 * 44100;
        s.samples = test::music(frames, 44100, 21, 7000);
        test::mix(s.samples, test::hiss(frames, 40, 22));
        const int at[] = {15000, 50000, 90000, 150000, 200000, 260000, 320000};
        int i = 0;
        for (int frame : at) {
            Click k{frame, 5 + (i * 3) % 9, (i % 2 ? 1 : -1) * (10000 + 700 * i)};
            test::addClick(s.samples, k);
            s.clicks.push_back(k);
            ++i;
        }
        return s;
    }();
    return side;
}

// ---- Settings and the task list ---------------------------------------------------------------

TEST(LoadDriver, SensitivityZeroAndTapeOnlyScanForTracks) {
    const Stereo& audio = shortSide().samples;
    {
        Driver d({{"Sensitivity", 0}});
        std::string path = d.put("side.wav", test::wavBytes(audio));
        const auto before = test::readFile(path);
        ASSERT_TRUE(d.load(path));
        EXPECT_EQ(d.ui.tasks, std::vector<std::string>{"Scan for Tracks"});
        EXPECT_EQ(d.doc->status(), kWaveNotCorrected);
        EXPECT_STREQ(d.doc->statusString(), "Wave Not Corrected");
        EXPECT_TRUE(d.doc->scanned());
        EXPECT_TRUE(realCorrections(d.doc->corrections).empty());
        EXPECT_EQ(trackMarkers(d.doc->corrections).size(), 2u);
        EXPECT_EQ(d.working(), before);
        EXPECT_EQ(d.ui.scanOptionsShown, 0);
        EXPECT_FALSE(d.ui.shown) << "the progress display is taken down";
        EXPECT_EQ(d.ui.statusPanes[1], "Scanning...");
        EXPECT_EQ(d.ui.low, 0);
        EXPECT_EQ(d.ui.high, static_cast<int64_t>(before.size()));
        EXPECT_EQ(d.ui.position, d.pos(kLeadFrames + (d.blocks() - 1) * kBlockFrames));
    }
    for (int subtractor : {1, 0}) {
        Driver d(
            {{"Source", ids::kTape}, {"Mode", ids::kDifferential}, {"Subtractor", subtractor}});
        std::string path = d.put("tape.wav", test::wavBytes(audio));
        const auto before = test::readFile(path);
        ASSERT_TRUE(d.load(path));
        std::vector<std::string> tasks{"Scan for Tracks"};
        if (subtractor) tasks.push_back("Apply Hiss Filter");
        EXPECT_EQ(d.ui.tasks, tasks);
        EXPECT_EQ(d.doc->scan.mode, ids::kPerChannel);
        EXPECT_TRUE(realCorrections(d.doc->corrections).empty());
        EXPECT_EQ(d.doc->status(), kWaveNotCorrected);
        // With "Subtractor" on, the tape is de-hissed as it loads; the report says so.
        const bool hissInReport = d.doc->StatusReport().find("\tHiss\n") != std::string::npos;
        EXPECT_EQ(hissInReport, subtractor != 0);
        EXPECT_EQ(d.working() != before, subtractor != 0);
    }
    {
        // Cancelling the hiss filter puts the unfiltered audio back. The load alone pumps as
        // often as a load without the filter does; the pumps after those are the filter's.
        Driver plain({{"Source", ids::kTape}, {"Subtractor", 0}});
        ASSERT_TRUE(plain.load(plain.put("tape.wav", test::wavBytes(audio))));
        Driver d({{"Source", ids::kTape}, {"Subtractor", 2}});
        std::string path = d.put("tape.wav", test::wavBytes(audio));
        const auto before = test::readFile(path);
        d.ui.cancelAt = {plain.ui.pumps + 3};
        d.ui.answers = {Answer::Yes};
        ASSERT_TRUE(d.load(path));
        ASSERT_EQ(d.ui.questions.size(), 1u);
        EXPECT_EQ(d.ui.questions[0], "Hiss filtering will be removed and\nthe unfiltered wave "
                                     "will be restored.\nReally Cancel?");
        EXPECT_EQ(d.working(), before);
        EXPECT_NE(d.doc->StatusReport().find("Filters:\n\tNone\n"), std::string::npos);
        EXPECT_EQ(d.ui.tasks[3], "Recover Waveform");
    }
    {
        // The tape form of the first cancel question; Cancel goes on.
        Driver d({{"Source", ids::kTape}});
        d.ui.cancelAt = {2};
        d.ui.answers = {Answer::Cancel};
        ASSERT_TRUE(d.load(d.put("tape.wav", test::wavBytes(audio))));
        EXPECT_EQ(d.ui.questions,
                  std::vector<std::string>{"Do you want to continue loading the file\nwithout "
                                           "applying the hiss filter?\n(This can take a few "
                                           "minutes)"});
        EXPECT_EQ(d.doc->cancelPosition(), 0);
        EXPECT_GE(d.doc->status(), kWaveNotCorrected);
    }
}

TEST(LoadDriver, FirstRunTakesSensitivityThreeAndShowsTheOptions) {
    const Stereo audio = test::music(3 * 44100, 44100, 4, 5000);
    Driver d({{"Sensitivity", -1}});
    ASSERT_EQ(d.doc->scan.sensitivity, -1);
    std::string path = d.put("first.wav", test::wavBytes(audio));

    // Cancelling the options dialog stops before anything is loaded.
    d.ui.scanOptionsResult = false;
    ASSERT_TRUE(d.doc->OpenWave(path));
    EXPECT_FALSE(d.doc->ProcessFile());
    EXPECT_EQ(d.ui.scanOptionsShown, 1);
    EXPECT_EQ(d.profile.getInt("Settings", "Sensitivity", 99), -1);
    EXPECT_EQ(d.doc->status(), kWaveNotScanned);
    EXPECT_TRUE(d.ui.tasks.empty());

    // OK stores every scan setting, including what the user changed.
    // Nothing was stored, so the next run is a first run again.
    d.ui.scanOptionsResult = true;
    d.doc->scan.sensitivity = -1;
    d.ui.onScanOptions = [](ScanSettings& s) {
        EXPECT_EQ(s.sensitivity, 3) << "the dialog is filled with 3";
        s.minMagnitude = 4;
    };
    ASSERT_TRUE(d.doc->ProcessFile());
    EXPECT_EQ(d.ui.scanOptionsShown, 2);
    EXPECT_EQ(d.doc->scan.sensitivity, 3);
    EXPECT_EQ(d.profile.getInt("Settings", "Sensitivity", 99), 3);
    EXPECT_EQ(d.profile.getInt("Settings", "Min Magnitude", 99), 4);
    EXPECT_EQ(d.profile.getInt("Settings", "Cor Width", 0), ids::kNormalWidth);
    EXPECT_EQ(d.ui.tasks,
              (std::vector<std::string>{"Scan for Tracks and Clicks", "Generate Corrections"}));
    EXPECT_EQ(d.doc->status(), kReadyToSave);

    // A stored sensitivity on a freshly opened file: no dialog.
    Driver e({{"Sensitivity", 2}});
    ASSERT_TRUE(e.load(e.put("again.wav", test::wavBytes(audio))));
    EXPECT_EQ(e.ui.scanOptionsShown, 0);
    EXPECT_EQ(e.doc->status(), kReadyToSave);
}

// ---- A vinyl side with clicks ------------------------------------------------------------------

TEST(LoadDriver, CorrectsTheClicksAndLeavesTheRestAndTheSourceAlone) {
    const VinylSide& side = vinylSide();
    Driver d({{"Split Tracks", 1}});
    std::string path = d.put("side1.wav", test::wavBytes(side.samples));
    const auto before = test::readFile(path);
    ASSERT_TRUE(d.load(path));

    EXPECT_EQ(d.doc->status(), kReadyToSave);
    EXPECT_STREQ(d.doc->statusString(), "Ready to Save");
    EXPECT_TRUE(d.doc->scanned());
    EXPECT_FALSE(d.doc->mono());
    EXPECT_EQ(d.doc->cancelPosition(), 0);
    EXPECT_EQ(d.ui.currentTask, 1);
    EXPECT_EQ(d.doc->currentEntry, 1);
    EXPECT_EQ(d.ui.high, static_cast<int64_t>(d.doc->corrections.count() - 1))
        << "the last progress range is that of making corrections";

    const auto list = realCorrections(d.doc->corrections);
    for (const Click& k : side.clicks) EXPECT_TRUE(found(list, d, k)) << "click at " << k.frame;
    int stray = 0;
    for (const Correction& c : list) {
        EXPECT_EQ((c.position - d.doc->store.layout.dataStart) % 4, 0);
        EXPECT_GE(c.position, d.doc->store.layout.firstCorrectable);
        EXPECT_LE(c.position, d.doc->store.layout.lastCorrectable);
        bool near = std::any_of(side.clicks.begin(), side.clicks.end(), [&](const Click& k) {
            return covers(c, d.pos(k.frame + k.widthFrames / 2), 64);
        });
        stray += !near;
    }
    EXPECT_LE(stray, 2) << "of " << list.size();

    // The source is untouched; the working file differs from it only inside the spans, and
    // at every click.
    EXPECT_EQ(test::readFile(path), before);
    const auto working = d.working();
    int changed = 0;
    EXPECT_TRUE(changesOnlyInSpans(before, working, list, &changed));
    EXPECT_GT(changed, 0);
    for (const Click& k : side.clicks) {
        size_t at = static_cast<size_t>(d.pos(k.frame));
        EXPECT_FALSE(std::equal(before.begin() + static_cast<long>(at),
                                before.begin() + static_cast<long>(at) + 4 * k.widthFrames,
                                working.begin() + static_cast<long>(at)))
            << "click at " << k.frame << " is still there";
    }

    // One track over the whole side, its markers in the list.
    EXPECT_EQ(d.ui.progressLines[1], "Tracks Found = 1");
    EXPECT_EQ(d.doc->tracks.count(), 2);
    EXPECT_EQ(trackMarkers(d.doc->corrections).size(), 2u);
}

// ---- Cancelling the load -----------------------------------------------------------------------

TEST(LoadDriver, CancelQuestionsDuringTheScan) {
    const VinylSide& side = shortSide();
    const auto bytes = test::wavBytes(side.samples);

    // The run without any cancel, to compare with.
    Driver ref;
    ASSERT_TRUE(ref.load(ref.put("side.wav", bytes)));
    const auto refList = ref.doc->corrections.entries();
    const auto refWorking = ref.working();
    ASSERT_GE(ref.blocks(), 5);
    ASSERT_EQ(ref.ui.questions.size(), 0u);

    // Cancel: as if nothing had happened.
    {
        Driver d;
        d.ui.cancelAt = {2};
        d.ui.answers = {Answer::Cancel};
        ASSERT_TRUE(d.load(d.put("side.wav", bytes)));
        EXPECT_EQ(d.ui.questions, std::vector<std::string>{kContinueQuestion});
        EXPECT_EQ(d.doc->status(), kReadyToSave);
        EXPECT_EQ(d.doc->corrections.entries(), refList);
        EXPECT_EQ(d.working(), refWorking);
    }

    // Yes: the load goes on without detection from the third block on; what was found stays.
    const int cancelBlock = 3; // blocks 0 and 1 are scanned: frames 1024 .. 132096
    const int32_t scannedTo = 4 * (kLeadFrames + (cancelBlock - 1) * kBlockFrames);
    for (bool askAgain : {false, true}) {
        Driver d;
        d.ui.cancelAt = {cancelBlock};
        d.ui.answers = {Answer::Yes};
        if (askAgain) {
            // A second press asks whether to give up the load; No keeps loading.
            d.ui.cancelAt.push_back(cancelBlock + 2);
            d.ui.answers.push_back(Answer::No);
        }
        std::string path = d.put("side.wav", bytes);
        ASSERT_TRUE(d.load(path));
        std::vector<std::string> asked{kContinueQuestion};
        if (askAgain) asked.push_back(kAbortLoadQuestion);
        EXPECT_EQ(d.ui.questions, asked);
        EXPECT_EQ(d.doc->status(), kScanIncomplete);
        EXPECT_STREQ(d.doc->statusString(), "Scan Incomplete");
        EXPECT_EQ(d.doc->cancelPosition(), d.doc->store.layout.dataStart + scannedTo);
        EXPECT_EQ(d.ui.progressLines[0], "Scan cancelled. Continuing to load file...");
        EXPECT_EQ(d.ui.tasks[1], "Operation Cancelled");
        EXPECT_EQ(d.ui.tasks[2], "");
        EXPECT_EQ(d.ui.markedTask, 0);
        EXPECT_EQ(d.ui.currentTask, 0);
        EXPECT_EQ(d.working(), bytes) << "a full, uncorrected copy";

        const auto list = realCorrections(d.doc->corrections);
        const auto refReal = realCorrections(ref.doc->corrections);
        int early = 0;
        for (const Click& k : side.clicks) {
            if (d.pos(k.frame) < scannedTo - 4096) {
                EXPECT_TRUE(found(list, d, k)) << "click at " << k.frame;
                ++early;
            } else if (d.pos(k.frame) > scannedTo + 4096) {
                EXPECT_FALSE(found(list, d, k)) << "click at " << k.frame;
            }
        }
        EXPECT_EQ(early, 3);
        // What was found is what the full scan found in the same stretch.
        for (const Correction& c : list) {
            EXPECT_LT(c.position, scannedTo + 4096);
            EXPECT_NE(std::find(refReal.begin(), refReal.end(), c), refReal.end())
                << "correction at " << c.position;
        }
        EXPECT_EQ(trackMarkers(d.doc->corrections).size(), 2u);
        EXPECT_EQ(d.ui.tasks.size(), 3u) << "the later tasks are not run";
    }

    // No: the load is abandoned and the document emptied.
    {
        Driver d;
        d.ui.cancelAt = {2};
        d.ui.answers = {Answer::No};
        std::string path = d.put("side.wav", bytes);
        ASSERT_TRUE(d.doc->OpenWave(path));
        const std::string working = d.doc->workingPath();
        EXPECT_FALSE(d.doc->ProcessFile());
        EXPECT_EQ(d.ui.questions, std::vector<std::string>{kContinueQuestion});
        EXPECT_EQ(d.ui.pumps, 2) << "the loop stops at once";
        EXPECT_FALSE(d.doc->isLoaded());
        EXPECT_FALSE(std::filesystem::exists(working));
        EXPECT_EQ(d.doc->title(), "Wave File - Not Yet Loaded");
        EXPECT_EQ(d.doc->status(), kWaveNotLoaded);
        EXPECT_EQ(d.doc->corrections.count(), 2);
        EXPECT_TRUE(d.doc->overview.chunkLevels.empty());
        EXPECT_FALSE(d.ui.shown);
        EXPECT_EQ(test::readFile(path), bytes);
    }

    // Yes, then Yes to the second question: the load is abandoned after all.
    {
        Driver d;
        d.ui.cancelAt = {2, 4};
        d.ui.answers = {Answer::Yes, Answer::Yes};
        std::string path = d.put("side.wav", bytes);
        ASSERT_TRUE(d.doc->OpenWave(path));
        const std::string working = d.doc->workingPath();
        EXPECT_FALSE(d.doc->ProcessFile());
        EXPECT_EQ(d.ui.questions,
                  (std::vector<std::string>{kContinueQuestion, kAbortLoadQuestion}));
        EXPECT_EQ(d.ui.pumps, 4);
        EXPECT_FALSE(d.doc->isLoaded());
        EXPECT_FALSE(std::filesystem::exists(working));
        EXPECT_EQ(d.doc->title(), "Wave File - Not Yet Loaded");
        EXPECT_EQ(d.doc->cancelPosition(), 0);
    }
}

TEST(LoadDriver, ReprocessAsksAndStartsFromAFreshCopy) {
    const VinylSide& side = shortSide();
    Driver d;
    std::string path = d.put("side.wav", test::wavBytes(side.samples));
    const auto source = test::readFile(path);
    ASSERT_TRUE(d.load(path));
    ASSERT_EQ(d.doc->status(), kReadyToSave);
    const auto firstList = d.doc->corrections.entries();
    const auto firstWorking = d.working();
    const auto firstLevels = d.doc->overview.chunkLevels;
    const double firstLevelSum = d.doc->overview.levelSum;
    ASSERT_NE(firstWorking, source);
    const int shown = d.ui.scanOptionsShown;

    // No: nothing changes.
    d.ui.answers = {Answer::No};
    EXPECT_FALSE(d.doc->ProcessFile());
    EXPECT_EQ(d.ui.questions, std::vector<std::string>{kReprocessQuestion});
    EXPECT_EQ(d.doc->status(), kReadyToSave);
    EXPECT_EQ(d.doc->corrections.entries(), firstList);
    EXPECT_EQ(d.working(), firstWorking);
    EXPECT_EQ(d.ui.scanOptionsShown, shown);

    // Yes: the options are shown, then the same load as the first one. A working file spoilt
    // in between (as filters or edits would) is replaced by the source again.
    {
        std::vector<uint8_t> junk(100000, 0x55);
        d.doc->store.writeWorking(d.pos(200000), junk.data(), junk.size());
        d.doc->store.leftGain = 0.5f;
    }
    d.ui.questions.clear();
    d.ui.answers = {Answer::Yes};
    EXPECT_TRUE(d.doc->ProcessFile());
    EXPECT_EQ(d.ui.questions, std::vector<std::string>{kReprocessQuestion});
    EXPECT_EQ(d.ui.scanOptionsShown, shown + 1);
    EXPECT_EQ(d.doc->status(), kReadyToSave);
    EXPECT_EQ(d.doc->store.leftGain, 1.0f);
    EXPECT_EQ(d.doc->corrections.entries(), firstList);
    EXPECT_EQ(d.working(), firstWorking);
    EXPECT_EQ(d.doc->overview.chunkLevels, firstLevels);
    EXPECT_EQ(d.doc->overview.levelSum, firstLevelSum);
    EXPECT_EQ(test::readFile(path), source);

    // Cancelling the re-scan at the third block stops it there. The corrections found before
    // stay in the list, unapplied, and none of the previous run's corrections may be left in
    // the working file behind the list's back.
    d.ui.questions.clear();
    d.ui.answers = {Answer::Yes, Answer::Yes};
    d.ui.cancelAt = {d.ui.pumps + 3};
    EXPECT_TRUE(d.doc->ProcessFile());
    EXPECT_EQ(d.ui.questions, (std::vector<std::string>{
                                  kReprocessQuestion, "Re-Scan will be aborted.\nReally Cancel?"}));
    const int32_t stop = d.pos(kLeadFrames + 2 * kBlockFrames);
    EXPECT_EQ(d.doc->cancelPosition(), stop);
    EXPECT_EQ(d.doc->status(), kScanIncomplete);
    EXPECT_TRUE(d.doc->isLoaded());
    const auto partial = realCorrections(d.doc->corrections);
    int kept = 0;
    for (const Correction& c : partial) {
        EXPECT_LT(c.position, stop + 4096);
        kept += std::find(firstList.begin(), firstList.end(), c) != firstList.end();
    }
    EXPECT_EQ(kept, static_cast<int>(partial.size()));
    EXPECT_GE(kept, 3);
    EXPECT_EQ(trackMarkers(d.doc->corrections).size(), 2u);
    EXPECT_EQ(d.working(), source);
}

TEST(LoadDriver, CancelledCorrectionsAreUndone) {
    const VinylSide& side = shortSide();
    Driver d;
    std::string path = d.put("side.wav", test::wavBytes(side.samples));
    const auto source = test::readFile(path);
    ASSERT_TRUE(d.doc->OpenWave(path));
    const int blocks = d.blocks();
    // The third correction made asks "Really Cancel?"; the scripted answer is Yes.
    d.ui.cancelAt = {blocks + 3};
    ASSERT_TRUE(d.doc->ProcessFile());

    EXPECT_EQ(d.ui.questions, std::vector<std::string>{"Really Cancel?"});
    EXPECT_EQ(d.doc->status(), kProcessingAborted);
    EXPECT_STREQ(d.doc->statusString(), "Processing Aborted");
    EXPECT_NE(d.doc->cancelPosition(), 0);
    EXPECT_EQ(d.ui.tasks.size(), 4u);
    EXPECT_EQ(d.ui.tasks[2], "Operation Cancelled");
    EXPECT_EQ(d.ui.tasks[3], "Recover Waveform");
    EXPECT_EQ(d.ui.currentTask, 2);
    EXPECT_EQ(d.ui.markedTask, 2);

    EXPECT_EQ(d.working(), source) << "the corrections made are taken out again";
    const auto& list = d.doc->corrections;
    ASSERT_EQ(list.count(), 4) << "sentinels around the two track markers";
    EXPECT_EQ(list[1].width, -2);
    EXPECT_EQ(list[2].width, -3);
    EXPECT_EQ(list[0].position, 0);
    EXPECT_EQ(list[3].position, 0);
    for (int32_t n : list.blockCounters()) EXPECT_EQ(n, 0);
    EXPECT_EQ(d.doc->currentEntry, 1);
    EXPECT_EQ(test::readFile(path), source);
}

// ---- File layouts ------------------------------------------------------------------------------

TEST(LoadDriver, TrailingChunksAndOddDataStartSurviveTheLoad) {
    const VinylSide& side = shortSide();

    // The plain file, for comparison.
    Driver ref;
    ASSERT_TRUE(ref.load(ref.put("side.wav", test::wavBytes(side.samples))));
    const auto refList = realCorrections(ref.doc->corrections);
    ASSERT_FALSE(refList.empty());

    // A LIST chunk after the data.
    {
        WavOptions o;
        const std::string text = "Tarnival test";
        o.trailing = {'L', 'I', 'S', 'T', 26,  0,   0,  0, 'I', 'N',
                      'F', 'O', 'I', 'S', 'F', 'T', 14, 0, 0,   0};
        o.trailing.insert(o.trailing.end(), text.begin(), text.end());
        o.trailing.push_back(0);
        Driver d;
        std::string path = d.put("list.wav", test::wavBytes(side.samples, o));
        const auto source = test::readFile(path);
        ASSERT_TRUE(d.load(path));
        ASSERT_EQ(d.doc->store.layout.trailingLength, static_cast<int32_t>(o.trailing.size()));
        EXPECT_EQ(d.doc->status(), kReadyToSave);
        const auto working = d.working();
        ASSERT_EQ(working.size(), source.size());
        EXPECT_TRUE(std::equal(source.end() - static_cast<long>(o.trailing.size()), source.end(),
                               working.end() - static_cast<long>(o.trailing.size())));
        EXPECT_TRUE(changesOnlyInSpans(source, working, realCorrections(d.doc->corrections)));
        EXPECT_EQ(realCorrections(d.doc->corrections), refList);
    }

    // A trailing chunk longer than a block: every byte of it is kept too.
    {
        WavOptions o;
        const size_t payload = 300000;
        o.trailing = {'j', 'u', 'n', 'k'};
        for (int i = 0; i < 4; ++i) o.trailing.push_back(static_cast<uint8_t>(payload >> (8 * i)));
        for (size_t i = 0; i < payload; ++i) o.trailing.push_back(static_cast<uint8_t>(i * 7 + 1));
        Driver d({{"Sensitivity", 0}});
        std::string path = d.put("junk.wav", test::wavBytes(side.samples, o));
        ASSERT_TRUE(d.load(path));
        EXPECT_EQ(d.working(), test::readFile(path));
    }

    // fmt length 18: data start 46, frames on positions 2 mod 4. The same audio gives the same
    // corrections, two bytes further on.
    {
        WavOptions o;
        o.fmtLength = 18;
        Driver d;
        std::string path = d.put("cb.wav", test::wavBytes(side.samples, o));
        const auto source = test::readFile(path);
        ASSERT_TRUE(d.load(path));
        ASSERT_EQ(d.doc->store.layout.dataStart, 46);
        ASSERT_EQ(d.doc->store.layout.frameRemainder, 2);
        EXPECT_EQ(d.doc->status(), kReadyToSave);
        const auto list = realCorrections(d.doc->corrections);
        ASSERT_EQ(list.size(), refList.size());
        for (size_t i = 0; i < list.size(); ++i) {
            EXPECT_EQ(list[i].position, refList[i].position + 2);
            EXPECT_EQ(list[i].width, refList[i].width);
            EXPECT_EQ(list[i].magnitude, refList[i].magnitude);
            EXPECT_EQ(list[i].position % 4, 2);
        }
        const auto working = d.working();
        EXPECT_TRUE(changesOnlyInSpans(source, working, list));
        // The corrected audio is the same as that of the plain file.
        const auto refWorking = ref.working();
        EXPECT_TRUE(std::equal(working.begin() + 46, working.end(), refWorking.begin() + 44));
        EXPECT_EQ(test::readFile(path), source);
    }
}

// ---- Overview data -----------------------------------------------------------------------------

TEST(Overview, HalfWaveSumsWithHysteresis) {
    // Interleaved left, right; the channels count their turns separately.
    auto interleave = [](const std::vector<int16_t>& l, const std::vector<int16_t>& r) {
        std::vector<int16_t> out;
        for (size_t i = 0; i < l.size(); ++i) {
            out.push_back(l[i]);
            if (i < r.size()) out.push_back(r[i]);
        }
        return out;
    };
    {
        // Left starts positive: -15 is inside the hysteresis, -25 turns (sum 0 = 5 - 15), the
        // turning sample opens sum 1 (-25 + 10 + 15 = 0), +25 turns again and ends the sums.
        // Right starts negative (first sample not above 0): +30 turns, -100 ends it.
        auto s = interleave({5, -15, -25, 10, 15, 25, -5, -21, 30},
                            {-50, -10, 30, 40, -100, 0, 0, 0, 0});
        ChunkOverview o = chunkOverview(s.data(), static_cast<int>(s.size()));
        const int left = 151 - 10 - 0, right = 230 - 60 - 70;
        EXPECT_EQ(o.level, left + right);
        EXPECT_EQ(o.levelSum, 151 + 230);
        EXPECT_EQ(o.balanceSum, 230 - 151);
    }
    {
        // Exactly -20 / +20 do not turn; a first sample of 0 counts as negative.
        auto s = interleave({100, -20, -20, 100}, {0, 20, 21, 5, -30, 7});
        // Left: never turns, sum 0 = 160. Right has two more samples than left: only four
        // pairs are interleaved, so right is 0, 20, 21, 5: 21 turns (sum 0 = 20, sum 1 = 26).
        ChunkOverview o = chunkOverview(s.data(), static_cast<int>(s.size()));
        EXPECT_EQ(o.level, (240 - 160) + (46 - 20 - 26));
    }
    {
        // Odd count: a last left sample without its right one. Left: 300 positive, -300 turns
        // (sum 0 = 300), 400 turns again. Right: constant, all in sum 0.
        std::vector<int16_t> s = {300, 1000, -300, 1000, 400};
        ChunkOverview o = chunkOverview(s.data(), 5);
        EXPECT_EQ(o.level, (1000 - 300 - 300) + (2000 - 2000));
        EXPECT_EQ(o.levelSum, 3000);
        EXPECT_EQ(o.balanceSum, 2000 - 1000);
    }
    {
        // Envelope: from 0, divided by 256 truncating toward zero.
        std::vector<int16_t> s = {-300, 4000, 255, 1000, -255, -32768, 600, 32767};
        ChunkOverview o = chunkOverview(s.data(), 8);
        EXPECT_EQ(o.envelope, (std::array<int8_t, 4>{-1, 2, -128, 127}));
        std::vector<int16_t> positive = {10, 300, 700, 900};
        o = chunkOverview(positive.data(), 4);
        EXPECT_EQ(o.envelope, (std::array<int8_t, 4>{0, 2, 0, 3}));
        o = chunkOverview(positive.data(), 0);
        EXPECT_EQ(o.level, 0);
        EXPECT_EQ(o.envelope, (std::array<int8_t, 4>{0, 0, 0, 0}));
        EXPECT_EQ(o.levelSum, 0);
    }
}

// Square waves whose chunk levels are known: chunk j (1024 frames from frame 1024 j) has left
// half-waves of 128 frames at amplitude A(j) and a constant right channel of B(j), whose sign
// alternates. The first frame of every block after the first is silent; the 1024 frames before
// the first block are loud and must not count.
int ampA(int j) {
    return 100 * (1 + j % 37);
}
int ampB(int j) {
    return (j % 2 ? 1 : -1) * 300 * (j % 5);
}

Stereo squareSignal(int frames) {
    Stereo s(static_cast<size_t>(frames) * 2);
    for (int f = 0; f < frames; ++f) {
        int16_t l = 30000, r = -30000;
        if (f >= kLeadFrames) {
            int j = f / 1024, k = f % 1024;
            l = static_cast<int16_t>((k / 128) % 2 ? -ampA(j) : ampA(j));
            r = static_cast<int16_t>(ampB(j));
            if ((f - kLeadFrames) % kBlockFrames == 0 && f > kLeadFrames) l = r = 0;
        }
        s[2 * static_cast<size_t>(f)] = l;
        s[2 * static_cast<size_t>(f) + 1] = r;
    }
    return s;
}

TEST(LoadDriver, OverviewOfAKnownSignal) {
    // Three full blocks and a fourth of 120000 bytes, of which (120000 - 7096) / 2 + 1 = 56453
    // samples are looked at: 27 chunks and 1157 samples (579 left, 578 right) of chunk 220.
    const int frames = kLeadFrames + 3 * kBlockFrames + 30000;
    Driver d({{"Sensitivity", 0}});
    ASSERT_TRUE(d.load(d.put("square.wav", test::wavBytes(squareSignal(frames)))));
    ASSERT_EQ(d.blocks(), 4);
    const auto& levels = d.doc->overview.chunkLevels;
    const auto& env = d.doc->overview.chunkEnvelope;
    ASSERT_EQ(levels.size(), static_cast<size_t>((44 + 4 * frames) / 4096 + 1));
    ASSERT_EQ(levels.size(), 223u);

    double levelSum = 0, balanceSum = 0;
    for (int j = 1; j <= 219; ++j) {
        const int a = ampA(j), b = ampB(j);
        const bool blockStart = j % 64 == 1 && j > 1;
        // Left: all |A| less the first two half-waves (|+128A| and |-128A|), or, when the chunk
        // starts silent, less the 127 samples after the first turn. Right never turns.
        const int expect = blockStart ? 896 * a : 768 * a;
        EXPECT_EQ(levels[static_cast<size_t>(j)], expect) << "chunk " << j;
        const std::array<int8_t, 4> e{static_cast<int8_t>(-a / 256), static_cast<int8_t>(a / 256),
                                      static_cast<int8_t>(std::min(b, 0) / 256),
                                      static_cast<int8_t>(std::max(b, 0) / 256)};
        EXPECT_EQ(env[static_cast<size_t>(j)], e) << "chunk " << j;
        const int n = blockStart ? 1023 : 1024;
        levelSum += n * (a + std::abs(b));
        balanceSum += n * (std::abs(b) - a);
    }
    // Chunk 220, partly: left 128 +A, 128 -A, 128 +A, 128 -A, 67 +A; right is 0 there.
    const int a = ampA(220);
    ASSERT_EQ(ampB(220), 0);
    EXPECT_EQ(levels[220], (579 - 256) * a);
    EXPECT_EQ(env[220], (std::array<int8_t, 4>{static_cast<int8_t>(-a / 256),
                                               static_cast<int8_t>(a / 256), 0, 0}));
    levelSum += 579 * a;
    balanceSum -= 579 * a;
    // Nothing before the first block or after the last samples looked at.
    for (size_t j : {size_t{0}, size_t{221}, size_t{222}}) {
        EXPECT_EQ(levels[j], 0) << j;
        EXPECT_EQ(env[j], (std::array<int8_t, 4>{0, 0, 0, 0})) << j;
    }
    EXPECT_EQ(d.doc->overview.levelSum, levelSum);
    EXPECT_EQ(d.doc->overview.balanceSum, balanceSum);
}

// ---- Mono input ---------------------------------------------------------------------------

TEST(LoadDriver, MonoFileInDifferentialModeFallsBackToPerChannel) {
    Stereo audio = test::music(6 * 44100, 44100, 8, 7000);
    for (size_t i = 0; i < audio.size(); i += 2) audio[i + 1] = audio[i];
    test::addClick(audio, Click{100000, 6, 12000});
    test::addClick(audio, Click{200000, 9, -11000});
    {
        Driver d({{"Mode", ids::kDifferential}});
        ASSERT_TRUE(d.load(d.put("mono.wav", test::wavBytes(audio))));
        EXPECT_EQ(d.ui.messages, std::vector<std::string>{kMonoMessage});
        EXPECT_TRUE(d.doc->mono());
        EXPECT_EQ(d.doc->scan.mode, ids::kPerChannel);
        EXPECT_EQ(d.doc->status(), kReadyToSave);
        const auto list = realCorrections(d.doc->corrections);
        EXPECT_TRUE(found(list, d, Click{100000, 6, 12000}));
        EXPECT_TRUE(found(list, d, Click{200000, 9, -11000}));
    }
    {
        // Per Channel mode: mono is noted, no message.
        Driver d({{"Mode", ids::kPerChannel}});
        ASSERT_TRUE(d.load(d.put("mono.wav", test::wavBytes(audio))));
        EXPECT_TRUE(d.ui.messages.empty());
        EXPECT_TRUE(d.doc->mono());
    }
    {
        // A stereo file keeps its differential mode.
        Driver d({{"Mode", ids::kDifferential}, {"Sensitivity", 0}});
        ASSERT_TRUE(d.load(d.put("stereo.wav", test::wavBytes(shortSide().samples))));
        EXPECT_TRUE(d.ui.messages.empty());
        EXPECT_FALSE(d.doc->mono());
        EXPECT_EQ(d.doc->scan.mode, ids::kDifferential);
    }
}

// ---- Status report ----------------------------------------------------------------------------

TEST(LoadDriver, StatusReport) {
    const VinylSide& side = shortSide();
    Driver d;
    EXPECT_EQ(d.doc->StatusReport(), "File Not Loaded");
    ASSERT_TRUE(d.load(d.put("side.wav", test::wavBytes(side.samples))));
    const int clicks = static_cast<int>(realCorrections(d.doc->corrections).size());
    ASSERT_GT(clicks, 0);
    auto report = [&](int n, const std::string& left, const std::string& right,
                      const std::string& rate) {
        return "Tracks Found: 1\n\nClicks Corrected: " + std::to_string(n) +
               "\n\nCurrently Applied Filters:\n\tNone\n\nTreble Control: None\n\nVolume "
               "Adjustments\n\tLeft: " +
               left + "dB\n\tRight: " + right + "dB\n\nSample Rate: " + rate + " kS/sec";
    };
    EXPECT_EQ(d.doc->StatusReport(), report(clicks, "+0.0", "+0.0", "44.1"));

    // Gains show in dB.
    d.doc->store.leftGain = 0.5f;
    d.doc->store.rightGain = 2.0f;
    EXPECT_EQ(d.doc->StatusReport(), report(clicks, "-6.0", "+6.0", "44.1"));

    // A correction being inserted by the user is not counted yet.
    int at = d.doc->corrections.insertOrdered(
        Correction{1, 0, d.pos(300000), 20, magnitude_codes::kInsertedCurrent});
    d.doc->currentEntry = at;
    EXPECT_EQ(d.doc->StatusReport(), report(clicks, "-6.0", "+6.0", "44.1"));
    d.doc->currentEntry = 1;
    EXPECT_EQ(d.doc->StatusReport(), report(clicks + 1, "-6.0", "+6.0", "44.1"));

    d.doc->CloseWave();
    EXPECT_EQ(d.doc->StatusReport(), "File Not Loaded");

    // 48 kHz.
    WavOptions o;
    o.rate = 48000;
    Driver e({{"Sensitivity", 0}});
    ASSERT_TRUE(e.load(e.put("side48.wav", test::wavBytes(test::music(4 * 48000, 48000), o))));
    EXPECT_EQ(e.doc->StatusReport(), report(0, "+0.0", "+0.0", "48.0"));
}

// ---- APE input ----------------------------------------------------------------------------

TEST(LoadDriver, ApeInputDecodesIntoTheTemporarySource) {
    const VinylSide& side = shortSide();
    Driver wav;
    std::string wavPath = wav.put("side.wav", test::wavBytes(side.samples));
    const auto wavBytes = test::readFile(wavPath);
    Driver ape;
    std::string apePath = ape.dir.file("side.ape");
    const std::string why = test::encodeApe(wavPath, apePath);
    ASSERT_TRUE(why.empty()) << why;

    ASSERT_TRUE(wav.load(wavPath));
    // A file of the user's that happens to have the name the decoded audio once had.
    const std::string users = ape.put("side.tmp", {'m', 'i', 'n', 'e'});
    ape.doc->setApeVersionCheck(false);
    ASSERT_TRUE(ape.load(apePath));
    EXPECT_TRUE(ape.doc->isApe());
    EXPECT_EQ(ape.doc->title(), apePath);
    EXPECT_EQ(ape.doc->status(), kReadyToSave);

    // The temporary source holds the decoded file: the same bytes as the wave file (whose
    // header is the plain 44-byte one).
    const std::string tmp = ape.dir.file("side~.tmp");
    EXPECT_EQ(ape.doc->sourcePath(), tmp);
    EXPECT_EQ(test::readFile(tmp), wavBytes);

    // Same corrections, same corrected audio as the wave input; the original elsewhere.
    EXPECT_EQ(ape.doc->corrections.entries(), wav.doc->corrections.entries());
    const auto working = ape.working();
    EXPECT_EQ(working, wav.working());
    EXPECT_TRUE(changesOnlyInSpans(wavBytes, working, realCorrections(ape.doc->corrections)));
    EXPECT_EQ(ape.doc->overview.chunkLevels, wav.doc->overview.chunkLevels);

    // A re-process reads the decoded file and gives the same result.
    ape.ui.answers = {Answer::Yes};
    ASSERT_TRUE(ape.doc->ProcessFile());
    EXPECT_EQ(ape.doc->corrections.entries(), wav.doc->corrections.entries());
    EXPECT_EQ(ape.working(), working);

    const std::string workingPath = ape.doc->workingPath();
    ape.doc->CloseWave();
    EXPECT_FALSE(std::filesystem::exists(tmp));
    EXPECT_FALSE(std::filesystem::exists(workingPath));
    EXPECT_TRUE(std::filesystem::exists(apePath));
    EXPECT_EQ(test::readFile(users), (std::vector<uint8_t>{'m', 'i', 'n', 'e'}));

    // A damaged frame stops the load with a message instead of turning into silence.
    auto bytes = test::readFile(apePath);
    test::damageFrameChecksum(bytes, 2);
    const std::string damaged = ape.put("damaged.ape", bytes);
    ape.ui.messages.clear();
    EXPECT_FALSE(ape.load(damaged));
    ASSERT_EQ(ape.ui.messages.size(), 1u);
    EXPECT_EQ(ape.ui.messages[0].rfind("The APE file is damaged at 0:03", 0), 0u)
        << ape.ui.messages[0];
    EXPECT_FALSE(ape.doc->isLoaded());
    EXPECT_FALSE(std::filesystem::exists(ape.dir.file("damaged~.tmp")));
}

} // namespace
} // namespace tarnival
