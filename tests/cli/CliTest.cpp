#include "support/AudioDecoding.h"
#include "support/CliRun.h"
#include "support/Signals.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <array>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <regex>
#include <spawn.h>
#include <sstream>
#include <sys/wait.h>
#include <tuple>
#include <unistd.h>

namespace tarnival {
namespace {

namespace fs = std::filesystem;
using test::cli;
using test::CliRun;
using test::q;
using test::spawnCli;
using test::waitFor;

// A side of three pieces, each dying away, with quiet pauses, surface hiss and clicks.
test::Stereo side(std::vector<int>* clickFrames) {
    const int rate = 44100;
    test::Stereo all = test::hiss(rate * 2, 30, 11);
    for (int piece = 0; piece < 3; ++piece) {
        test::Stereo m = test::music(rate * 12, rate, 20 + piece, 7000);
        const size_t frames = m.size() / 2;
        for (size_t i = 0; i < frames; ++i) {
            double fade = std::min(1.0, static_cast<double>(frames - i) / (rate * 3.0));
            m[2 * i] = static_cast<int16_t>(m[2 * i] * fade);
            m[2 * i + 1] = static_cast<int16_t>(m[2 * i + 1] * fade);
        }
        test::mix(m, test::hiss(rate * 12, 30, 30 + piece));
        int at = static_cast<int>(all.size() / 2);
        test::append(all, m);
        test::append(all, test::hiss(rate * 4, 30, 40 + piece));
        for (int c = 0; c < 5; ++c) {
            test::Click click{at + rate * 2 + c * rate * 2, 3 + c, 9000 * (c % 2 ? -1 : 1)};
            test::addClick(all, click);
            if (clickFrames) clickFrames->push_back(click.frame);
        }
    }
    return all;
}

TEST(Cli, HelpVersionAndUsageErrors) {
    test::TempDir home;
    CliRun help = cli("--help", home);
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("restore INPUT"), std::string::npos);
    CliRun version = cli("--version", home);
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out.rfind("tarnival-cli ", 0), 0u);
    CliRun restoreHelp = cli("restore --help", home);
    EXPECT_EQ(restoreHelp.status, 0);
    EXPECT_NE(restoreHelp.out.find("--sensitivity 0-5"), std::string::npos);
    // Options are never taken for the demo's folder.
    CliRun demoHelp = cli("demo --help", home);
    EXPECT_EQ(demoHelp.status, 0);
    EXPECT_NE(demoHelp.out.find("demo [DIR]"), std::string::npos);
    EXPECT_EQ(demoHelp.out.find("Writing"), std::string::npos);
    EXPECT_EQ(cli("demo --quick", home).status, 2);

    EXPECT_EQ(cli("", home).status, 2);
    CliRun unknown = cli("frobnicate", home);
    EXPECT_EQ(unknown.status, 2);
    EXPECT_NE(unknown.out.find("unknown command 'frobnicate'"), std::string::npos);
    CliRun badValue = cli("restore x.wav --sensitivity 9", home);
    EXPECT_EQ(badValue.status, 2);
    EXPECT_NE(badValue.out.find("--sensitivity takes a whole number from 0 to 5"),
              std::string::npos);
    EXPECT_EQ(cli("restore", home).status, 2);
    EXPECT_EQ(cli("restore a.wav --tracks 3 --no-split", home).status, 2);
}

TEST(Cli, BadInputFailsWithTheEngineMessage) {
    test::TempDir home;
    std::string junk = home.file("junk.wav");
    test::writeFile(junk, std::vector<uint8_t>(100, 7));
    CliRun r = cli("restore " + q(junk), home);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("Incorrect Wave File Format"), std::string::npos);
    CliRun missing = cli("info " + q(home.file("nothing.wav")), home);
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.out.find("No such file or directory"), std::string::npos);
}

