// A document saved as a session and restored: the same lists, the same working audio and the
// same output tracks; a moved recording; the repair method; the command line.
#include "document/File.h"
#include "dsp/FilterChain.h"
#include "dsp/Levels.h"
#include "dsp/NoiseProfile.h"
#include "facade/Document.h"
#include "facade/RestoreJob.h"
#include "output/ApeSink.h"
#include "session/SessionFile.h"
#include "support/CliRun.h"
#include "support/CorrectionSupport.h"
#include "support/ScriptedUi.h"
#include "support/Signals.h"
#include "support/TempDir.h"
#include "synth/DemoSide.h"
#include "tracks/CutSplice.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <sys/wait.h>

namespace tarnival {
namespace {

namespace fs = std::filesystem;

void useFolder(MemoryProfile& profile, const test::TempDir& dir) {
    set(profile, settings::kTempMode, ids::kTempUser);
    set(profile, settings::kTempPath, dir.path().string());
    set(profile, settings::kSensitivity, 3);
    set(profile, settings::kSplitTracks, 1);
}

// Writes the tracks of doc into folder and returns their files' bytes by name.
std::map<std::string, std::vector<uint8_t>> writeTracks(CMorvath3Doc& doc,
                                                        const std::string& folder) {
    RestorePlan plan;
    plan.input = doc.inputPath();
    plan.outputFolder = folder;
    plan.replaceExisting = true;
    RestoreResult r = RestoreJob(doc, plan).writeTracks();
    EXPECT_EQ(r.outcome, RestoreResult::Outcome::Done);
    std::map<std::string, std::vector<uint8_t>> files;
    for (const std::string& path : r.written)
        files[fs::path(path).filename().string()] = test::readFile(path);
    return files;
}

// A processed side with something of every kind: corrections, a user correction, a cue, tags
// and timings, a cut, a balance, filters (rumble, hiss against a profile, graphic, treble) and
// view scales.
struct EditedSide {
    test::TempDir dir;
    MemoryProfile profile;
    test::ScriptedUi ui;
    std::string input;
    std::unique_ptr<CMorvath3Doc> doc;

