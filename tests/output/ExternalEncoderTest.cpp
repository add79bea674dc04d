#include "output/ExternalEncoder.h"
#include "document/Profile.h"
#include "output/OutputFixture.h"
#include "output/OutputSettings.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>

namespace tarnival::test {
namespace {

namespace fs = std::filesystem;
using Words = std::vector<std::string>;

// A shell script for the encoder's part; it is started directly, never through a shell command
// line.
std::string script(const TempDir& dir, const std::string& name, const std::string& body) {
    const std::string path = dir.file(name);
    std::ofstream(path) << "#!/bin/sh\n" << body << "\n";
    fs::permissions(path, fs::perms::owner_all);
    return path;
}

// The arguments a recording script saw, NUL-separated.
Words recordedArguments(const std::string& path) {
    const std::vector<uint8_t> bytes = readFile(path);
    Words words(1);
    for (uint8_t b : bytes)
        if (b == 0)
            words.emplace_back();
        else
            words.back() += static_cast<char>(b);
    words.pop_back();
    return words;
}

TEST(ExternalEncoder, TemplatesSplitIntoWordsBeforePlaceholdersAreFilled) {
    const EncoderValues v{"Art ist", "Al bum", "%OUT \"x\"", "", "7", "/in dir/a.wav", "/o/b.mp3"};
    const std::pair<const char*, Words> cases[] = {
        {"%IN %OUT", {"/in dir/a.wav", "/o/b.mp3"}},
        {"-b 192  --tt \"%T\"\t--ta %A %IN",
         {"-b", "192", "--tt", "%OUT \"x\"", "--ta", "Art ist", "/in dir/a.wav"}},
        {"--title=\"%L (%N)\" -g %G", {"--title=Al bum (7)", "-g", ""}},
        {"\"\" \"two words\" \"unclosed %N", {"", "two words", "unclosed 7"}},
        {"%INX %OUTPUT %Z 100%", {"/in dir/a.wavX", "/o/b.mp3PUT", "%Z", "100%"}},
        {"", {}},
    };
    for (const auto& [parameters, expected] : cases)
        EXPECT_EQ(encoderArguments(parameters, v), expected) << parameters;
}

TEST(ExternalEncoder, TagValuesArriveAsOneArgumentAndRunNothing) {
    Recording rec(music(20000));
    Track& t = rec.addTrack(rec.store.layout.dataStart + 4704, rec.store.layout.dataEnd);
    t.title = "He said \"hi\"; $(touch pwned) `touch pwned2` & echo x\nsecond line";
    t.artist = "; rm -rf \"$HOME\" #";
    const std::string args = rec.dir.file("args");
    const std::string encoder =
        script(rec.dir, "enc.sh", "printf '%s\\0' \"$@\" > '" + args + "'\ncp \"$3\" \"$4\"");
    OutputOptions options;
    options.externalEncoder = true;
    OutputContext ctx = rec.context(options);
    ctx.externalEncoder = makeExternalEncoder({encoder, "%T %A \"%IN\" %OUT", "mp3"}, rec.ui);
    const std::string out = rec.dir.file("song out.mp3");

    ASSERT_EQ(WriteTrack(ctx, 1, 5, out, true, true), WriteStatus::Written);
    EXPECT_EQ(recordedArguments(args), (Words{t.title, t.artist, out + ".wav", out}));
    EXPECT_FALSE(fs::exists(rec.dir.file("pwned")));
    EXPECT_FALSE(fs::exists(rec.dir.file("pwned2")));
    EXPECT_EQ(readWave(out).dataSize, static_cast<uint32_t>(t.end - t.start));
    EXPECT_FALSE(fs::exists(out + ".wav")); // the encoder's input goes once it has succeeded
    EXPECT_EQ(rec.ui.statusPanes[1], "Encoding File song out.mp3");
    EXPECT_TRUE(rec.ui.messages.empty());
}

TEST(ExternalEncoder, FailuresKeepTheWaveAndSayWhy) {
    TempDir tools;
    struct Case {
        std::string program, parameters, detail;
        bool outputExistsBefore = false;
    };
    const Case cases[] = {
        {script(tools, "fail.sh", "echo failing >&2; exit 3"), "%IN %OUT",
         "ended with exit status 3."},
        {tools.file("missing-encoder"), "%IN %OUT",
         "could not be started: No such file or directory."},
        {script(tools, "lazy.sh", "exit 0"), "%IN %OUT", "ended without writing"},
        // An old output of the same name is no proof of success either.
        {script(tools, "lazy2.sh", "exit 0"), "%IN %OUT", "ended without writing", true},
        {script(tools, "killed.sh", "kill -9 $$"), "%IN", "was ended by signal 9"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.program);
        Recording rec(music(20000));
        rec.addTrack(rec.store.layout.dataStart + 4704, rec.store.layout.dataEnd);
        OutputOptions options;
        options.externalEncoder = true;
        OutputContext ctx = rec.context(options);
        ctx.externalEncoder = makeExternalEncoder({c.program, c.parameters, "mp3"}, rec.ui);
        const std::string out = rec.dir.file("o.mp3");
        if (c.outputExistsBefore) writeFile(out, {1, 2, 3});
        EXPECT_EQ(WriteTrack(ctx, 1, 1, out, true, true), WriteStatus::Failed);
        ASSERT_EQ(rec.ui.messages.size(), 2u);
        EXPECT_NE(rec.ui.messages[0].find(c.detail), std::string::npos) << rec.ui.messages[0];
        EXPECT_NE(rec.ui.messages[1].find("has been kept"), std::string::npos);
        EXPECT_EQ(readWave(out + ".wav").dataSize,
                  static_cast<uint32_t>(rec.tracks[1].end - rec.tracks[1].start));
    }

    // Saving an untouched single track with "Save && Close" hands the encoder the working file;
    // when it fails, the working file stays, whole and open.
    Recording rec(music(30000));
    rec.addTrack(rec.store.layout.dataStart / 2352 * 2352 + 4704, rec.store.layout.dataEnd);
    const std::vector<uint8_t> working = readFile(rec.workingPath);
    OutputOptions options;
    options.externalEncoder = true;
    OutputContext ctx = rec.context(options);
    ctx.externalEncoder = makeExternalEncoder({cases[0].program, "%IN %OUT", "mp3"}, rec.ui);
    SaveRequest request{{1}, {1}, {rec.dir.file("o.mp3")}, true};
    const SaveOutcome outcome = SaveTracks(ctx, rec.inputPath, request);
    EXPECT_EQ(outcome.status, SaveStatus::Failed);
    EXPECT_FALSE(outcome.workingFileRemoved);
    EXPECT_TRUE(readFile(rec.workingPath) == working);
}

TEST(ExternalEncoder, CancelStopsTheProgram) {
    TempDir dir;
    ScriptedUi ui;
    const std::string pidFile = dir.file("pid");
    const std::string program =
        script(dir, "slow.sh", "echo $$ > '" + pidFile + "'\nexec sleep 60");
    ui.cancelAt = {ui.pumps + 10};
    const auto start = std::chrono::steady_clock::now();
    const ProgramRun run = runProgram(program, {}, ui);
    EXPECT_EQ(run.end, ProgramEnd::Cancelled);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
    const std::vector<uint8_t> pidText = readFile(pidFile);
    const pid_t pid = std::stoi(std::string(pidText.begin(), pidText.end()));
    EXPECT_EQ(::kill(pid, 0), -1); // gone, and reaped
    EXPECT_EQ(errno, ESRCH);
    EXPECT_GE(ui.pumps, 10);
}

TEST(EncoderSettings, RecentListsAndValidation) {
    MemoryProfile profile;
    for (const char* p : {"A %IN", "B %IN", "A %IN", "", "C %IN", "D %IN"})
        rememberParameters(profile, p);
    EXPECT_EQ(recentParameters(profile), (Words{"B %IN", "C %IN", "D %IN"}));
    EXPECT_EQ(profile.getString("Settings", "Para1", ""), "B %IN");
    EXPECT_EQ(profile.getString("Settings", "Para3", ""), "D %IN");

    TempDir dir;
    const std::string program = script(dir, "enc.sh", "exit 0");
    EXPECT_FALSE(storeEncoderSetup(profile, {program, "%OUT only", "mp3"}));
    EXPECT_FALSE(storeEncoderSetup(profile, {dir.file("none"), "%IN %OUT", "mp3"}));
    EXPECT_EQ(loadEncoderSetup(profile).encoder, "");
    EXPECT_TRUE(encoderSetupValid({"sh", "%IN", ""})); // found through PATH
    ASSERT_TRUE(storeEncoderSetup(profile, {program, "-V2 %IN %OUT", ".mp3"}));
    const EncoderSetup stored = loadEncoderSetup(profile);
    EXPECT_EQ(stored.encoder, program);
    EXPECT_EQ(stored.parameters, "-V2 %IN %OUT");
    EXPECT_EQ(stored.extension, "mp3");
    EXPECT_EQ(recentParameters(profile).back(), "-V2 %IN %OUT");
    EXPECT_EQ(recentExtensions(profile), Words{"mp3"});
}

TEST(OutputSettings, LoadSaveAndExtensions) {
    MemoryProfile profile;
    const OutputSettings defaults = loadOutputSettings(profile);
    EXPECT_EQ(defaults.fileType, ids::kFileWave);
    EXPECT_EQ(defaults.apeLevel, 2);
    EXPECT_EQ(defaults.oggQuality, 5);
    EXPECT_EQ(defaults.flacLevel, 5);

    // Damaged values read as the defaults.
    for (const char* key : {"File Type", "Ape Level", "Ogg Quality", "Flac Level"})
        profile.setInt("Settings", key, 4711);
    const OutputSettings damaged = loadOutputSettings(profile);
    EXPECT_EQ(damaged.fileType, defaults.fileType);
    EXPECT_EQ(damaged.apeLevel, defaults.apeLevel);
    EXPECT_EQ(damaged.oggQuality, defaults.oggQuality);
    EXPECT_EQ(damaged.flacLevel, defaults.flacLevel);

    OutputSettings s{ids::kFileFlac, true, 3, 0, 8, "/usr/bin/lame", "%IN %OUT", "mp3"};
    saveOutputSettings(profile, s);
    const OutputSettings back = loadOutputSettings(profile);
    EXPECT_EQ(back.fileType, ids::kFileFlac);
    EXPECT_TRUE(back.externalEncoder);
    EXPECT_EQ(std::tie(back.apeLevel, back.oggQuality, back.flacLevel),
              std::tie(s.apeLevel, s.oggQuality, s.flacLevel));
    EXPECT_EQ(std::tie(back.encoder, back.parameters, back.extension),
              std::tie(s.encoder, s.parameters, s.extension));
    EXPECT_FALSE(back.usesExternalEncoder()); // the encoder runs on wave output only

    const std::tuple<int, bool, const char*> extensions[] = {
        {ids::kFileWave, false, ".wav"}, {ids::kFileApe, false, ".ape"},
        {ids::kFileOgg, false, ".ogg"},  {ids::kFileFlac, false, ".flac"},
        {ids::kFileWave, true, ".mp3"},  {ids::kFileApe, true, ".ape"}};
    for (const auto& [type, external, extension] : extensions) {
        s.fileType = type;
        s.externalEncoder = external;
        EXPECT_EQ(outputExtension(s), extension);
        OutputOptions options;
        applyOutputSettings(s, options);
        EXPECT_EQ(options.externalEncoder, external && type == ids::kFileWave);
    }
}

} // namespace
} // namespace tarnival::test
