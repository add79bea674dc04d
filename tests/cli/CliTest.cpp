#include "support/Signals.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/wait.h>

namespace tarnival {
namespace {

namespace fs = std::filesystem;

struct CliRun {
    int status;
    std::string out;
};

// Runs the CLI with a private settings folder so the user's settings are neither read nor changed.
CliRun cli(const std::string& args, const test::TempDir& home) {
    std::string command =
        "XDG_CONFIG_HOME='" + home.file("config") + "' '" TARNIVAL_CLI "' " + args + " 2>&1";
    CliRun r{-1, {}};
    FILE* p = popen(command.c_str(), "r");
    if (!p) return r;
    std::array<char, 4096> buf{};
    size_t n;
    while ((n = fread(buf.data(), 1, buf.size(), p)) > 0) r.out.append(buf.data(), n);
    int status = pclose(p);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

std::string q(const std::string& s) {
    return "'" + s + "'";
}

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
            clickFrames->push_back(click.frame);
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

} // namespace
} // namespace tarnival