    explicit EditedSide(int repairId = ids::kRepairStandard, bool filtersAndLevels = true) {
        useFolder(profile, dir);
        set(profile, settings::kRepairMethod, repairId);
        input = dir.file("side one.wav");
        writeDemoSide(input, 3, 10.0, 3.0, 7);
        doc = std::make_unique<CMorvath3Doc>(profile, ui);
        CMorvath3Doc& d = *doc;
        if (!d.OpenWave(input) || !d.ProcessFile()) throw std::runtime_error("load failed");
        const WaveLayout& l = d.store.layout;

        d.editor().InsertUserCorrection(l.dataStart + 4 * 60000 + 2, ui);
        d.corrections.insertOrdered({1, 0, l.dataStart + 4 * 90000, 0, magnitude_codes::kCue});
        d.corrections.raiseBlockCounter(l.dataStart + 4 * 90000);
        if (d.tracks.trackCount() < 2) throw std::runtime_error("too few tracks");
        d.tracks[1].title = "First Piece";
        d.tracks[1].artist = std::string(300, 'a');
        d.tracks[2].genre = "Jazz";
        d.tracks[0].album = "The Album";
        d.tracks[1].fadeIn = 44100 * 4 / 2;
        d.tracks[2].postSilence = 44100 * 4;
        TrackContext tctx = d.trackContext();
        if (CutAndSplice(tctx, l.dataStart + 4 * 44100, l.dataStart + 4 * 66150) < 0)
            throw std::runtime_error("cut failed");
        if (filtersAndLevels) AdjustBalance(d.store, ui, d.filters.levels, 1.2, d.countedFrames());
        // The working file rebuilt from the source through the gains, with every correction
        // made again in pass order: the state a restore rebuilds. (A correction inserted
        // later was made on top of the others, which a session cannot record.)
        FilterContext rebuild = d.filterContext();
        RemoveFilteringCommand(rebuild);
        if (filtersAndLevels) {
            FilterSettings& s = d.filters.settings;
            s.RumbleOn = true;
            s.HissOn = true;
            s.HissLevel = 2;
            s.TrebleOn = true;
            s.TrebleLevel = -1;
            s.GraphicOn = true;
            s.GraphicName = "Bright";
            for (int k = 0; k < kBins; ++k) d.filters.tables.GraphicGain[k] = k > 100 ? 1.5f : 1;
            FilterContext fctx = d.filterContext();
            if (!EnsureProfileBlock(fctx)) throw std::runtime_error("no noise profile");
            if (ApplyFilters(fctx).cancelled) throw std::runtime_error("filters cancelled");
        }
        d.verticalScale = 5;
        d.horizontalScale = 3;
        d.currentEntry = 4;
    }
};

void expectSameDocument(CMorvath3Doc& a, CMorvath3Doc& b) {
    EXPECT_EQ(a.corrections.entries(), b.corrections.entries());
    EXPECT_EQ(a.corrections.blockCounters(), b.corrections.blockCounters());
    EXPECT_EQ(a.tracks.tracks, b.tracks.tracks);
    EXPECT_EQ(a.tracks.gapless, b.tracks.gapless);
    ASSERT_EQ(a.splices.count(), b.splices.count());
    for (int i = 0; i < a.splices.count(); ++i) {
        const Splice& x = a.splices.splices[static_cast<size_t>(i)];
        const Splice& y = b.splices.splices[static_cast<size_t>(i)];
        EXPECT_EQ(std::tie(x.cutStart, x.cutEnd, x.crossFade, x.shift, x.fadeBytes),
                  std::tie(y.cutStart, y.cutEnd, y.crossFade, y.shift, y.fadeBytes));
    }
    const AppliedFilters& fa = a.filters.applied;
    const AppliedFilters& fb = b.filters.applied;
    EXPECT_EQ(std::tie(fa.AppliedRumble, fa.AppliedHum, fa.AppliedHiss, fa.AppliedTreble,
                       fa.AppliedGraphic, fa.Filtered),
              std::tie(fb.AppliedRumble, fb.AppliedHum, fb.AppliedHiss, fb.AppliedTreble,
                       fb.AppliedGraphic, fb.Filtered));
    EXPECT_EQ(a.filters.tables.GraphicGain, b.filters.tables.GraphicGain);
    EXPECT_EQ(a.store.leftGain, b.store.leftGain);
    EXPECT_EQ(a.store.rightGain, b.store.rightGain);
    EXPECT_EQ(a.overview.chunkLevels, b.overview.chunkLevels);
    EXPECT_EQ(a.overview.chunkEnvelope, b.overview.chunkEnvelope);
    EXPECT_EQ(a.overview.levelSum, b.overview.levelSum);
    EXPECT_EQ(a.verticalScale, b.verticalScale);
    EXPECT_EQ(a.horizontalScale, b.horizontalScale);
    EXPECT_EQ(a.currentEntry, b.currentEntry);
    EXPECT_EQ(a.status(), b.status());
    EXPECT_EQ(a.generator().method(), b.generator().method());
    EXPECT_TRUE(test::workingBytes(a.store) == test::workingBytes(b.store))
        << "the working audio differs";
}

TEST(SessionRestore, EverythingComesBackAndTheTracksAreIdentical) {
    EditedSide side;
    CMorvath3Doc& a = *side.doc;
    const std::string session = side.dir.file("side one.ses");
    EXPECT_EQ(a.proposedSessionPath(), session);
    a.modified = true;
    ASSERT_TRUE(a.SaveSession(session));
    EXPECT_FALSE(a.modified);

    // A second document of the same program keeps its working copy in a folder of its own.
    fs::create_directories(side.dir.file("b-temp"));
    set(side.profile, settings::kTempPath, side.dir.file("b-temp"));
    test::ScriptedUi ui;
    CMorvath3Doc b(side.profile, ui);
    ASSERT_TRUE(b.OpenDocument(session)) << (ui.messages.empty() ? "" : ui.messages[0]);
    EXPECT_TRUE(b.modified);
    EXPECT_EQ(b.inputPath(), side.input);
    EXPECT_EQ(ui.progressTitle, "Restoring Session");
    EXPECT_EQ(ui.tasks, (std::vector<std::string>{
                            "Load Wave File", "Restore Corrections", "Restore Rumble Filter",
                            "Restore Hiss/Graphic Filter", "Restore Treble Cut"}));
    EXPECT_EQ(b.cues, std::vector<int32_t>{b.store.layout.dataStart + 4 * 90000});
    expectSameDocument(a, b);

    const auto tracksA = writeTracks(a, side.dir.file("a"));
    const auto tracksB = writeTracks(b, side.dir.file("b"));
    ASSERT_GE(tracksA.size(), 2u);
    EXPECT_TRUE(tracksA == tracksB) << "the restored tracks differ";
}

TEST(SessionRestore, ThePreciseMethodRestoresTheSameAudio) {
    EditedSide side(ids::kRepairPrecise, false);
    CMorvath3Doc& a = *side.doc;
    ASSERT_EQ(a.generator().method(), RepairMethod::Precise);
    const std::string session = side.dir.file("precise.ses");
    ASSERT_TRUE(a.SaveSession(session));

    // The settings now say standard: the session, not the settings, decides.
    set(side.profile, settings::kRepairMethod, ids::kRepairStandard);
    fs::create_directories(side.dir.file("b-temp"));
    fs::create_directories(side.dir.file("c-temp"));
    set(side.profile, settings::kTempPath, side.dir.file("b-temp"));
    test::ScriptedUi ui;
    CMorvath3Doc b(side.profile, ui);
    ASSERT_TRUE(b.RestoreSession(session));
    expectSameDocument(a, b);

    // Without the stored method the same corrections give other audio: the method matters.
    SessionData d = readSessionFile(session);
    d.repairMethod = ids::kRepairStandard;
    writeSessionFile(session, d);
    set(side.profile, settings::kTempPath, side.dir.file("c-temp"));
    CMorvath3Doc c(side.profile, ui);
    ASSERT_TRUE(c.RestoreSession(session));
    EXPECT_EQ(c.generator().method(), RepairMethod::Standard);
    EXPECT_FALSE(test::workingBytes(a.store) == test::workingBytes(c.store));
}

TEST(SessionRestore, AMovedRecordingIsFoundOrAskedFor) {
    test::TempDir dir;
    MemoryProfile profile;
    useFolder(profile, dir);
    const std::string original = dir.file("rec/side1.wav");
    fs::create_directories(dir.file("rec"));
    fs::create_directories(dir.file("moved"));
    fs::create_directories(dir.file("elsewhere"));
    writeDemoSide(original, 2, 3.0, 2.5, 3);
    std::string session = dir.file("rec/side1.ses");
    {
        test::ScriptedUi ui;
        CMorvath3Doc doc(profile, ui);
        ASSERT_TRUE(doc.OpenWave(original) && doc.ProcessFile());
        ASSERT_TRUE(doc.SaveSession(session));
    }
    // Moved together: found beside the session without a question.
    fs::rename(original, dir.file("moved/side1.wav"));
    fs::rename(session, dir.file("moved/side1.ses"));
    session = dir.file("moved/side1.ses");
    {
        test::ScriptedUi ui;
        CMorvath3Doc doc(profile, ui);
        ASSERT_TRUE(doc.RestoreSession(session));
        EXPECT_EQ(doc.inputPath(), dir.file("moved/side1.wav"));
        EXPECT_TRUE(ui.locateTitles.empty());
    }
    {
        // A session written on a system that separates folders with '\\'.
        SessionData d = readSessionFile(session);
        d.inputPath = "C:\\rec\\side1.wav";
        writeSessionFile(session, d);
        test::ScriptedUi ui;
        CMorvath3Doc doc(profile, ui);
        ASSERT_TRUE(doc.RestoreSession(session));
        EXPECT_EQ(doc.inputPath(), dir.file("moved/side1.wav"));
        d.inputPath = original;
        writeSessionFile(session, d);
    }
    fs::rename(dir.file("moved/side1.wav"), dir.file("elsewhere/side1.wav"));
    fs::copy_file(dir.file("elsewhere/side1.wav"), dir.file("elsewhere/other.wav"));

    struct Case {
        std::optional<std::string> answer;
        bool restored;
        std::vector<std::string> messages;
    };
    const Case cases[] = {
        {std::nullopt, false, {"The file " + original + " could not be opened."}},
        {dir.file("elsewhere/other.wav"),
         false,
         {" The Filenames side1.wav and other.wav do not match.",
          "The file " + original + " could not be opened."}},
        {dir.file("elsewhere/side1.wav"), true, {}},
    };
    for (const Case& c : cases) {
        test::ScriptedUi ui;
        ui.locateAnswers.push_back(c.answer);
        CMorvath3Doc doc(profile, ui);
        // A document already open stays as it was when the restore cannot go ahead.
        ASSERT_TRUE(doc.OpenWave(dir.file("elsewhere/other.wav")));
        EXPECT_EQ(doc.RestoreSession(session), c.restored);
        EXPECT_EQ(ui.messages, c.messages);
        ASSERT_EQ(ui.locateTitles.size(), 1u);
        EXPECT_EQ(ui.locateTitles[0],
                  "Wave File not Found in Original Location... Locate File to Proceed");
        EXPECT_EQ(ui.locateProposed[0], "side1.wav");
        EXPECT_EQ(doc.inputPath(), c.restored ? *c.answer : dir.file("elsewhere/other.wav"));
    }
}

TEST(SessionRestore, ADamagedSessionLeavesTheDocumentAsItWas) {
    test::TempDir dir;
    MemoryProfile profile;
    useFolder(profile, dir);
    const std::string input = dir.file("side.wav");
    writeDemoSide(input, 2, 3.0, 2.5, 5);
    test::ScriptedUi ui;
    CMorvath3Doc doc(profile, ui);
    ASSERT_TRUE(doc.OpenWave(input) && doc.ProcessFile());
    const std::string session = dir.file("side.ses");
    ASSERT_TRUE(doc.SaveSession(session));
    const auto entries = doc.corrections.entries();
    const auto working = test::workingBytes(doc.store);
    const std::vector<uint8_t> good = test::readFile(session);

    struct Case {
        const char* name;
        std::function<void(std::vector<uint8_t>&)> spoil;
        const char* says;
    };
    const size_t countAt = 1 + input.size() + 4;
    const Case cases[] = {
        {"cut short", [](std::vector<uint8_t>& b) { b.resize(b.size() - 3); }, "ends inside"},
        {"huge list",
         [&](std::vector<uint8_t>& b) {
             b[countAt] = b[countAt + 1] = 0xFF;
             b.insert(b.begin() + static_cast<long>(countAt) + 2, {0xFF, 0xFF, 0xFF, 0x0F});
         },
         "more than the"},
        {"correction outside",
         [&](std::vector<uint8_t>& b) {
             const size_t at = countAt + 2 + 20 + 8; // entry 1's position
             b[at + 3] = 0x7F;
         },
         "outside the recording"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<uint8_t> bytes = good;
        c.spoil(bytes);
        test::writeFile(session, bytes);
        ui.messages.clear();
        EXPECT_FALSE(doc.RestoreSession(session));
        ASSERT_EQ(ui.messages.size(), 1u);
        EXPECT_EQ(ui.messages[0].rfind("The session file is damaged: ", 0), 0u) << ui.messages[0];
        EXPECT_NE(ui.messages[0].find(c.says), std::string::npos) << ui.messages[0];
        EXPECT_EQ(doc.corrections.entries(), entries);
        EXPECT_EQ(test::workingBytes(doc.store), working);
    }

    // Other file types are refused by the open command.
    ui.messages.clear();
    EXPECT_FALSE(doc.OpenDocument(dir.file("notes.txt")));
    EXPECT_EQ(ui.messages, std::vector<std::string>{"The file type is not supported"});
    // The session is never written over the recording.
    EXPECT_FALSE(doc.SaveSession(input));
    EXPECT_EQ(doc.corrections.entries(), entries);
}

TEST(SessionRestore, CancellingTheRebuildEmptiesTheDocument) {
    test::TempDir dir;
    MemoryProfile profile;
    useFolder(profile, dir);
    const std::string input = dir.file("side.wav");
    writeDemoSide(input, 2, 3.0, 2.5, 5);
    const std::string session = dir.file("side.ses");
    {
        test::ScriptedUi ui;
        CMorvath3Doc doc(profile, ui);
        ASSERT_TRUE(doc.OpenWave(input) && doc.ProcessFile() && doc.SaveSession(session));
    }
    for (Answer answer : {Answer::No, Answer::Yes}) {
        test::ScriptedUi ui;
        ui.cancelAt = {2};
        ui.answers = {answer};
        CMorvath3Doc doc(profile, ui);
        EXPECT_EQ(doc.RestoreSession(session), answer == Answer::No);
        EXPECT_EQ(ui.questions, std::vector<std::string>{"Really Cancel Restore Sesssion?"});
        EXPECT_EQ(doc.isLoaded(), answer == Answer::No);
    }
}

TEST(SessionRestore, AnApeSideIsDecodedAgainWithItsTags) {
    test::TempDir dir;
    MemoryProfile profile;
    useFolder(profile, dir);
    set(profile, settings::kSplitTracks, 0);
    test::Stereo audio = test::music(44100 * 5, 44100, 3, 5000);
    test::addClick(audio, {100000, 6, 12000});
    const std::string input = dir.file("side a.ape");
    test::writeFile(input, {});
    {
        test::ScriptedUi ui;
        ApeSink sink(input, 1, ui);
        TrackTags tags;
        tags.title = "Blue Moon";
        tags.trackNumberText = "7";
        ASSERT_TRUE(sink.begin({44100, 0, static_cast<int64_t>(audio.size() * 2)}, tags));
        sink.write(reinterpret_cast<const uint8_t*>(audio.data()), audio.size() * 2);
        ASSERT_TRUE(sink.finish());
    }
    test::ScriptedUi ui;
    CMorvath3Doc a(profile, ui);
    ASSERT_TRUE(a.OpenWave(input) && a.ProcessFile());
    ASSERT_GT(repairedClicks(a.corrections), 0);
    const std::string session = dir.file("side a.ses");
    ASSERT_TRUE(a.SaveSession(session));
    EXPECT_EQ(readSessionFile(session).inputPath, input); // the APE file, not its decoded copy

    fs::create_directories(dir.file("b-temp"));
    set(profile, settings::kTempPath, dir.file("b-temp"));
    CMorvath3Doc b(profile, ui);
    ASSERT_TRUE(b.RestoreSession(session));
    EXPECT_TRUE(b.isApe());
    EXPECT_EQ(b.tracks.trackNumberText, "7");
    expectSameDocument(a, b);
}

TEST(SessionRestore, TheStepsFollowTheAppliedFilters) {
    test::TempDir dir;
    MemoryProfile profile;
    useFolder(profile, dir);
    const std::string input = dir.file("side.wav");
    writeDemoSide(input, 2, 3.0, 2.5, 5);
    const std::string session = dir.file("side.ses");
    SessionData saved;
    {
        test::ScriptedUi ui;
        CMorvath3Doc doc(profile, ui);
        ASSERT_TRUE(doc.OpenWave(input) && doc.ProcessFile() && doc.SaveSession(session));
        saved = readSessionFile(session);
    }
    struct Case {
        int rumble, hiss, hum, treble;
        const char* graphic;
        bool corrections;
        std::vector<std::string> tasks;
    };
    const Case cases[] = {
        {0, 0, 0, 0, "", true, {"Load Wave File", "Restore Corrections"}},
        {0, 0, 0, 0, "", false, {"Load Wave File"}},
        {0,
         0,
         1,
         2,
         "",
         true,
         {"Load Wave File", "Restore Corrections", "Restore Pre-Filter", "Restore Hum Filter",
          "Restore Treble Lift"}},
        {1,
         3,
         1,
         0,
         "Warm",
         false,
         {"Load Wave File", "Restore Rumble Filter", "Restore Hiss/Hum/Graphic Filter"}},
        {0,
         1,
         0,
         -3,
         "",
         true,
         {"Load Wave File", "Restore Corrections", "Restore Hiss Filter", "Restore Treble Cut"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.tasks.back());
        SessionData d = saved;
        d.appliedRumble = c.rumble;
        d.appliedHiss = c.hiss;
        d.appliedHum = c.hum;
        d.appliedTreble = c.treble;
        d.appliedGraphic = c.graphic;
        if (!c.corrections) {
            // Markers only: nothing to make again.
            std::vector<Correction> kept;
            for (const Correction& e : d.corrections)
                if (&e == &d.corrections.front() || &e == &d.corrections.back() || e.width < 0)
                    kept.push_back(e);
            d.corrections = kept;
            d.selectedEntry = 0;
        }
        writeSessionFile(session, d);
        set(profile, settings::kSubtractor, 0);
        test::ScriptedUi ui;
        CMorvath3Doc doc(profile, ui);
        ASSERT_TRUE(doc.RestoreSession(session));
        EXPECT_EQ(ui.tasks, c.tasks);
        const AppliedFilters& a = doc.filters.applied;
        EXPECT_EQ(a.AppliedRumble, c.rumble != 0);
        EXPECT_EQ(a.AppliedHiss, c.hiss);
        EXPECT_EQ(a.AppliedHum, c.hum != 0);
        EXPECT_EQ(a.AppliedTreble, c.treble);
        EXPECT_EQ(a.AppliedGraphic, c.graphic);
        EXPECT_EQ(a.Filtered, c.rumble || c.hiss || c.hum || c.treble || *c.graphic);
        EXPECT_EQ(get(profile, settings::kSubtractor), c.hiss);
        // Without a stored selection the first track start is selected.
        if (!c.corrections) {
            ASSERT_GT(doc.currentEntry, 0);
            EXPECT_EQ(doc.corrections[doc.currentEntry].width, -2);
        }
    }
}

// Cancels once, when the restore reaches the given task.
class CancelAtTask : public test::ScriptedUi {
  public:
    explicit CancelAtTask(int task) : task_(task) {}
    bool pumpAndTakeCancel() override {
        ScriptedUi::pumpAndTakeCancel();
        if (currentTask != task_ || done_) return false;
        done_ = true;
        return true;
    }

  private:
    int task_;
    bool done_ = false;
};

TEST(SessionRestore, ACancelledFilterLeavesTheCorrectedUnfilteredAudio) {
    EditedSide side;
    const std::string session = side.dir.file("side one.ses");
    ASSERT_TRUE(side.doc->SaveSession(session));
    fs::create_directories(side.dir.file("b-temp"));
    set(side.profile, settings::kTempPath, side.dir.file("b-temp"));

    // Task 3 is the spectral pass, after the rumble filter.
    CancelAtTask ui(3);
    CMorvath3Doc b(side.profile, ui);
    ASSERT_TRUE(b.RestoreSession(session));
    EXPECT_TRUE(ui.questions.empty()); // filters stop without a question
    EXPECT_EQ(ui.tasks, (std::vector<std::string>{"Load Wave File", "Restore Corrections",
                                                  "Restore Rumble Filter", "Operation Cancelled",
                                                  "Recover Waveform", "Recover Corrections"}));
    EXPECT_FALSE(b.filters.applied.any());

    // The same as the session's corrections without its filters.
    SessionData d = readSessionFile(session);
    d.appliedRumble = d.appliedHiss = d.appliedHum = d.appliedTreble = 0;
    d.appliedGraphic.clear();
    writeSessionFile(session, d);
    fs::create_directories(side.dir.file("c-temp"));
    set(side.profile, settings::kTempPath, side.dir.file("c-temp"));
    test::ScriptedUi plain;
    CMorvath3Doc c(side.profile, plain);
    ASSERT_TRUE(c.RestoreSession(session));
    EXPECT_TRUE(test::workingBytes(b.store) == test::workingBytes(c.store));
    EXPECT_EQ(b.corrections.entries(), c.corrections.entries());
}

using test::cli;
using test::CliRun;

std::map<std::string, std::vector<uint8_t>> folderFiles(const std::string& folder) {
    std::map<std::string, std::vector<uint8_t>> files;
    for (const auto& e : fs::directory_iterator(folder))
        files[e.path().filename().string()] = test::readFile(e.path().string());
    return files;
}

TEST(SessionRestore, CommandLineSavesAndRestoresSessions) {
    test::TempDir dir;
    const std::string input = dir.file("side.wav");
    writeDemoSide(input, 3, 10.0, 3.0, 11);
    const std::string session = dir.file("kept.ses");
    CliRun first = cli("restore '" + input + "' --out '" + dir.file("one") +
                           "' --yes --rumble --treble 1 --save-session '" + session + "'",
                       dir);
    ASSERT_EQ(first.status, 0) << first.out;
    ASSERT_TRUE(fs::exists(session));
    const SessionData d = readSessionFile(session);
    EXPECT_EQ(d.inputPath, input);
    EXPECT_EQ(d.appliedRumble, 1);
    EXPECT_EQ(d.appliedTreble, 1);

    CliRun again = cli("restore '" + session + "' --out '" + dir.file("two") + "' --yes", dir);
    ASSERT_EQ(again.status, 0) << again.out;
    const auto one = folderFiles(dir.file("one"));
    ASSERT_GE(one.size(), 2u);
    EXPECT_TRUE(one == folderFiles(dir.file("two"))) << again.out;

    // Output options still apply to a session's tracks.
    CliRun flac = cli("restore '" + session + "' --out '" + dir.file("three") +
                          "' --yes --format flac --rule 'Piece #'",
                      dir);
    ASSERT_EQ(flac.status, 0) << flac.out;
    const auto three = folderFiles(dir.file("three"));
    EXPECT_EQ(three.size(), one.size());
    EXPECT_TRUE(three.count("Piece 01.flac")) << flac.out;

    // A damaged session is reported and nothing is written.
    test::writeFile(dir.file("bad.ses"), {3, 'a', 'b'});
    CliRun bad = cli("restore '" + dir.file("bad.ses") + "' --out '" + dir.file("four") + "'", dir);
    EXPECT_NE(bad.status, 0);
    EXPECT_NE(bad.out.find("The session file is damaged"), std::string::npos) << bad.out;
    EXPECT_FALSE(fs::exists(dir.file("four")));
}

} // namespace
} // namespace tarnival
