// tarnival-cli batch end to end: the steps and log of the batch run, several files at once, and
// stopping.
#include "batch/BatchProcessor.h"
#include "facade/Document.h"
#include "support/AudioDecoding.h"
#include "support/CliRun.h"
#include "support/Signals.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <array>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <map>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace tarnival {
namespace {

namespace fs = std::filesystem;

using test::cli;
using test::q;
using test::spawnCli;
using test::waitFor;

std::string text(const std::string& path) {
    std::vector<uint8_t> b = test::readFile(path);
    return std::string(b.begin(), b.end());
}

test::Stereo side(uint32_t seed, int seconds = 8) {
    test::Stereo a = test::hiss(44100 * 2, 20, seed);
    test::Stereo m = test::music(44100 * seconds, 44100, seed, 7000);
    test::addClicks(m, 30, 20000, 44100 * seconds - 20000, seed + 3);
    test::append(a, m);
    test::append(a, test::hiss(44100 * 2, 20, seed + 1));
    return a;
}

TEST(BatchCli, TwoJobsGiveTheSameOutputsAndLogAsOne) {
    test::TempDir home;
    std::vector<std::string> inputs;
    for (const char* name : {"one.wav", "two.wav", "three.wav", "four.wav"}) {
        inputs.push_back(home.file(name));
        if (std::string(name) == "two.wav")
            test::writeFile(inputs.back(), {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E'});
        else
            test::writeWav(inputs.back(), side(static_cast<uint32_t>(inputs.size())));
    }
    std::string files;
    for (const std::string& f : inputs) files += q(f) + " ";
    const std::string steps = "--declick --passes 2 --filter rumble,hiss=2,treble=1 --normalise "
                              "-1.5 --balance --trim --format ape --out " +
                              q(home.file("out"));
    std::map<int, std::map<std::string, std::vector<uint8_t>>> outputs;
    std::map<int, std::string> logs;
    for (int jobs : {1, 2}) {
        SCOPED_TRACE(jobs);
        fs::remove_all(home.file("out"));
        test::CliRun r = cli("batch " + files + steps + " --jobs " + std::to_string(jobs) +
                                 " --log " + q(home.file("log" + std::to_string(jobs))),
                             home);
        // The damaged file makes the run fail as a whole; the others are done.
        EXPECT_EQ(r.status, 1) << r.out;
        EXPECT_NE(r.out.find("[2/4  50%] " + inputs[1] + ": not opened"), std::string::npos)
            << r.out;
        EXPECT_NE(r.out.find("4 files: 3 saved, 1 failed"), std::string::npos) << r.out;
        for (const auto& e : fs::directory_iterator(home.file("out")))
            outputs[jobs][e.path().filename().string()] = test::readFile(e.path().string());
        logs[jobs] = text(home.file("log" + std::to_string(jobs)));
    }
    EXPECT_EQ(logs[1], logs[2]);
    ASSERT_EQ(outputs[1].size(), 3u);
    EXPECT_TRUE(outputs[1] == outputs[2]);
    for (const char* name : {"onecor.ape", "threecor.ape", "fourcor.ape"}) {
        ASSERT_TRUE(outputs[1].count(name)) << name;
        const std::string path = home.file(name);
        test::writeFile(path, outputs[1][name]);
        test::DecodedAudio d = test::decodeApe(path);
        EXPECT_EQ(d.error, "") << name;
        EXPECT_GT(d.samples.size(), 44100u * 2 * 8) << name;
    }
    const std::string& log = logs[1];
    for (const std::string& line :
         {"Opening: " + inputs[1] + " \n", std::string("----Error Opening File----\n"),
          std::string("\tSuperScan Pass 2 of 2 - Removing Clicks\n"),
          std::string("\t\tHiss Filter\n\t\tTreble Lift\n"),
          "\tSaving: " + home.file("out") + "/fourcor.ape\n", std::string("----All Done----\n")})
        EXPECT_NE(log.find(line), std::string::npos) << line << "\n" << log;
    EXPECT_EQ(log.find("Opening: " + inputs[2]) < log.find("Opening: " + inputs[3]), true);

    // Without the damaged one every file succeeds, and the log goes to the standard output.
    test::CliRun good = cli("batch " + q(inputs[0]) + " " + q(inputs[2]) + " --scale -3 --out " +
                                q(home.file("out2")),
                            home);
    EXPECT_EQ(good.status, 0) << good.out;
    EXPECT_NE(good.out.find("\tScaling\n"), std::string::npos) << good.out;
    EXPECT_TRUE(fs::exists(home.file("out2/onecor.wav")));
}

// The dialog hands its choices to the command line when it runs several files at once: the
// command line must then do exactly what the run inside the program does.
TEST(BatchCli, TheDialogsChoicesAsArgumentsDoWhatTheRunInsideDoes) {
    struct Collect : BatchHost {
        std::string all;
        void log(const std::string& text, bool) override {
            for (size_t i = 0; i < text.size(); ++i)
                if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n'))
                    all += text[i];
        }
        bool abortRequested() const override { return false; }
    };
    test::TempDir home;
    const std::string input = home.file("side.wav");
    test::writeWav(input, side(7));
    BatchOptions o;
    o.removeClicks = true;
    o.superPasses = 1;
    o.scan.sensitivity = 4;
    o.scan.mode = ids::kDifferential;
    o.scan.corWidth = ids::kNarrowWidth;
    o.scan.minMagnitude = 2;
    o.scan.repairMethod = ids::kRepairPrecise;
    o.filter = true;
    o.filters.HumOn = true;
    o.filters.TrebleOn = true;
    o.filters.TrebleLevel = -2;
    o.scale = true;
    o.levelDb = -2.5;
    o.trimSilence = true;
    o.naming = BatchNaming::InputNames;
    o.output.fileType = ids::kFileFlac;

    o.outputPath = home.file("inside");
    fs::create_directories(o.outputPath);
    MemoryProfile profile;
    profile.setInt("Settings", "Temp Mode", ids::kTempUser);
    profile.setString("Settings", "Temp Path", home.path().string());
    Collect host;
    BatchUi ui(host);
    CMorvath3Doc doc(profile, ui);
    ASSERT_EQ(RunBatch(doc, host, {input}, o).saved, 1) << host.all;

    o.outputPath = home.file("outside");
    std::string args = "batch " + q(input) + " --jobs 1 --log " + q(home.file("log"));
    for (const std::string& a : BatchCommandArguments(o)) args += " " + q(a);
    test::CliRun r = cli(args, home);
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(test::readFile(home.file("inside/side.flac")),
              test::readFile(home.file("outside/side.flac")));
    std::string expected = host.all;
    for (size_t at = expected.find("inside"); at != std::string::npos;
         at = expected.find("inside", at))
        expected.replace(at, 6, "outside");
    EXPECT_EQ(text(home.file("log")), expected);
    EXPECT_NE(expected.find("\t\tTreble Cut\n"), std::string::npos) << expected;
}

TEST(BatchCli, FoldersAreSearchedAndUsageErrorsRefused) {
    test::TempDir home;
    fs::create_directories(home.file("shelf/b-side"));
    test::writeWav(home.file("shelf/a.wav"), side(1, 4));
    test::writeWav(home.file("shelf/b-side/b.WAV"), side(2, 4));
    test::writeFile(home.file("shelf/notes.mp3"), {1, 2, 3});
    test::CliRun r = cli("batch " + q(home.file("shelf")) + " --trim --jobs 2", home);
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_TRUE(fs::exists(home.file("shelf/acor.wav")));
    EXPECT_TRUE(fs::exists(home.file("shelf/b-side/bcor.wav")));
    EXPECT_EQ(r.out.find("notes"), std::string::npos);

    for (const char* args :
         {"", "--declick", "x.wav", "x.wav --normalise -1 --scale 2", "x.wav --passes 2 --trim",
          "x.wav --filter rumble,wow", "x.wav --normalise 3", "x.wav --scale 11",
          "x.wav --trim --jobs 0", "x.wav --trim --format mp3", "x.wav --trim --bogus"}) {
        test::CliRun bad = cli(std::string("batch ") + args, home);
        EXPECT_EQ(bad.status, 2) << args << "\n" << bad.out;
        EXPECT_NE(bad.out.find("Usage: tarnival-cli batch"), std::string::npos) << args;
    }
}

TEST(BatchCli, InterruptStopsEveryJobCleanly) {
    test::TempDir home;
    std::vector<std::string> args = {"batch"};
    for (int i = 0; i < 4; ++i) {
        const std::string name = home.file("long" + std::to_string(i) + ".wav");
        test::writeWav(name, test::music(44100 * 150, 44100, 30 + i, 6000));
        args.push_back(name);
    }
    for (const char* a :
         {"--declick", "--passes", "3", "--filter", "hum,hiss=3", "--jobs", "2", "--out"})
        args.push_back(a);
    args.push_back(home.file("out"));
    args.push_back("--log");
    args.push_back(home.file("log"));
    const std::string mine = home.file("tarnival-" + std::to_string(geteuid()));
    pid_t pid = spawnCli(args, home);
    // Both jobs at work on their copies.
    auto working = [&] {
        int n = 0;
        if (fs::exists(mine))
            for (const auto& e : fs::directory_iterator(mine)) n += e.path().extension() == ".wav";
        return n;
    };
    for (int i = 0; i < 4000 && working() < 2; ++i) usleep(5000);
    ASSERT_GE(working(), 2) << "the jobs were not seen at work";
    kill(pid, SIGINT);
    EXPECT_EQ(waitFor(pid), 1);
    EXPECT_TRUE(!fs::exists(mine) || fs::is_empty(mine)) << "a working file was left behind";
    const std::string log = text(home.file("log"));
    EXPECT_NE(log.find("----Batch operation aborted----\n"), std::string::npos) << log;
    EXPECT_EQ(log.find("Opening: " + home.file("long3.wav")), std::string::npos) << log;
    // Nothing half written: whatever is there is a whole file.
    if (fs::exists(home.file("out")))
        for (const auto& e : fs::directory_iterator(home.file("out"))) {
            EXPECT_EQ(e.path().filename().string().find(".partial-"), std::string::npos);
            EXPECT_EQ(e.path().extension(), ".wav");
        }
}

} // namespace
} // namespace tarnival