TEST(Cli, RestoreWritesTracksAndTheCorrectionList) {
    test::TempDir home;
    std::vector<int> clicks;
    std::string input = home.file("side a.wav");
    test::writeWav(input, side(&clicks));
    auto before = test::readFile(input);
    std::string out = home.file("out");
    std::string list = home.file("list.tsv");

    CliRun r = cli("restore " + q(input) + " --out " + q(out) + " --list " + q(list) +
                       " --album 'Live' --fade-out 1.5",
                   home);
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("Status: Ready to Save"), std::string::npos) << r.out;
    EXPECT_EQ(test::readFile(input), before) << "the input must never change";

    std::vector<std::string> files;
    for (auto& e : fs::directory_iterator(out)) files.push_back(e.path().filename().string());
    std::sort(files.begin(), files.end());
    EXPECT_EQ(files,
              (std::vector<std::string>{"side acor01.wav", "side acor02.wav", "side acor03.wav"}))
        << r.out;

    // Every click is covered by a listed correction.
    std::ifstream in(list);
    std::string header, line;
    std::getline(in, header);
    EXPECT_EQ(header, "position\tseconds\twidth\tmagnitude\tkind");
    std::vector<long> positions;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        long position;
        fields >> position;
        if (line.find("click") != std::string::npos) positions.push_back(position);
    }
    for (int frame : clicks) {
        long at = 44 + 4L * frame;
        bool covered = std::any_of(positions.begin(), positions.end(),
                                   [&](long p) { return std::labs(p - at) < 200; });
        EXPECT_TRUE(covered) << "click at frame " << frame;
    }

    // The list may not take the place of the recording.
    CliRun clobber =
        cli("restore " + q(input) + " --out " + q(out) + " --yes --list " + q(input), home);
    EXPECT_EQ(clobber.status, 1);
    EXPECT_NE(clobber.out.find("would overwrite the recording"), std::string::npos) << clobber.out;
    EXPECT_EQ(test::readFile(input), before);

    // A second run refuses to overwrite without --yes and leaves the files alone.
    auto first = test::readFile(out + "/side acor01.wav");
    CliRun again = cli("restore " + q(input) + " --out " + q(out) + " --sensitivity 0", home);
    EXPECT_EQ(again.status, 1);
    EXPECT_NE(again.out.find("use --yes"), std::string::npos) << again.out;
    EXPECT_EQ(test::readFile(out + "/side acor01.wav"), first);
    CliRun forced = cli("restore " + q(input) + " --out " + q(out) + " --no-split --yes", home);
    EXPECT_EQ(forced.status, 0) << forced.out;
    EXPECT_TRUE(fs::exists(out + "/side acor01.wav"));
}

// The data of a wave file we wrote (44-byte header), checked for a header that tells the truth.
std::vector<uint8_t> trackData(const std::string& path) {
    auto bytes = test::readFile(path);
    EXPECT_GE(bytes.size(), 44u) << path;
    if (bytes.size() < 44) return {};
    uint32_t riff, data;
    std::memcpy(&riff, &bytes[4], 4);
    std::memcpy(&data, &bytes[40], 4);
    EXPECT_EQ(riff, bytes.size() - 8) << path;
    EXPECT_EQ(data, bytes.size() - 44) << path;
    return {bytes.begin() + 44, bytes.end()};
}

