#include "output/SaveTracks.h"
#include "document/FileError.h"
#include "document/FreeSpace.h"
#include "document/Profile.h"
#include "facade/Document.h"
#include "output/OutputFixture.h"
#include "output/WaveSink.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <unistd.h>

namespace tarnival::test {
namespace {

namespace fs = std::filesystem;

const char* const kProtected =
    "The operation cannot be completed.\nThe input file must not be overwritten.";

SaveRequest request(std::vector<int> indexes, std::vector<std::string> paths, bool close) {
    SaveRequest r;
    r.trackIndexes = indexes;
    for (size_t k = 0; k < indexes.size(); ++k) r.trackNumbers.push_back(static_cast<int>(k) + 1);
    r.paths = std::move(paths);
    r.closeAfterwards = close;
    return r;
}

// Three tracks of a recording with silences and fades on every side.
struct ThreeTracks : Recording {
    ThreeTracks() : Recording(music(60000)) {
        const int32_t ds = store.layout.dataStart;
        addTrack(ds + 4704, ds + 75264, 4704, 4704, 4704, 4704, "One");
        addTrack(ds + 75264, ds + 145824, 4704, 4704, 4704, 4704, "Two");
        addTrack(ds + 145824, ds + 216384, 4704, 4704, 4704, 4704, "Three");
    }
    std::vector<std::string> outs() const {
        return {dir.file("1.wav"), dir.file("2.wav"), dir.file("3.wav")};
    }
};

bool allZero(const std::vector<uint8_t>& d, size_t from, size_t to) {
    for (size_t i = from; i < to; ++i)
        if (d[i] != 0) return false;
    return true;
}
std::vector<uint8_t> slice(const std::vector<uint8_t>& d, size_t from, size_t to) {
    return {d.begin() + static_cast<std::ptrdiff_t>(from),
            d.begin() + static_cast<std::ptrdiff_t>(to)};
}

TEST(SaveTracks, GaplessKeepsLeadInAndOutOnlyAtTheEnds) {
    ThreeTracks rec;
    OutputOptions options;
    options.gapless = true;
    OutputContext ctx = rec.context(options);
    SaveOutcome outcome = SaveTracks(ctx, rec.inputPath, request({1, 2, 3}, rec.outs(), false));
    ASSERT_EQ(outcome.status, SaveStatus::Saved);
    EXPECT_FALSE(outcome.workingFileRemoved);
    EXPECT_TRUE(rec.store.working.isOpen());
    EXPECT_EQ(outcome.written, rec.outs());
    EXPECT_EQ(rec.ui.statusPanes[1], "Ready");
    EXPECT_FALSE(rec.ui.shown);

    const size_t len = 70560;
    std::vector<ParsedWave> w;
    for (const std::string& p : rec.outs()) w.push_back(readWave(p));
    // First: pre-silence and fade-in, then the unfaded end of the track.
    ASSERT_EQ(w[0].dataSize, 4704 + len);
    EXPECT_TRUE(allZero(w[0].data, 0, 4704));
    auto& t = rec.tracks;
    EXPECT_NE(slice(w[0].data, 4704, 4704 + 9408), rec.workingBytes(t[1].start, t[1].start + 9408));
    EXPECT_EQ(slice(w[0].data, 4704 + len - 9408, 4704 + len),
              rec.workingBytes(t[1].end - 9408, t[1].end));
    // Middle: exactly the working file's bytes.
    ASSERT_EQ(w[1].dataSize, len);
    EXPECT_TRUE(w[1].data == rec.workingBytes(t[2].start, t[2].end));
    // Last: unfaded start, fade-out and post-silence.
    ASSERT_EQ(w[2].dataSize, len + 4704);
    EXPECT_EQ(slice(w[2].data, 0, 9408), rec.workingBytes(t[3].start, t[3].start + 9408));
    EXPECT_NE(slice(w[2].data, len - 9408, len), rec.workingBytes(t[3].end - 9408, t[3].end));
    EXPECT_TRUE(allZero(w[2].data, len, len + 4704));

    // Without gapless every track has all four.
    ctx.options.gapless = false;
    rec.ui.answers = {Answer::Yes}; // the files exist now
    ASSERT_EQ(SaveTracks(ctx, rec.inputPath, request({2}, {rec.outs()[1]}, false)).status,
              SaveStatus::Saved);
    ParsedWave middle = readWave(rec.outs()[1]);
    ASSERT_EQ(middle.dataSize, 4704 + len + 4704);
    EXPECT_TRUE(allZero(middle.data, 0, 4704));
    EXPECT_TRUE(allZero(middle.data, 4704 + len, middle.data.size()));
    EXPECT_NE(slice(middle.data, 4704, 4704 + 9408),
              rec.workingBytes(t[2].start, t[2].start + 9408));
}

TEST(SaveTracks, NeverWritesOverTheInputOrWorkingFile) {
    ThreeTracks rec;
    OutputContext ctx = rec.context();
    const std::vector<uint8_t> input = readFile(rec.inputPath);
    const std::vector<uint8_t> working = readFile(rec.workingPath);
    std::vector<std::string> outs = rec.outs();

    // "Save...": an output named like the input stops everything.
    outs[1] = rec.inputPath;
    SaveOutcome o = SaveTracks(ctx, rec.inputPath, request({1, 2, 3}, outs, false));
    EXPECT_EQ(o.status, SaveStatus::Refused);
    EXPECT_EQ(rec.ui.messages.back(), kProtected);
    EXPECT_TRUE(rec.ui.questions.empty());
    EXPECT_FALSE(fs::exists(outs[0]));
    // The same file reached by another spelling.
    outs[1] = rec.dir.file("./sub/../side.wav");
    EXPECT_EQ(SaveTracks(ctx, rec.inputPath, request({1, 2, 3}, outs, false)).status,
              SaveStatus::Refused);
    // The working file is refused even with "Save && Close".
    outs[1] = rec.workingPath;
    EXPECT_EQ(SaveTracks(ctx, rec.inputPath, request({1, 2, 3}, outs, true)).status,
              SaveStatus::Refused);
    EXPECT_EQ(rec.ui.messages.size(), 3u);
    EXPECT_TRUE(readFile(rec.inputPath) == input);
    EXPECT_TRUE(readFile(rec.workingPath) == working);
    EXPECT_FALSE(fs::exists(outs[0]));

    // "Save && Close": written beside the input, which it replaces after the document closes.
    outs[1] = rec.inputPath;
    rec.ui.answers = {Answer::Yes}; // the input exists: confirm
    o = SaveTracks(ctx, rec.inputPath, request({1, 2, 3}, outs, true));
    ASSERT_EQ(o.status, SaveStatus::Saved);
    EXPECT_EQ(o.written[1], rec.inputPath + "~~~");
    EXPECT_TRUE(readFile(rec.inputPath) == input);
    EXPECT_TRUE(o.workingFileRemoved);
    EXPECT_FALSE(rec.store.working.isOpen());
    EXPECT_FALSE(fs::exists(rec.workingPath));
    const std::vector<uint8_t> saved = readFile(rec.inputPath + "~~~");
    rec.store.source.close();
    EXPECT_TRUE(ReplaceInputWithSaved(o, rec.inputPath));
    EXPECT_TRUE(readFile(rec.inputPath) == saved);
    EXPECT_FALSE(fs::exists(rec.inputPath + "~~~"));
}

TEST(SaveTracks, ExistingFilesNeedConfirmation) {
    ThreeTracks rec;
    OutputContext ctx = rec.context();
    std::vector<std::string> outs = rec.outs();
    writeFile(outs[1], {9, 9, 9});

    rec.ui.answers = {Answer::No};
    SaveOutcome o = SaveTracks(ctx, rec.inputPath, request({1, 2, 3}, outs, false));
    EXPECT_EQ(o.status, SaveStatus::Declined);
    ASSERT_EQ(rec.ui.questions.size(), 1u);
    EXPECT_EQ(rec.ui.questions[0], std::string(kConfirmSaveText) + "\n\n   " + outs[0] + "\n* " +
                                       outs[1] + "\n   " + outs[2]);
    EXPECT_EQ(readFile(outs[1]), (std::vector<uint8_t>{9, 9, 9}));
    EXPECT_FALSE(fs::exists(outs[0]));

    std::vector<std::string> seen;
    o = SaveTracks(ctx, rec.inputPath, request({1, 2, 3}, outs, false),
                   [&](const std::vector<std::string>& lines) {
                       seen = lines;
                       return true;
                   });
    EXPECT_EQ(o.status, SaveStatus::Saved);
    EXPECT_EQ(seen, (std::vector<std::string>{"   " + outs[0], "* " + outs[1], "   " + outs[2]}));
    EXPECT_GT(readWave(outs[1]).dataSize, 3u);

    // Nothing exists: no question at all.
    for (const auto& p : outs) fs::remove(p);
    rec.ui.questions.clear();
    EXPECT_EQ(SaveTracks(ctx, rec.inputPath, request({1, 3}, {outs[0], outs[2]}, false)).status,
              SaveStatus::Saved);
    EXPECT_TRUE(rec.ui.questions.empty());

    // Cancel does not stop a save, even when a "Yes" would confirm it.
    rec.ui.cancelAt = {rec.ui.pumps + 1};
    rec.ui.answers = {Answer::Yes, Answer::Yes};
    rec.ui.questions.clear();
    o = SaveTracks(ctx, rec.inputPath, request({1}, {outs[1]}, true));
    EXPECT_EQ(o.status, SaveStatus::Saved);
    EXPECT_TRUE(rec.ui.questions.empty());
    EXPECT_GT(readWave(outs[1]).dataSize, 3u);
    EXPECT_TRUE(o.workingFileRemoved);
}

// A sink that runs out of room after some bytes, as a full disk does.
class FillingSink : public WaveSink {
  public:
    FillingSink(std::string path, int64_t room) : WaveSink(std::move(path)), room_(room) {}
    void write(const uint8_t* bytes, size_t count) override {
        room_ -= static_cast<int64_t>(count);
        if (room_ < 0) throw FileError(path(), "No space left on device");
        WaveSink::write(bytes, count);
    }

