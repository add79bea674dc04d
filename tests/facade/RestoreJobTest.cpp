// The restore pipeline as every front end runs it, on inputs the command line tests do not make.
#include "facade/RestoreJob.h"
#include "document/File.h"
#include "facade/Document.h"
#include "output/ApeSink.h"
#include "support/ScriptedUi.h"
#include "support/Signals.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace tarnival {
namespace {

namespace fs = std::filesystem;

// Compresses samples into an APE file of the version the program reads, with the given tags.
void writeApe(const std::string& path, const test::Stereo& samples, const TrackTags& tags) {
    test::writeFile(path, {}); // a sink fills a file that exists
    test::ScriptedUi ui;
    ApeSink sink(path, 1, ui);
    ASSERT_TRUE(sink.begin({44100, 0, static_cast<int64_t>(samples.size() * 2)}, tags));
    sink.write(reinterpret_cast<const uint8_t*>(samples.data()), samples.size() * 2);
    ASSERT_TRUE(sink.finish());
}

TEST(RestoreJob, AnApeSidesTagsNameItsTrack) {
    test::TempDir dir;
    MemoryProfile profile;
    set(profile, settings::kTempMode, ids::kTempUser);
    set(profile, settings::kTempPath, dir.path().string());
    set(profile, settings::kSplitTracks, 0);
    set(profile, settings::kSensitivity, 3);
    test::Stereo audio = test::music(44100 * 6, 44100, 3, 5000);
    test::addClick(audio, {100000, 6, 12000});
    const std::string input = dir.file("side a.ape");
    TrackTags tags;
    tags.title = "Blue Moon";
    tags.artist = "The Band";
    tags.trackNumberText = "7";
    writeApe(input, audio, tags);

    test::ScriptedUi ui;
    CMorvath3Doc doc(profile, ui);
    RestorePlan plan;
    plan.input = input;
    plan.rule = "# Artist - Title";
    plan.outputFolder = dir.file("out");
    RestoreResult r = RestoreJob(doc, plan).run();
    ASSERT_EQ(r.outcome, RestoreResult::Outcome::Done)
        << (ui.messages.empty() ? "" : ui.messages[0]);
    EXPECT_TRUE(doc.isApe());
    EXPECT_GE(r.clicks, 1);
    // The tag's track number, artist and title name the single track.
    EXPECT_EQ(r.written, std::vector<std::string>{dir.file("out/07 The Band - Blue Moon.wav")});
    EXPECT_TRUE(fs::exists(r.written[0]));
}

} // namespace
} // namespace tarnival
