#pragma once
// Runs the command-line program in tests. Every test program that includes this is built with
// TARNIVAL_CLI, the path of the program under test.
#include "support/TempDir.h"

#include <array>
#include <cstdio>
#include <fcntl.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <vector>

namespace tarnival::test {

struct CliRun {
    int status;
    std::string out; // standard output and error together
};

// Runs the CLI with a private settings folder, so the user's settings are neither read nor
// changed, and a private temporary folder. prefix goes before the command (a cd, say).
inline CliRun cli(const std::string& args, const TempDir& home, const std::string& prefix = "") {
    std::string command = prefix + "XDG_CONFIG_HOME='" + home.file("config") + "' TMPDIR='" +
                          home.path().string() + "' '" TARNIVAL_CLI "' " + args + " 2>&1";
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

// A word quoted for the shell.
inline std::string q(const std::string& s) {
    return "'" + s + "'";
}

// Starts the CLI in the background with the same private folders and its output discarded;
// returns its pid.
inline pid_t spawnCli(const std::vector<std::string>& args, const TempDir& home) {
    std::vector<std::string> env = {"XDG_CONFIG_HOME=" + home.file("config"),
                                    "TMPDIR=" + home.path().string(), "PATH=/usr/bin:/bin"};
    std::vector<std::string> argv = {TARNIVAL_CLI};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char*> a, e;
    for (auto& s : argv) a.push_back(s.data());
    for (auto& s : env) e.push_back(s.data());
    a.push_back(nullptr);
    e.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    posix_spawn(&pid, TARNIVAL_CLI, &actions, nullptr, a.data(), e.data());
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

// The exit status of a spawned CLI, or 128 + the signal that ended it.
inline int waitFor(pid_t pid) {
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

} // namespace tarnival::test