TEST(Cli, TrackAndOutputOptionsEndToEnd) {
    test::TempDir home;
    std::vector<int> clicks;
    std::string input = home.file("side b.wav");
    test::writeWav(input, side(&clicks));
    std::string out = home.file("out");

    // Tags given on the command line name every track, the rule makes a folder, the first track
    // gets exactly 1.4 s of silence (105 whole sectors) and gapless tracks join without a gap.
    CliRun r = cli("restore " + q(input) + " --out " + q(out) +
                       " --rule 'Album\\#_Artist - Title' --album 'Best Of' --artist 'The Band'"
                       " --pre-silence 1.4 --gapless --log-fades",
                   home);
    ASSERT_EQ(r.status, 0) << r.out;
    const std::string folder = out + "/Best Of/";
    std::vector<std::vector<uint8_t>> tracks;
    for (const char* name :
         {"01_The Band - ---.wav", "02_The Band - ---.wav", "03_The Band - ---.wav"}) {
        ASSERT_TRUE(fs::exists(folder + name)) << name << "\n" << r.out;
        tracks.push_back(trackData(folder + name));
    }
    const size_t preSilence = 105 * 2352;
    ASSERT_GT(tracks[0].size(), preSilence);
    EXPECT_TRUE(std::all_of(tracks[0].begin(), tracks[0].begin() + preSilence,
                            [](uint8_t b) { return b == 0; }));
    std::vector<uint8_t> joined(tracks[0].begin() + preSilence, tracks[0].end());
    joined.insert(joined.end(), tracks[1].begin(), tracks[1].end());
    joined.insert(joined.end(), tracks[2].begin(), tracks[2].end());

    // The same side as one track holds the three tracks as one stretch, byte for byte.
    CliRun whole =
        cli("restore " + q(input) + " --out " + q(home.file("whole")) + " --no-split", home);
    ASSERT_EQ(whole.status, 0) << whole.out;
    auto all = trackData(home.file("whole/side bcor01.wav"));
    // Both fade over their first and last sector (gains step every 40 samples, a little beyond).
    ASSERT_GT(joined.size(), 4u * 2352);
    EXPECT_NE(std::search(all.begin(), all.end(), joined.begin() + 4704, joined.end() - 4704),
              all.end())
        << "the gapless tracks are one stretch of the side";

    // The stored settings are the command line's defaults, and every switch has its opposite.
    for (const char* pair : {"--split --no-split", "--gapless --no-gapless", "--narrow --normal",
                             "--differential --per-channel", "--linear-fades --log-fades"}) {
        CliRun both = cli("restore " + q(input) + " --out " + q(home.file("x")) + " " + pair +
                              " --sensitivity 0 --yes",
                          home);
        EXPECT_EQ(both.status, 0) << pair << "\n" << both.out;
    }
    // --tracks goes straight to the number asked for, without the automatic detection's word.
    CliRun two = cli("restore " + q(input) + " --out " + q(home.file("two")) + " --tracks 2", home);
    ASSERT_EQ(two.status, 0) << two.out;
    EXPECT_EQ(two.out.find("Tracks Found"), std::string::npos) << two.out;
    EXPECT_TRUE(fs::exists(home.file("two/side bcor02.wav"))) << two.out;
    EXPECT_FALSE(fs::exists(home.file("two/side bcor03.wav"))) << two.out;

    // A rule that names nothing is refused rather than writing a hidden ".wav".
    CliRun empty =
        cli("restore " + q(input) + " --out " + q(home.file("e")) + " --rule '\\'", home);
    EXPECT_EQ(empty.status, 1);
    EXPECT_NE(empty.out.find("gives a track no file name"), std::string::npos) << empty.out;
    EXPECT_FALSE(fs::exists(home.file("e/.wav")));
}

TEST(Cli, FilesItWritesAreWholeAndNeverThroughLinks) {
    test::TempDir home;
    std::vector<int> clicks;
    std::string input = home.file("side.wav");
    test::writeWav(input, side(&clicks));
    const auto recording = test::readFile(input);

    // The README's example: a relative folder that does not exist yet.
    CliRun relative = cli("restore side.wav --out tracks", home, "cd " + q(home.path()) + " && ");
    ASSERT_EQ(relative.status, 0) << relative.out;
    EXPECT_TRUE(fs::exists(home.file("tracks/sidecor01.wav")));

    // A list planted as a link: never written through, with or without --yes.
    const std::string victim = home.file("victim.txt");
    test::writeFile(victim, {'v'});
    const std::string list = home.file("list.tsv");
    fs::create_symlink(victim, list);
    CliRun planted =
        cli("restore side.wav --out tracks --no-split --sensitivity 0 --list " + q(list), home,
            "cd " + q(home.path()) + " && ");
    EXPECT_EQ(planted.status, 1);
    EXPECT_NE(planted.out.find("list.tsv exists"), std::string::npos) << planted.out;
    EXPECT_EQ(test::readFile(victim), std::vector<uint8_t>{'v'});
    CliRun replaced = cli("restore side.wav --out tracks2 --no-split --list " + q(list) + " --yes",
                          home, "cd " + q(home.path()) + " && ");
    EXPECT_EQ(replaced.status, 0) << replaced.out;
    EXPECT_EQ(test::readFile(victim), std::vector<uint8_t>{'v'});
    EXPECT_FALSE(fs::is_symlink(list));
    // A list through a link to the recording is refused outright.
    fs::create_symlink(input, home.file("sneaky.tsv"));
    CliRun sneaky = cli("restore side.wav --out t3 --yes --list sneaky.tsv", home,
                        "cd " + q(home.path()) + " && ");
    EXPECT_EQ(sneaky.status, 1);
    EXPECT_NE(sneaky.out.find("would overwrite the recording"), std::string::npos) << sneaky.out;

    // An output folder that cannot be made says why.
    CliRun blocked = cli("restore " + q(input) + " --no-split --out " + q(input + "/sub"), home);
    EXPECT_EQ(blocked.status, 1);
    EXPECT_NE(blocked.out.find("Not a directory"), std::string::npos) << blocked.out;
    EXPECT_EQ(test::readFile(input), recording);

    // Nothing of ours is left in the temporary folder after any of these runs.
    const std::string mine = home.file("tarnival-" + std::to_string(geteuid()));
    ASSERT_TRUE(fs::exists(mine));
    EXPECT_TRUE(fs::is_empty(mine));
}

