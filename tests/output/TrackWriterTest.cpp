#include "output/TrackWriter.h"
#include "document/FileError.h"
#include "output/OutputFixture.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <limits>

namespace tarnival::test {
namespace {

namespace fs = std::filesystem;

TEST(WaveHeader, LayoutFollowsAlignmentAndRate) {
    std::array<uint8_t, kMaxWaveHeader> h{};
    ASSERT_EQ(buildWaveHeader({44100, 0, 1000}, h), 44u);
    std::vector<uint8_t> file(h.begin(), h.begin() + 44);
    file.resize(44 + 1000);
    ParsedWave w;
    ASSERT_TRUE(parseWave(file, w));
    EXPECT_EQ(w.fmtLength, 16u);
    EXPECT_EQ(w.riffSize, 1036u);
    EXPECT_EQ(w.dataOffset, 44u);
    EXPECT_EQ(w.format, 1);
    EXPECT_EQ(w.channels, 2);
    EXPECT_EQ(w.blockAlign, 4);
    EXPECT_EQ(w.bits, 16);
    EXPECT_EQ(w.rate, 44100u);
    EXPECT_EQ(w.byteRate, 176400u);

    // Alignment 2: an 18-byte format chunk with a zero extension, data at 46.
    ASSERT_EQ(buildWaveHeader({48000, 2, 1000}, h), 46u);
    file.assign(h.begin(), h.begin() + 46);
    file.resize(46 + 1000);
    ASSERT_TRUE(parseWave(file, w));
    EXPECT_EQ(w.fmtLength, 18u);
    EXPECT_EQ(w.extension, 0);
    EXPECT_EQ(w.riffSize, 1000u + 38);
    EXPECT_EQ(w.dataOffset, 46u);
    EXPECT_EQ(w.rate, 48000u);
    EXPECT_EQ(w.byteRate, 192000u);

    // Any other rate is written as 44.1 kHz.
    buildWaveHeader({22050, 0, 0}, h);
    EXPECT_EQ(h[24] | (h[25] << 8) | (h[26] << 16), 44100);
    EXPECT_EQ(maxWaveDataSize(2), 0xFFFFFFFFll - 38);
}

TEST(WriteTrack, PlainTrackIsTheWorkingFileByteForByte) {
    // Long enough for several read steps.
    Recording rec(music(200000));
    int32_t start = rec.store.layout.dataStart + 4 * 1001;
    int32_t end = rec.store.layout.dataEnd - 4 * 333;
    rec.addTrack(start, end, 44100, 44100, 88200, 88200);
    OutputContext ctx = rec.context();
    std::string out = rec.dir.file("plain.wav");
    ASSERT_EQ(WriteTrack(ctx, 1, 1, out, true, true), WriteStatus::Written);

    ParsedWave w = readWave(out);
    EXPECT_EQ(w.dataOffset, 44u);
    EXPECT_EQ(w.dataSize, static_cast<uint32_t>(end - start));
    EXPECT_TRUE(w.data == rec.workingBytes(start, end)) << "samples differ from the working file";
    EXPECT_EQ(rec.ui.statusPanes[1], "Saving File plain.wav");
    EXPECT_EQ(rec.ui.high, end - start);

    // The whole recording (entry 0) likewise.
    ASSERT_EQ(WriteTrack(ctx, 0, 0, out, true, true), WriteStatus::Written);
    w = readWave(out);
    EXPECT_TRUE(w.data == rec.workingBytes(rec.store.layout.dataStart, rec.store.layout.dataEnd));
}

TEST(WriteTrack, SilencesAreWholeSectors) {
    Recording rec(music(4000));
    int32_t start = rec.store.layout.dataStart + 4704;
    rec.addTrack(start, start + 1000, 0, 0, 5000, 2351);
    rec.addTrack(start, start + 1000, 0, 0, 2351, 7056);
    OutputContext ctx = rec.context();

    std::string out = rec.dir.file("t.wav");
    ASSERT_EQ(WriteTrack(ctx, 1, 1, out, false, false), WriteStatus::Written);
    ParsedWave w = readWave(out);
    ASSERT_EQ(w.dataSize, 4704u + 1000u);
    for (size_t i = 0; i < 4704; ++i) ASSERT_EQ(w.data[i], 0) << "at " << i;
    EXPECT_NE(std::vector<uint8_t>(w.data.begin() + 4704, w.data.end()),
              std::vector<uint8_t>(1000, 0));

    ASSERT_EQ(WriteTrack(ctx, 2, 2, out, false, false), WriteStatus::Written);
    w = readWave(out);
    ASSERT_EQ(w.dataSize, 1000u + 7056u);
    for (size_t i = 1000; i < w.data.size(); ++i) ASSERT_EQ(w.data[i], 0) << "at " << i;

    // Lead-in and lead-out switched off: no silence whatever the track asks for.
    ASSERT_EQ(WriteTrack(ctx, 1, 1, out, true, true), WriteStatus::Written);
    EXPECT_EQ(readWave(out).dataSize, 1000u);

    // Damaged lengths: negative means none, and a file too long for RIFF is refused.
    TrackPlan plan = planTrack(Track{-5, -7, -9, -11, 10, 4, {}, {}, {}, {}}, false, false);
    EXPECT_EQ(plan.trackLength, 0);
    EXPECT_EQ(plan.preSilence, 0);
    EXPECT_EQ(plan.postSilence, 0);
    EXPECT_EQ(plan.fadeInLength, 2352);
    EXPECT_EQ(plan.fadeOutLength, 2352);
    int32_t big = std::numeric_limits<int32_t>::max();
    // Both silences at their largest still fit; a track as long as the int range does not.
    EXPECT_LE(planTrack(Track{0, 0, big, big, 0, 1000, {}, {}, {}, {}}, false, false).dataSize(),
              maxWaveDataSize(2));
    rec.addTrack(std::numeric_limits<int32_t>::min(), big, 0, 0, big, 0);
    EXPECT_EQ(WriteTrack(ctx, 3, 3, out, false, false), WriteStatus::Failed);
    EXPECT_EQ(rec.ui.messages.back(), "The track is too long to be saved in one file.");
}

TEST(WriteTrack, FadesStartAtTheSilentEndAndStepEvery40Samples) {
    // 2000 frames = 8000 bytes = 4000 samples, a whole number of 40-sample gain steps.
    Recording rec(constant(6000, 10000, -10000));
    int32_t start = rec.store.layout.dataStart + 4704;
    rec.addTrack(start, start + 8000);
    std::string out = rec.dir.file("f.wav");

    for (bool linear : {true, false}) {
        OutputOptions options;
        options.fadeLinear = linear;
        OutputContext ctx = rec.context(options);
        ASSERT_EQ(WriteTrack(ctx, 1, 1, out, false, false), WriteStatus::Written);
        ParsedWave w = readWave(out);
        ASSERT_EQ(w.dataSize, 8000u);
        // Fade-in of 0 still fades the first 2352 bytes: gain 0 or 0.001 at the first sample.
        EXPECT_EQ(sampleAt(w.data, 0), linear ? 0 : 10);
        EXPECT_EQ(sampleAt(w.data, 1), linear ? 0 : -10); // truncated toward zero
        EXPECT_EQ(sampleAt(w.data, 39), linear ? 0 : -10);
        // Sample 40 (byte 80): 2272 bytes before the fade-in ends.
        EXPECT_EQ(sampleAt(w.data, 40), linear ? 340 : 12);
        EXPECT_EQ(sampleAt(w.data, 41), linear ? -340 : -12);
        EXPECT_EQ(sampleAt(w.data, 79), linear ? -340 : -12);
        // Past the fade-in and before the fade-out nothing changes.
        EXPECT_EQ(sampleAt(w.data, 1200), 10000);
        EXPECT_EQ(sampleAt(w.data, 2000), 10000);
        // The fade-out's last gain step (sample 3960) lies 2272 bytes into its 2352.
        EXPECT_EQ(sampleAt(w.data, 3960), linear ? 340 : 12);
        EXPECT_EQ(sampleAt(w.data, 3999), linear ? -340 : -12);
        // Gains only fall towards the ends.
        for (size_t i = 40; i < 1200; i += 40)
            ASSERT_GE(sampleAt(w.data, i), sampleAt(w.data, i - 40)) << i;
    }

    // A longer fade-in: the gain at the middle of a 2352 + 2352 byte linear fade is one half.
    rec.tracks[1].fadeIn = 2352;
    OutputOptions options;
    options.fadeLinear = true;
    OutputContext ctx = rec.context(options);
    ASSERT_EQ(WriteTrack(ctx, 1, 1, out, false, true), WriteStatus::Written);
    ParsedWave w = readWave(out);
    EXPECT_EQ(sampleAt(w.data, 1160), 4931);   // r = 4704 - 2320: 1 - 2384/4704
    EXPECT_EQ(sampleAt(w.data, 3999), -10000); // no lead-out, no fade-out
}

TEST(WriteTrack, SplicesAreSkippedAndTheirCrossFadesSubstituted) {
    Recording rec(music(20000));
    const int32_t ds = rec.store.layout.dataStart;
    // One cut: source [cutStart - 880, cutStart) is replaced by the splice's second half and
    // the audio resumes at cutEnd + 880.
    Splice sp;
    sp.cutStart = ds + 20000;
    sp.cutEnd = ds + 30000;
    sp.crossFade = 880;
    sp.shift = sp.cutEnd + sp.crossFade - sp.cutStart;
    sp.fadeBytes.resize(1760);
    for (size_t i = 0; i < 880; ++i) sp.fadeBytes[i] = 0xEE; // the source-file half: never used
    for (size_t i = 880; i < 1760; ++i) sp.fadeBytes[i] = static_cast<uint8_t>(i * 7);
    rec.splices.splices.push_back(sp);
    const int32_t fadeStart = sp.cutStart - 880;
    const int32_t resume = sp.cutEnd + 880;
    auto half = [&](size_t from, size_t to) {
        return std::vector<uint8_t>(sp.fadeBytes.begin() + 880 + static_cast<std::ptrdiff_t>(from),
                                    sp.fadeBytes.begin() + 880 + static_cast<std::ptrdiff_t>(to));
    };
    auto cat = [](std::vector<uint8_t> a, const std::vector<uint8_t>& b) {
        a.insert(a.end(), b.begin(), b.end());
        return a;
    };
    std::string out = rec.dir.file("s.wav");

    // Across the splice.
    rec.addTrack(ds + 4704, rec.splices.sourceToDisplay(ds + 60000));
    // Starting 400 bytes into the cross-fade (display positions equal source ones before it).
    rec.addTrack(fadeStart + 400, rec.splices.sourceToDisplay(resume + 4000));
    // Ending 200 bytes into the cross-fade.
    rec.addTrack(ds + 4704, fadeStart + 200);
    OutputContext ctx = rec.context();

    ASSERT_EQ(WriteTrack(ctx, 1, 1, out, true, true), WriteStatus::Written);
    ParsedWave w = readWave(out);
    std::vector<uint8_t> expected = cat(cat(rec.workingBytes(ds + 4704, fadeStart), half(0, 880)),
                                        rec.workingBytes(resume, ds + 60000));
    EXPECT_EQ(w.dataSize, static_cast<uint32_t>(rec.tracks[1].end - rec.tracks[1].start));
    EXPECT_TRUE(w.data == expected);

    ASSERT_EQ(WriteTrack(ctx, 2, 2, out, true, true), WriteStatus::Written);
    w = readWave(out);
    EXPECT_TRUE(w.data == cat(half(400, 880), rec.workingBytes(resume, resume + 4000)));

    ASSERT_EQ(WriteTrack(ctx, 3, 3, out, true, true), WriteStatus::Written);
    w = readWave(out);
    EXPECT_TRUE(w.data == cat(rec.workingBytes(ds + 4704, fadeStart), half(0, 200)));
}

TEST(WriteTrack, DamagedSpliceRecordsStillGiveTheHeaderLength) {
    Recording rec(music(20000));
    const int32_t ds = rec.store.layout.dataStart;
    // A cut that ends before it starts, a cross-fade with too few bytes and a shift that
    // matches nothing: rendering must end and fill exactly the promised length.
    Splice bad;
    bad.cutStart = ds + 20000;
    bad.cutEnd = ds + 10000;
    bad.crossFade = 4400;
    bad.shift = 123456;
    bad.fadeBytes.resize(100, 0x55);
    rec.splices.splices.push_back(bad);
    rec.addTrack(ds + 4704, ds + 70000);
    // Past the end of the data: silence, not trailing bytes.
    rec.addTrack(rec.store.layout.dataEnd - 400, rec.store.layout.dataEnd + 4000);
    OutputContext ctx = rec.context();
    std::string out = rec.dir.file("d.wav");
    ASSERT_EQ(WriteTrack(ctx, 1, 1, out, true, true), WriteStatus::Written);
    EXPECT_EQ(readWave(out).dataSize, 70000u - 4704u);

    rec.splices.splices.clear();
    ASSERT_EQ(WriteTrack(ctx, 2, 2, out, true, true), WriteStatus::Written);
    ParsedWave w = readWave(out);
    ASSERT_EQ(w.dataSize, 4400u);
    EXPECT_TRUE(std::vector<uint8_t>(w.data.begin(), w.data.begin() + 400) ==
                rec.workingBytes(rec.store.layout.dataEnd - 400, rec.store.layout.dataEnd));
    EXPECT_TRUE(std::vector<uint8_t>(w.data.begin() + 400, w.data.end()) ==
                std::vector<uint8_t>(4000, 0));
}

TEST(WriteTrack, AlignmentTwoAnd48kHz) {
    // An 18-byte format chunk puts the data at 46, alignment 2.
    Recording rec(music(3000, 48000), 48000, 18);
    ASSERT_EQ(rec.store.layout.frameRemainder, 2);
    int32_t start = rec.store.layout.dataStart + 4704;
    rec.addTrack(start, start + 4000, 0, 0, 2352, 0);
    OutputContext ctx = rec.context();
    std::string out = rec.dir.file("a.wav");
    ASSERT_EQ(WriteTrack(ctx, 1, 1, out, false, true), WriteStatus::Written);
    ParsedWave w = readWave(out);
    EXPECT_EQ(w.dataOffset, 46u);
    EXPECT_EQ(w.dataOffset % 4, static_cast<size_t>(rec.store.layout.dataStart % 4));
    EXPECT_EQ(w.fmtLength, 18u);
    EXPECT_EQ(w.extension, 0);
    EXPECT_EQ(w.riffSize, 2352u + 4000u + 38u);
    EXPECT_EQ(w.rate, 48000u);
    EXPECT_EQ(w.byteRate, 192000u);
    // The fade still lines up with the samples: the first real sample is scaled by 0.001.
    EXPECT_EQ(sampleAt(w.data, 1176),
              static_cast<int16_t>(0.001 * sampleAt(rec.workingBytes(start, start + 2), 0)));
}

TEST(WriteTrack, CancelIsIgnoredAndFileErrorsLeaveNoFile) {
    Recording rec(music(200000));
    const int32_t ds = rec.store.layout.dataStart;
    rec.addTrack(ds + 4704, rec.store.layout.dataEnd);
    OutputContext ctx = rec.context();
    std::string out = rec.dir.file("sub/dir/c.wav"); // folders are made as needed

    // Cancel pressed at every step, even with "Yes" waiting: the interface is pumped every
    // step, nothing is asked, and the whole track is written.
    rec.ui.cancelAt = {1, 2, 3, 4};
    rec.ui.answers = {Answer::Yes};
    ASSERT_EQ(WriteTrack(ctx, 1, 1, out, true, true), WriteStatus::Written);
    EXPECT_GE(rec.ui.pumps, 4);
    EXPECT_TRUE(rec.ui.questions.empty());
    EXPECT_EQ(readWave(out).dataSize,
              static_cast<uint32_t>(rec.tracks[1].end - rec.tracks[1].start));

    // A file that cannot be created reports the file error.
    rec.ui.cancelAt.clear();
    EXPECT_THROW(WriteTrack(ctx, 1, 1, rec.dir.path().string(), true, true), FileError);
}

TEST(WriteTrack, MissingSinkNamesWhatIsMissing) {
    Recording rec(music(5000));
    rec.addTrack(rec.store.layout.dataStart + 4704, rec.store.layout.dataEnd);
    std::string out = rec.dir.file("n.out");

    // APE: the encoder message.
    OutputOptions ape;
    ape.fileType = ids::kFileApe;
    OutputContext apeCtx = rec.context(ape);
    apeCtx.sinkFactory = [](const OutputOptions&, const std::string&, UserInterface&) {
        return std::unique_ptr<TrackSink>();
    };
    EXPECT_EQ(WriteTrack(apeCtx, 1, 1, out, true, true), WriteStatus::Failed);
    EXPECT_EQ(rec.ui.messages.back(), "Error starting encoder.\n");

    // A type number from damaged settings.
    OutputOptions odd;
    odd.fileType = 4711;
    OutputContext oddCtx = rec.context(odd);
    EXPECT_EQ(WriteTrack(oddCtx, 1, 1, out, true, true), WriteStatus::Failed);
    EXPECT_EQ(rec.ui.messages.back(), "Output type 4711 is not available.");
    EXPECT_EQ(rec.ui.messages.size(), 2u);
    EXPECT_FALSE(fs::exists(out));
}

TEST(WriteTrack, ExternalEncoderGetsTheWaveFileAndTags) {
    Recording rec(music(5000));
    rec.addTrack(rec.store.layout.dataStart + 4704, rec.store.layout.dataEnd, 0, 0, 0, 0, "Song");
    OutputOptions options;
    options.externalEncoder = true;
    options.trackNumberText = "7";
    OutputContext ctx = rec.context(options);
    std::string seenIn, seenOut, seenNumber, seenTitle;
    uint32_t seenSize = 0;
    ctx.externalEncoder = [&](const std::string& in, const std::string& o, const Track& t,
                              const std::string& number) {
        seenIn = in, seenOut = o, seenNumber = number, seenTitle = t.title;
        seenSize = readWave(in).dataSize;
        writeFile(o, {1, 2, 3});
        return true;
    };
    std::string out = rec.dir.file("e.mp3");
    ASSERT_EQ(WriteTrack(ctx, 1, 0, out, true, true), WriteStatus::Written);
    EXPECT_EQ(seenIn, out + ".wav");
    EXPECT_EQ(seenOut, out);
    EXPECT_EQ(seenNumber, "7"); // number 0: the document's track-number text
    EXPECT_EQ(seenTitle, "Song");
    EXPECT_EQ(seenSize, static_cast<uint32_t>(rec.tracks[1].end - rec.tracks[1].start));
    EXPECT_FALSE(fs::exists(out + ".wav"));
    ASSERT_EQ(WriteTrack(ctx, 1, 3, out, true, true), WriteStatus::Written);
    EXPECT_EQ(seenNumber, "3");
    EXPECT_TRUE(rec.ui.messages.empty());
}

TEST(WriteTrack, FailedExternalEncoderKeepsTheRenderedWave) {
    Recording rec(music(5000));
    rec.addTrack(rec.store.layout.dataStart + 4704, rec.store.layout.dataEnd);
    OutputOptions options;
    options.externalEncoder = true;
    OutputContext ctx = rec.context(options);
    int runs = 0;
    ctx.externalEncoder = [&](const std::string&, const std::string&, const Track&,
                              const std::string&) {
        ++runs;
        return false;
    };
    std::string out = rec.dir.file("f.mp3");
    EXPECT_EQ(WriteTrack(ctx, 1, 1, out, true, true), WriteStatus::Failed);
    EXPECT_EQ(runs, 1);
    ASSERT_EQ(rec.ui.messages.size(), 1u);
    EXPECT_EQ(rec.ui.messages[0], "The external encoder failed to make " + out + ".\nIts input " +
                                      out + ".wav has been kept.");
    // The rendered track is still there, complete.
    ASSERT_TRUE(fs::exists(out + ".wav"));
    ParsedWave w = readWave(out + ".wav");
    EXPECT_TRUE(w.data == rec.workingBytes(rec.tracks[1].start, rec.tracks[1].end));
}

} // namespace
} // namespace tarnival::test
