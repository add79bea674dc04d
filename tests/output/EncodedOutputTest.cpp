#include "document/Bytes.h"
#include "output/FlacSink.h"
#include "output/OggSink.h"
#include "output/OutputFixture.h"
#include "output/OutputSettings.h"
#include "support/AudioDecoding.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

namespace tarnival::test {
namespace {

namespace fs = std::filesystem;

using Tags = std::map<std::string, std::string>;

// Feeds samples to a sink in pieces of an odd size, as the renderer may split them.
bool encodeWith(TrackSink& sink, const Stereo& samples, const TrackTags& tags, int rate = 44100) {
    const std::vector<uint8_t> bytes = pcmBytes(samples);
    if (!sink.begin({rate, 0, static_cast<int64_t>(bytes.size())}, tags)) return false;
    for (size_t at = 0; at < bytes.size(); at += 10001)
        sink.write(bytes.data() + at, std::min<size_t>(10001, bytes.size() - at));
    return sink.finish();
}

// Signal-to-noise ratio of a lossy copy, in dB.
double snr(const Stereo& original, const Stereo& copy) {
    double signal = 0, noise = 0;
    for (size_t i = 0; i < std::min(original.size(), copy.size()); ++i) {
        const double a = original[i], d = a - copy[i];
        signal += a * a;
        noise += d * d;
    }
    return 10 * std::log10(signal / std::max(noise, 1.0));
}

TEST(OggSink, DecodesWithItsLengthAndComments) {
    TempDir dir;
    ScriptedUi ui;
    const std::string path = dir.file("t.ogg");
    const Stereo samples = music(100000, 48000, 3);
    {
        writeFile(path, {});
        OggSink sink(path, 5, ui);
        ASSERT_TRUE(encodeWith(sink, samples, {"Song", "X", "Album", "Jazz", 4, "9"}, 48000));
    }
    DecodedAudio ogg = decodeWithFfmpeg(path);
    EXPECT_EQ(ogg.error, "");
    EXPECT_EQ(ogg.rate, 48000);
    EXPECT_EQ(ogg.channels, 2);
    // Within one packet (at most 2048 frames) of the input's length, and recognisably the same
    // sound (a swapped or mis-scaled channel would not be).
    EXPECT_LE(std::abs(static_cast<long>(ogg.samples.size()) - static_cast<long>(samples.size())),
              2 * 2048);
    EXPECT_GT(snr(samples, ogg.samples), 20.0);
    for (const auto& [key, value] :
         Tags{{"Title", "Song"}, {"Artist", "X"}, {"Album", "Album"}, {"Genre", "Jazz"}})
        EXPECT_EQ(ogg.tags[key], value) << key;
    EXPECT_EQ(ogg.tags["track"], "4"); // FFmpeg's name for "TrackNumber"

    // Empty tags are left out; without a number the track-number text gives it.
    {
        writeFile(path, {});
        OggSink sink(path, 0, ui);
        ASSERT_TRUE(encodeWith(sink, samples, {"", "X", "", "", 0, "07"}));
    }
    ogg = decodeWithFfmpeg(path);
    EXPECT_EQ(ogg.tags.count("Title") + ogg.tags.count("Album") + ogg.tags.count("Genre"), 0u);
    EXPECT_EQ(ogg.tags["Artist"], "X");
    EXPECT_EQ(ogg.tags["track"], "7");
    EXPECT_TRUE(ui.messages.empty());

    // Two encodes of the same track get different stream serial numbers.
    auto serial = [](const std::string& p) { return readLe32(readFile(p).data() + 14); };
    const uint32_t first = serial(path);
    {
        writeFile(path, {});
        OggSink sink(path, 0, ui);
        ASSERT_TRUE(encodeWith(sink, samples, {"", "X", "", "", 0, "07"}));
    }
    EXPECT_NE(serial(path), first);
}

TEST(FlacSink, IsLosslessAndTagged) {
    TempDir dir;
    ScriptedUi ui;
    const std::string path = dir.file("t.flac");
    Stereo samples = music(150000, 44100, 8);
    append(samples, silence(3000));
    append(samples, Stereo{32767, -32768, -32768, 32767});
    for (int level : {0, 8}) {
        writeFile(path, {});
        FlacSink sink(path, level, ui);
        ASSERT_TRUE(encodeWith(sink, samples, {"Song", "X", "", "Jazz", 0, "12"}));
        DecodedAudio flac = decodeFlac(path);
        EXPECT_EQ(flac.error, "");
        EXPECT_EQ(flac.rate, 44100);
        EXPECT_TRUE(flac.samples == samples) << level;
        EXPECT_EQ(
            flac.tags,
            (Tags{{"Title", "Song"}, {"Artist", "X"}, {"Genre", "Jazz"}, {"TrackNumber", "12"}}));
    }
    EXPECT_TRUE(ui.messages.empty());
}

// Every output type through the renderer: fades, silences and the 46-byte header alignment
// reach each encoder exactly as they reach a wave file.
TEST(WriteTrack, EveryOutputTypeCarriesTheRenderedTrack) {
    Recording rec(music(120000, 48000, 2), 48000, 18);
    const int32_t start = rec.store.layout.dataStart + 4 * 5000;
    Track& t = rec.addTrack(start, start + 4 * 100000, 20000, 30000, 9000, 5000, "Song");
    t.artist = "X";
    const auto render = [&](int type) {
        OutputSettings settings;
        settings.fileType = type;
        settings.apeLevel = 1;
        OutputOptions options;
        applyOutputSettings(settings, options);
        OutputContext ctx = rec.context(options);
        const std::string out = rec.dir.file("track" + outputExtension(settings));
        EXPECT_EQ(WriteTrack(ctx, 1, 3, out, false, false), WriteStatus::Written);
        return out;
    };
    const ParsedWave wave = readWave(render(ids::kFileWave));
    Stereo rendered(wave.data.size() / 2);
    for (size_t i = 0; i < rendered.size(); ++i) rendered[i] = sampleAt(wave.data, i);

    DecodedAudio ape = decodeApe(render(ids::kFileApe));
    EXPECT_TRUE(ape.samples == rendered);
    EXPECT_EQ(ape.rate, 48000);
    EXPECT_EQ(ape.tags["Track"], "3");
    DecodedAudio flac = decodeFlac(render(ids::kFileFlac));
    EXPECT_TRUE(flac.samples == rendered);
    EXPECT_EQ(flac.tags["Title"], "Song");
    DecodedAudio ogg = decodeWithFfmpeg(render(ids::kFileOgg));
    EXPECT_GT(snr(rendered, ogg.samples), 20.0);
    EXPECT_EQ(ogg.tags["Artist"], "X");
    EXPECT_TRUE(rec.ui.messages.empty());
    // Nothing but the four outputs and the recording's own files.
    EXPECT_EQ(std::distance(fs::directory_iterator(rec.dir.path()), fs::directory_iterator()), 6);
}

} // namespace
} // namespace tarnival::test