TEST(Cli, ConcurrentRunsOfSidesWithTheSameNameNeverMix) {
    test::TempDir home;
    std::vector<int> clicks;
    test::Stereo a = side(&clicks);
    test::Stereo b = test::music(static_cast<int>(a.size() / 2), 44100, 99, 5000);
    fs::create_directories(home.file("a"));
    fs::create_directories(home.file("b"));
    test::writeWav(home.file("a/side.wav"), a);
    test::writeWav(home.file("b/side.wav"), b);
    // What each gives alone.
    std::vector<std::vector<uint8_t>> alone;
    for (const char* d : {"a", "b"}) {
        std::string in = home.file(std::string(d) + "/side.wav");
        ASSERT_EQ(cli("restore " + q(in) + " --no-split --out " + q(home.file(d) + "/alone"), home)
                      .status,
                  0);
        alone.push_back(test::readFile(home.file(d) + "/alone/sidecor01.wav"));
    }
    for (int round = 0; round < 3; ++round) {
        pid_t pa = spawnCli({"restore", home.file("a/side.wav"), "--no-split", "--yes", "--out",
                             home.file("a/together")},
                            home);
        pid_t pb = spawnCli({"restore", home.file("b/side.wav"), "--no-split", "--yes", "--out",
                             home.file("b/together")},
                            home);
        int sa = waitFor(pa), sb = waitFor(pb);
        // Each run either gives what it gives alone, or is refused; never the other's audio.
        for (auto [status, dir, expected] :
             {std::tuple{sa, "a", &alone[0]}, std::tuple{sb, "b", &alone[1]}}) {
            std::string made = home.file(dir) + "/together/sidecor01.wav";
            if (status == 0)
                EXPECT_EQ(test::readFile(made), *expected) << dir << " round " << round;
            else
                EXPECT_EQ(status, 1) << dir;
            fs::remove(made);
        }
    }
}

TEST(Cli, SignalsStopTheRunAndTakeTheTemporaryFilesAlong) {
    test::TempDir home;
    // A side long enough to be caught at work.
    test::Stereo longSide = test::music(44100 * 240, 44100, 5, 6000);
    test::writeWav(home.file("long.wav"), longSide);
    const std::string mine = home.file("tarnival-" + std::to_string(geteuid()));
    for (int sig : {SIGTERM, SIGHUP, SIGINT}) {
        pid_t pid =
            spawnCli({"restore", home.file("long.wav"), "--out", home.file("out"), "--yes"}, home);
        // Wait until it works on its copy.
        for (int i = 0; i < 2000 && !(fs::exists(mine) && !fs::is_empty(mine)); ++i) usleep(5000);
        ASSERT_FALSE(fs::is_empty(mine)) << "no working file appeared";
        kill(pid, sig);
        EXPECT_EQ(waitFor(pid), 1) << strsignal(sig);
        EXPECT_TRUE(fs::is_empty(mine)) << strsignal(sig) << " left a temporary file";
    }
}

