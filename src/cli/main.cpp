// tarnival-cli: the terminal front end.
#include "cli/AudioCommands.h"
#include "cli/BatchCommand.h"
#include "cli/Commands.h"
#include "cli/TerminalUi.h"
#include "settings/SettingsProfile.h"

#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

const char* const kUsage =
    "Usage: tarnival-cli COMMAND [OPTIONS]\n"
    "\n"
    "Restore gramophone record and tape transfers: find and repair clicks, split a side\n"
    "into tracks at the pauses and write each track as a file.\n"
    "\n"
    "Commands:\n"
    "  info FILE              check a wave or APE file and print its layout\n"
    "  restore INPUT [OPT]    load, scan and correct INPUT (see 'tarnival-cli restore --help')\n"
    "  batch FILES... [OPT]   process a list of files unattended (see 'tarnival-cli batch\n"
    "                         --help')\n"
    "  demo [DIR]             write a synthetic record side into DIR (default ./demo-out)\n"
    "                         and restore it\n"
    "  devices                list the playback and record devices by setting number\n"
    "  record OUT.wav [OPT]   record from the sound card (see 'tarnival-cli record --help')\n"
    "\n"
    "Options:\n"
    "  -h, --help             show this help\n"
    "  --version              show the version\n";

// The first Ctrl-C (or termination or hang-up signal) asks the work to stop at its next step,
// so that our temporary files go; a second one, before that step came, ends the program at once.
void onInterrupt(int signal) {
    if (tarnival::TerminalUi::interrupted) {
        std::signal(signal, SIG_DFL);
        std::raise(signal);
    }
    tarnival::TerminalUi::interrupted = 1;
    tarnival::TerminalUi::terminating = 1;
}

} // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty() || args[0] == "-h" || args[0] == "--help" || args[0] == "help") {
        std::fputs(kUsage, args.empty() ? stderr : stdout);
        return args.empty() ? 2 : 0;
    }
    if (args[0] == "--version") {
        std::printf("tarnival-cli %s\n", TARNIVAL_VERSION);
        return 0;
    }
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) std::signal(signal, onInterrupt);
    std::string command = args[0];
    args.erase(args.begin());
    try {
        if (command == "info") return tarnival::cli::info(args);
        if (command == "restore") return tarnival::cli::restore(args);
        if (command == "batch") return tarnival::cli::batch(args);
        if (command == "demo") return tarnival::cli::demo(args);
        if (command == "devices") return tarnival::cli::devices(args);
        if (command == "record") return tarnival::cli::record(args);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "tarnival: %s\n", e.what());
        return 1;
    }
    std::fprintf(stderr, "tarnival: unknown command '%s'\n\n%s", command.c_str(), kUsage);
    return 2;
}