  private:
    int64_t room_;
};

std::vector<std::string> leftovers(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(folder))
        if (e.path().filename().string().find(".partial-") != std::string::npos)
            names.push_back(e.path().string());
    return names;
}

TEST(SaveTracks, AFullDiskKeepsTheOutputsItWasToReplace) {
    ThreeTracks rec;
    std::vector<std::string> outs = rec.outs();
    OutputContext ctx = rec.context();
    ASSERT_EQ(SaveTracks(ctx, rec.inputPath, request({1, 2, 3}, outs, false)).status,
              SaveStatus::Saved);
    std::vector<std::vector<uint8_t>> before;
    for (const auto& p : outs) before.push_back(readFile(p));
    auto yes = [](const std::vector<std::string>&) { return true; };

    // The disk fills part way through the second track of a save that replaces all three.
    int64_t room = 100000 + 30000;
    ctx.sinkFactory = [&](const OutputOptions&, const std::string& path, UserInterface&) {
        auto sink = std::make_unique<FillingSink>(path, room);
        room = std::max<int64_t>(0, room - 100000);
        return sink;
    };
    rec.ui.messages.clear();
    SaveOutcome o = SaveTracks(ctx, rec.inputPath, request({1, 2, 3}, outs, false), yes);
    EXPECT_EQ(o.status, SaveStatus::Failed);
    EXPECT_EQ(o.written, std::vector<std::string>{outs[0]});
    EXPECT_EQ(rec.ui.messages, (std::vector<std::string>{"No space left on device: " + outs[1],
                                                         "The save stopped before " + outs[1] +
                                                             ".\nTrack 1 is complete."}));
    EXPECT_EQ(readFile(outs[0]), before[0]) << "the first track was replaced by the same, whole";
    EXPECT_EQ(readFile(outs[1]), before[1]);
    EXPECT_EQ(readFile(outs[2]), before[2]);
    EXPECT_TRUE(leftovers(rec.dir.path().string()).empty());
    EXPECT_TRUE(rec.store.working.isOpen());

    // The same on a real small disk, where one can be made.
    const std::string disk = rec.dir.file("disk");
    fs::create_directory(disk);
    if (geteuid() != 0 ||
        std::system(("mount -t tmpfs -o size=400k tmpfs '" + disk + "' 2>/dev/null").c_str()) != 0)
        GTEST_SKIP() << "no small filesystem can be mounted here; the full disk was simulated";
    struct Unmount {
        std::string at;
        ~Unmount() { std::system(("umount '" + at + "'").c_str()); }
    } unmount{disk};
    // Room is measured by the probe before a save; here it must not stop the save early.
    setFreeSpaceProbe([](const std::string&) -> int64_t { return int64_t{1} << 40; });
    std::vector<std::string> onDisk = {disk + "/1.wav", disk + "/2.wav", disk + "/3.wav"};
    ctx.sinkFactory = {};
    ASSERT_EQ(SaveTracks(ctx, rec.inputPath, request({1, 2, 3}, onDisk, false)).status,
              SaveStatus::Saved);
    std::vector<std::vector<uint8_t>> saved;
    for (const auto& p : onDisk) saved.push_back(readFile(p));
    writeFile(disk + "/filler", std::vector<uint8_t>(130000, 1));
    rec.ui.messages.clear();
    o = SaveTracks(ctx, rec.inputPath, request({1, 2, 3}, onDisk, false), yes);
    setFreeSpaceProbe({});
    EXPECT_EQ(o.status, SaveStatus::Failed);
    ASSERT_FALSE(rec.ui.messages.empty());
    EXPECT_NE(rec.ui.messages[0].find("No space left on device"), std::string::npos)
        << rec.ui.messages[0];
    for (size_t k = o.written.size(); k < onDisk.size(); ++k)
        EXPECT_EQ(readFile(onDisk[k]), saved[k]) << onDisk[k];
    EXPECT_TRUE(leftovers(disk).empty());
}

// One untouched track: the earliest track position to the end of the data.
struct OneTrack : Recording {
    OneTrack() : Recording(music(30000)) {
        addTrack(store.layout.dataStart / kSectorSize * kSectorSize + 4704, store.layout.dataEnd);
    }
};

TEST(SaveTracks, SingleUntouchedTrackIsRenamedOnSaveAndClose) {
    OneTrack rec;
    const std::vector<uint8_t> working = readFile(rec.workingPath);
    OutputContext ctx = rec.context();
    std::string out = rec.dir.file("new/side.wav");
    SaveOutcome o = SaveTracks(ctx, rec.inputPath, request({1}, {out}, true));
    ASSERT_EQ(o.status, SaveStatus::Saved);
    EXPECT_TRUE(o.renamedWorkingFile);
    EXPECT_TRUE(o.workingFileRemoved);
    EXPECT_FALSE(rec.store.working.isOpen());
    EXPECT_FALSE(fs::exists(rec.workingPath));
    EXPECT_TRUE(readFile(out) == working);

    // The lead's wave input accepts it.
    MemoryProfile profile;
    ScriptedUi ui;
    CMorvath3Doc doc(profile, ui);
    doc.tempMode = ids::kTempSameFolder;
    ASSERT_TRUE(doc.OpenWave(out)) << (ui.messages.empty() ? "" : ui.messages.back());
    EXPECT_EQ(doc.store.layout.dataLength(), rec.store.layout.dataLength());
    doc.CloseWave();
}

TEST(SaveTracks, SingleTrackIsRenderedWhenItMustBe) {
    {
        // "Save..." never renames: the whole recording is rendered and the working file stays.
        OneTrack rec;
        OutputContext ctx = rec.context();
        std::string out = rec.dir.file("o.wav");
        SaveOutcome o = SaveTracks(ctx, rec.inputPath, request({1}, {out}, false));
        ASSERT_EQ(o.status, SaveStatus::Saved);
        EXPECT_FALSE(o.renamedWorkingFile);
        EXPECT_TRUE(rec.store.working.isOpen());
        ParsedWave w = readWave(out);
        EXPECT_TRUE(w.data ==
                    rec.workingBytes(rec.store.layout.dataStart, rec.store.layout.dataEnd));
        ParsedWave w2;
        ASSERT_TRUE(parseWave(readFile(out), w2));
        MemoryProfile profile;
        ScriptedUi ui;
        CMorvath3Doc doc(profile, ui);
        doc.tempMode = ids::kTempSameFolder;
        ASSERT_TRUE(doc.OpenWave(out));
        doc.CloseWave();
    }
    {
        // A fade makes track 1 itself rendered, with its fades; "Save && Close" then deletes
        // the working file.
        OneTrack rec;
        rec.tracks[1].fadeOut = 4704;
        OutputContext ctx = rec.context();
        std::string out = rec.dir.file("o.wav");
        SaveOutcome o = SaveTracks(ctx, rec.inputPath, request({1}, {out}, true));
        ASSERT_EQ(o.status, SaveStatus::Saved);
        EXPECT_FALSE(o.renamedWorkingFile);
        EXPECT_TRUE(o.workingFileRemoved);
        EXPECT_FALSE(fs::exists(rec.workingPath));
        ParsedWave w = readWave(out);
        EXPECT_EQ(w.dataSize, static_cast<uint32_t>(rec.tracks[1].end - rec.tracks[1].start));
    }
    {
        // With a cut the recording is rendered through the splice, not renamed.
        OneTrack rec;
        const int32_t ds = rec.store.layout.dataStart;
        Splice sp{ds + 40000, ds + 50000, 880, 10880, std::vector<uint8_t>(1760, 0)};
        rec.splices.splices.push_back(sp);
        rec.tracks[0].end = rec.store.layout.dataEnd - 10880;
        rec.tracks[1].end = rec.tracks[0].end;
        OutputContext ctx = rec.context();
        std::string out = rec.dir.file("o.wav");
        SaveOutcome o = SaveTracks(ctx, rec.inputPath, request({1}, {out}, true));
        ASSERT_EQ(o.status, SaveStatus::Saved);
        EXPECT_FALSE(o.renamedWorkingFile);
        EXPECT_EQ(readWave(out).dataSize,
                  static_cast<uint32_t>(rec.store.layout.dataLength() - 10880));
    }
    {
        // External encoder on the fast path: it reads the working file, which then goes.
        OneTrack rec;
        OutputOptions options;
        options.externalEncoder = true;
        options.trackNumberText = "4";
        OutputContext ctx = rec.context(options);
        std::string seenIn, seenNumber;
        ctx.externalEncoder = [&](const std::string& in, const std::string& out, const Track&,
                                  const std::string& number) {
            seenIn = in;
            seenNumber = number;
            // The working file is still there, whole, while the encoder reads it.
            EXPECT_EQ(readWave(in).dataSize, static_cast<uint32_t>(rec.store.layout.dataLength()));
            writeFile(out, {1});
            return true;
        };
        SaveRequest r = request({1}, {rec.dir.file("o.flac")}, true);
        r.trackNumbers = {0};
        SaveOutcome o = SaveTracks(ctx, rec.inputPath, r);
        ASSERT_EQ(o.status, SaveStatus::Saved);
        EXPECT_EQ(seenIn, rec.workingPath);
        EXPECT_EQ(seenNumber, "4");
        EXPECT_TRUE(o.workingFileRemoved);
        EXPECT_FALSE(rec.store.working.isOpen());
        EXPECT_FALSE(fs::exists(rec.workingPath));
        EXPECT_EQ(o.written, std::vector<std::string>{rec.dir.file("o.flac")});
    }
}

std::string encoderFailure(const std::string& out, const std::string& kept) {
    return "The external encoder failed to make " + out + ".\nIts input " + kept +
           " has been kept.";
}

TEST(SaveTracks, FailedExternalEncoderKeepsTheAudio) {
    OutputOptions options;
    options.externalEncoder = true;
    {
        // Several tracks, "Save && Close": the second encoder run fails.
        ThreeTracks rec;
        OutputContext ctx = rec.context(options);
        const std::vector<std::string> outs = rec.outs();
        std::vector<std::string> ran;
        ctx.externalEncoder = [&](const std::string&, const std::string& out, const Track&,
                                  const std::string&) {
            ran.push_back(out);
            if (out == outs[1]) return false;
            writeFile(out, {1});
            return true;
        };
        SaveOutcome o = SaveTracks(ctx, rec.inputPath, request({1, 2, 3}, outs, true));
        EXPECT_EQ(o.status, SaveStatus::Failed);
        EXPECT_EQ(ran, (std::vector<std::string>{outs[0], outs[1]})); // no third track
        EXPECT_EQ(o.written, std::vector<std::string>{outs[0]});
        EXPECT_FALSE(fs::exists(outs[0] + ".wav"));
        ASSERT_TRUE(fs::exists(outs[1] + ".wav"));
        EXPECT_EQ(readWave(outs[1] + ".wav").dataSize, 4704u + 70560u + 4704u);
        EXPECT_EQ(rec.ui.messages,
                  (std::vector<std::string>{encoderFailure(outs[1], outs[1] + ".wav"),
                                            "The save stopped before " + outs[1] +
                                                ".\nTrack 1 is complete."}));
        EXPECT_FALSE(o.workingFileRemoved);
        EXPECT_TRUE(rec.store.working.isOpen());
        EXPECT_TRUE(fs::exists(rec.workingPath));
        EXPECT_EQ(rec.ui.statusPanes[1], "Ready");
    }
    {
        // One untouched track on the fast path: the working file is the encoder's input and
        // stays the document's.
        OneTrack rec;
        const std::vector<uint8_t> working = readFile(rec.workingPath);
        OutputContext ctx = rec.context(options);
        ctx.externalEncoder = [](const std::string&, const std::string&, const Track&,
                                 const std::string&) { return false; };
        const std::string out = rec.dir.file("o.flac");
        SaveOutcome o = SaveTracks(ctx, rec.inputPath, request({1}, {out}, true));
        EXPECT_EQ(o.status, SaveStatus::Failed);
        EXPECT_TRUE(o.written.empty());
        EXPECT_EQ(rec.ui.messages, std::vector<std::string>{encoderFailure(out, rec.workingPath)});
        EXPECT_FALSE(o.workingFileRemoved);
        EXPECT_TRUE(rec.store.working.isOpen());
        EXPECT_TRUE(readFile(rec.workingPath) == working);
    }
    {
        // One track that must be rendered: its wave and the working file both stay.
        OneTrack rec;
        rec.tracks[1].fadeIn = 4704;
        OutputContext ctx = rec.context(options);
        ctx.externalEncoder = [](const std::string&, const std::string&, const Track&,
                                 const std::string&) { return false; };
        const std::string out = rec.dir.file("o.flac");
        SaveOutcome o = SaveTracks(ctx, rec.inputPath, request({1}, {out}, true));
        EXPECT_EQ(o.status, SaveStatus::Failed);
        EXPECT_TRUE(fs::exists(out + ".wav"));
        EXPECT_FALSE(o.workingFileRemoved);
        EXPECT_TRUE(rec.store.working.isOpen());
        EXPECT_TRUE(fs::exists(rec.workingPath));
    }
}

TEST(SaveTracks, EncoderFileErrorLeavesTheWorkingFileAccountedFor) {
    OneTrack rec;
    OutputOptions options;
    options.externalEncoder = true;
    OutputContext ctx = rec.context(options);
    ctx.externalEncoder = [&](const std::string&, const std::string& out, const Track&,
                              const std::string&) -> bool { throw FileError(out, "Disk full"); };
    const std::string out = rec.dir.file("o.flac");
    SaveOutcome o = SaveTracks(ctx, rec.inputPath, request({1}, {out}, true));
    EXPECT_EQ(o.status, SaveStatus::Failed);
    EXPECT_EQ(rec.ui.messages, std::vector<std::string>{"Disk full: " + out});
    // Whatever happened to the working file, the outcome must say so: the document trusts it.
    EXPECT_EQ(o.workingFileRemoved, !rec.store.working.isOpen());
    EXPECT_EQ(o.workingFileRemoved, !fs::exists(rec.workingPath));
    EXPECT_EQ(rec.ui.statusPanes[1], "Ready");
}

TEST(SaveTracks, EncoderWaveIsHeldToTheOutputRules) {
    OutputOptions options;
    options.externalEncoder = true;
    auto succeed = [](const std::string&, const std::string& out, const Track&,
                      const std::string&) {
        writeFile(out, {1});
        return true;
    };
    ThreeTracks rec;
    const std::vector<uint8_t> input = readFile(rec.inputPath);
    const std::vector<uint8_t> working = readFile(rec.workingPath);
    OutputContext ctx = rec.context(options);
    ctx.externalEncoder = succeed;
    std::vector<std::string> outs = rec.outs();

    // An output whose wave would be the input ("side" + ".wav"), with either command.
    outs[1] = rec.dir.file("side");
    for (bool close : {false, true}) {
        SaveOutcome o = SaveTracks(ctx, rec.inputPath, request({1, 2, 3}, outs, close));
        EXPECT_EQ(o.status, SaveStatus::Refused);
    }
    // ... or the working file.
    outs[1] = rec.dir.file("side~");
    EXPECT_EQ(SaveTracks(ctx, rec.inputPath, request({1, 2, 3}, outs, true)).status,
              SaveStatus::Refused);
    // ... or a decoded source that is not the input itself.
    outs[1] = rec.dir.file("side");
    EXPECT_EQ(SaveTracks(ctx, rec.dir.file("side.ape"), request({1, 2, 3}, outs, false)).status,
              SaveStatus::Refused);
    EXPECT_EQ(rec.ui.messages, std::vector<std::string>(4, kProtected));
    EXPECT_TRUE(rec.ui.questions.empty());
    EXPECT_TRUE(readFile(rec.inputPath) == input);
    EXPECT_TRUE(readFile(rec.workingPath) == working);
    EXPECT_FALSE(fs::exists(outs[0]));
    EXPECT_FALSE(fs::exists(outs[0] + ".wav"));

    // Without the encoder no such wave is written, and the same names are fine.
    ctx.options.externalEncoder = false;
    EXPECT_EQ(SaveTracks(ctx, rec.inputPath, request({1, 2, 3}, outs, false)).status,
              SaveStatus::Saved);
    EXPECT_TRUE(readFile(rec.inputPath) == input);
    for (const auto& p : outs) fs::remove(p);

    // An existing wave beside an output is listed for confirmation.
    ctx.options.externalEncoder = true;
    outs = rec.outs();
    writeFile(outs[2] + ".wav", {7, 7});
    std::vector<std::string> seen;
    SaveOutcome o = SaveTracks(ctx, rec.inputPath, request({1, 2, 3}, outs, false),
                               [&](const std::vector<std::string>& lines) {
                                   seen = lines;
                                   return false;
                               });
    EXPECT_EQ(o.status, SaveStatus::Declined);
    EXPECT_EQ(seen, (std::vector<std::string>{"   " + outs[0], "   " + outs[1], "   " + outs[2],
                                              "* " + outs[2] + ".wav"}));
    EXPECT_EQ(readFile(outs[2] + ".wav"), (std::vector<uint8_t>{7, 7}));
    EXPECT_FALSE(fs::exists(outs[0]));
}

TEST(SaveTracks, OnlyTheSaveThatWroteItReplacesTheInput) {
    ThreeTracks rec;
    OutputContext ctx = rec.context();
    const std::vector<uint8_t> input = readFile(rec.inputPath);
    const std::string aside = rec.inputPath + "~~~";
    // Left by an earlier save that never finished.
    writeFile(aside, {5, 5, 5});

    // A save to other names leaves both files alone.
    SaveOutcome o = SaveTracks(ctx, rec.inputPath, request({1, 2, 3}, rec.outs(), true));
    ASSERT_EQ(o.status, SaveStatus::Saved);
    EXPECT_TRUE(ReplaceInputWithSaved(o, rec.inputPath));
    EXPECT_TRUE(readFile(rec.inputPath) == input);
    EXPECT_EQ(readFile(aside), (std::vector<uint8_t>{5, 5, 5}));

    // A failed save that had written "~~~" does not replace the input either.
    SaveOutcome failed;
    failed.status = SaveStatus::Failed;
    failed.written = {aside};
    EXPECT_TRUE(ReplaceInputWithSaved(failed, rec.inputPath));
    EXPECT_TRUE(readFile(rec.inputPath) == input);

    // The input named another way is still written beside it under its own name, and the
    // save that wrote it replaces the input.
    ThreeTracks again;
    OutputContext ctx2 = again.context();
    std::vector<std::string> outs = again.outs();
    outs[0] = again.dir.file("./side.wav");
    again.ui.answers = {Answer::Yes};
    o = SaveTracks(ctx2, again.inputPath, request({1, 2, 3}, outs, true));
    ASSERT_EQ(o.status, SaveStatus::Saved);
    EXPECT_EQ(o.written[0], again.inputPath + "~~~");
    const std::vector<uint8_t> saved = readFile(again.inputPath + "~~~");
    again.store.source.close();
    EXPECT_TRUE(ReplaceInputWithSaved(o, again.inputPath));
    EXPECT_TRUE(readFile(again.inputPath) == saved);
    EXPECT_FALSE(fs::exists(again.inputPath + "~~~"));
}

} // namespace
} // namespace tarnival::test