TEST(Cli, AKilledSaveLeavesNoTrackThatLooksFinished) {
    test::TempDir home;
    test::Stereo big = test::music(44100 * 300, 44100, 8, 6000);
    test::writeWav(home.file("big.wav"), big);
    const std::string out = home.file("out");
    // An earlier output that the interrupted save was to replace.
    fs::create_directories(out);
    test::writeWav(out + "/bigcor01.wav", test::music(44100, 44100, 9, 100));
    const auto earlier = test::readFile(out + "/bigcor01.wav");
    pid_t pid = spawnCli({"restore", home.file("big.wav"), "--sensitivity", "0", "--no-split",
                          "--yes", "--out", out},
                         home);
    bool caught = false;
    for (int i = 0; i < 200000 && !caught; ++i) {
        for (const auto& e : fs::directory_iterator(out))
            if (e.path().filename().string().find(".partial-") != std::string::npos) caught = true;
        if (!caught) usleep(200);
    }
    kill(pid, SIGKILL);
    waitFor(pid);
    ASSERT_TRUE(caught) << "the save was not seen under way";
    // The output is the earlier file or the whole new one, never a part.
    auto now = test::readFile(out + "/bigcor01.wav");
    if (now != earlier) trackData(out + "/bigcor01.wav");
    for (const auto& e : fs::directory_iterator(out)) {
        std::string name = e.path().filename().string();
        EXPECT_TRUE(name == "bigcor01.wav" || name.rfind(".bigcor01.wav.partial-", 0) == 0) << name;
    }
}

TEST(Cli, FiltersLevelsAndOutputFormatsEndToEnd) {
    test::TempDir home;
    std::vector<int> clicks;
    std::string input = home.file("side.wav");
    test::writeWav(input, side(&clicks));
    auto run = [&](const std::string& out, const std::string& options) {
        CliRun r = cli("restore " + q(input) + " --out " + q(home.file(out)) + " " + options, home);
        EXPECT_EQ(r.status, 0) << options << "\n" << r.out;
        return r;
    };
    auto samplesOf = [](const std::string& wav) {
        auto data = trackData(wav);
        test::Stereo s(data.size() / 2);
        std::memcpy(s.data(), data.data(), s.size() * 2);
        return s;
    };

    // Levelled and filtered wave tracks are the reference for every other format.
    const std::string levelled = "--normalise -1 --balance auto --rumble --hiss 2 --treble 1";
    CliRun wav = run("wav", levelled);
    EXPECT_NE(wav.out.find("Filters applied: rumble, hiss level 2, treble 4 dB"), std::string::npos)
        << wav.out;
    std::vector<test::Stereo> reference;
    int peak = 0;
    for (int k = 1; k <= 3; ++k) {
        reference.push_back(samplesOf(home.file("wav/sidecor0" + std::to_string(k) + ".wav")));
        for (int16_t v : reference.back()) peak = std::max(peak, std::abs(int{v}));
    }
    EXPECT_NEAR(peak, 29204, 2) << "normalised to -1 dB";

    // The filters changed the sound: the same side without them is another, and the precise
    // repair another again.
    const CliRun standard = run("plain", "--normalise -1 --balance auto");
    const test::Stereo plain = samplesOf(home.file("plain/sidecor01.wav"));
    EXPECT_NE(plain, reference[0]);
    const CliRun precise = run("precise", "--normalise -1 --balance auto --repair precise");
    EXPECT_NE(samplesOf(home.file("precise/sidecor01.wav")), plain);
    // Precise repair accounts for every correction: rewritten, left alone or made the standard
    // way, together all that were found.
    EXPECT_EQ(standard.out.find("Precise repair:"), std::string::npos) << standard.out;
    std::smatch found, counts;
    ASSERT_TRUE(
        std::regex_search(precise.out, found, std::regex(R"((\d+) clicks found and corrected)")))
        << precise.out;
    ASSERT_TRUE(std::regex_search(
        precise.out, counts,
        std::regex(
            R"(Precise repair: (\d+) corrections rewrote only the damaged samples, (\d+) were )"
            R"(left as they were \(.+\), (\d+) were made the standard way)")))
        << precise.out;
    EXPECT_GT(std::stoi(counts[1]), 0);
    EXPECT_EQ(std::stoi(counts[1]) + std::stoi(counts[2]) + std::stoi(counts[3]),
              std::stoi(found[1]));

    // Lossless formats carry exactly the wave tracks; Ogg is close to them.
    const struct {
        const char* options;
        const char* extension;
        std::function<test::DecodedAudio(const std::string&)> decode;
        bool exact;
    } formats[] = {
        {"--format flac --flac-level 8", ".flac", test::decodeFlac, true},
        {"--format ape --ape-level extra", ".ape", test::decodeApe, true},
        {"--format ape --ape-level fast", ".ape", test::decodeApe, true},
        {"--format ogg --ogg-quality 6", ".ogg", test::decodeWithFfmpeg, false},
    };
    for (const auto& f : formats) {
        run("f", levelled + " --yes " + f.options);
        for (int k = 1; k <= 3; ++k) {
            std::string path = home.file("f/sidecor0" + std::to_string(k) + f.extension);
            test::DecodedAudio d = f.decode(path);
            EXPECT_EQ(d.error, "") << path;
            if (f.exact)
                EXPECT_TRUE(d.samples == reference[static_cast<size_t>(k - 1)]) << path;
            else
                EXPECT_NEAR(static_cast<double>(d.samples.size()),
                            static_cast<double>(reference[static_cast<size_t>(k - 1)].size()), 4096)
                    << path;
        }
    }

    // An external encoder gets the rendered wave as one argument and makes the output.
    run("ext", levelled + " --format external --encoder /bin/cp --encoder-args '%IN %OUT'"
                          " --extension w2");
    EXPECT_TRUE(samplesOf(home.file("ext/sidecor01.w2")) == reference[0]);
    EXPECT_FALSE(fs::exists(home.file("ext/sidecor01.w2.wav"))) << "its input is cleaned up";
    CliRun bad = cli("restore " + q(input) + " --out " + q(home.file("bad")) +
                         " --format external --encoder /bin/cp --encoder-args '%OUT'",
                     home);
    EXPECT_EQ(bad.status, 1);
    EXPECT_NE(bad.out.find("Invalid Parameters entered."), std::string::npos) << bad.out;

    // Options that make no sense are usage errors.
    for (const char* wrong :
         {"--format mp3", "--repair best", "--ape-level max", "--hiss 4", "--treble 5",
          "--profile 3-1 --hiss 1", "--profile auto", "--normalise 3"})
        EXPECT_EQ(cli("restore " + q(input) + " " + wrong, home).status, 2) << wrong;
}

TEST(Cli, EveryFilterAndTagOptionActsAndSaysWhat) {
    test::TempDir home;
    std::string input = home.file("side.wav");
    test::writeWav(input, side(nullptr));
    auto firstTrack = [&](const std::string& out) {
        return trackData(home.file(out + "/sidecor01.wav"));
    };
    ASSERT_EQ(cli("restore " + q(input) + " --out " + q(home.file("plain")), home).status, 0);
    const std::vector<uint8_t> plain = firstTrack("plain");

    const struct {
        const char* options;
        int status;
        const char* said; // in what the run printed
    } runs[] = {
        {"--hum", 0, "Filters applied: hum"},
        {"--hiss 2 --profile 0.1-0.9", 0, "Filters applied: hiss level 2"},
        {"--hiss 1 --hum --profile auto", 0, "Filters applied: hum, hiss level 1"},
        {"--source tape", 0, "Filters applied: hiss level 1"},
        {"--graphic Missing", 1, "There is no graphic filter called \"Missing\"."},
    };
    int n = 0;
    for (const auto& r : runs) {
        const std::string out = "run" + std::to_string(++n);
        CliRun run =
            cli("restore " + q(input) + " --out " + q(home.file(out)) + " " + r.options, home);
        EXPECT_EQ(run.status, r.status) << r.options << "\n" << run.out;
        EXPECT_NE(run.out.find(r.said), std::string::npos) << r.options << "\n" << run.out;
        if (r.status == 0)
            EXPECT_NE(firstTrack(out), plain) << r.options << ": the sound changed";
        else
            EXPECT_FALSE(fs::exists(home.file(out + "/sidecor01.wav"))) << r.options;
    }

    // Title and genre reach the tags of every track.
    ASSERT_EQ(cli("restore " + q(input) + " --out " + q(home.file("tagged")) +
                      " --format flac --title 'Side \"A\"; $(x)' --genre Polka",
                  home)
                  .status,
              0);
    for (int k = 1; k <= 3; ++k) {
        test::DecodedAudio d =
            test::decodeFlac(home.file("tagged/sidecor0" + std::to_string(k) + ".flac"));
        EXPECT_EQ(d.error, "");
        EXPECT_EQ(d.tags["Title"], "Side \"A\"; $(x)") << k;
        EXPECT_EQ(d.tags["Genre"], "Polka") << k;
    }
}

} // namespace
} // namespace tarnival
