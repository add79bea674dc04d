#include "output/ExternalEncoder.h"
#include "document/Settings.h"
#include "document/UserInterface.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace tarnival {

const char* const kInvalidParametersText = "Invalid Parameters entered.";

namespace {

constexpr auto kPollInterval = std::chrono::milliseconds(20);
// How long a cancelled program may take to end after SIGTERM before it is killed.
constexpr auto kTermGrace = std::chrono::seconds(2);

std::vector<std::string> recentOf(const Profile& profile, const TextSetting (&keys)[3]) {
    std::vector<std::string> values;
    for (const TextSetting& key : keys) {
        std::string value = get(profile, key);
        if (!value.empty() && std::find(values.begin(), values.end(), value) == values.end())
            values.push_back(std::move(value));
    }
    return values;
}

void remember(Profile& profile, const TextSetting (&keys)[3], const std::string& value) {
    std::vector<std::string> values = recentOf(profile, keys);
    if (value.empty() || std::find(values.begin(), values.end(), value) != values.end()) return;
    values.push_back(value);
    if (values.size() > 3) values.erase(values.begin());
    for (size_t i = 0; i < 3; ++i) set(profile, keys[i], i < values.size() ? values[i] : "");
}

std::string withoutLeadingDots(std::string extension) {
    extension.erase(0, extension.find_first_not_of('.'));
    return extension;
}

bool isRunnableFile(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
           ::access(path.c_str(), X_OK) == 0;
}

bool programExists(const std::string& program) {
    if (program.empty()) return false;
    if (program.find('/') != std::string::npos) return isRunnableFile(program);
    const char* path = std::getenv("PATH");
    std::string folders = path ? path : "/usr/local/bin:/usr/bin:/bin";
    size_t from = 0;
    for (;;) {
        const size_t colon = folders.find(':', from);
        std::string folder = folders.substr(from, colon - from);
        if (folder.empty()) folder = ".";
        if (isRunnableFile(folder + "/" + program)) return true;
        if (colon == std::string::npos) return false;
        from = colon + 1;
    }
}

// The words of a template with their quotes removed.
std::vector<std::string> templateWords(const std::string& text) {
    std::vector<std::string> words;
    std::string word;
    bool inWord = false, quoted = false;
    for (char c : text) {
        if (c == '"') {
            quoted = !quoted;
            inWord = true; // "" is an empty argument
        } else if (!quoted && (c == ' ' || c == '\t' || c == '\n' || c == '\r')) {
            if (inWord) words.push_back(std::move(word));
            word.clear();
            inWord = false;
        } else {
            word += c;
            inWord = true;
        }
    }
    if (inWord) words.push_back(std::move(word));
    return words;
}

std::string substitute(const std::string& word, const EncoderValues& v) {
    const std::pair<const char*, const std::string*> placeholders[] = {
        {"%A", &v.artist}, {"%L", &v.album},  {"%T", &v.title},   {"%G", &v.genre},
        {"%N", &v.number}, {"%IN", &v.input}, {"%OUT", &v.output}};
    std::string out;
    size_t i = 0;
    while (i < word.size()) {
        bool replaced = false;
        if (word[i] == '%') {
            for (const auto& [name, value] : placeholders) {
                const size_t length = std::strlen(name);
                if (word.compare(i, length, name) == 0) {
                    out += *value;
                    i += length;
                    replaced = true;
                    break;
                }
            }
        }
        if (!replaced) out += word[i++];
    }
    return out;
}

std::string fileNamePart(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// What identifies one version of a file: a program that wrote the output changes at least one.
struct FileStamp {
    bool exists = false;
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    struct timespec modified {};
    bool regular = false;

    static FileStamp of(const std::string& path) {
        FileStamp s;
        struct stat st {};
        if (::stat(path.c_str(), &st) != 0) return s;
        s.exists = true;
        s.regular = S_ISREG(st.st_mode);
        s.device = st.st_dev;
        s.inode = st.st_ino;
        s.size = st.st_size;
        s.modified = st.st_mtim;
        return s;
    }
    bool sameAs(const FileStamp& o) const {
        return exists == o.exists && device == o.device && inode == o.inode && size == o.size &&
               modified.tv_sec == o.modified.tv_sec && modified.tv_nsec == o.modified.tv_nsec;
    }
};

bool reap(pid_t pid, int& status, bool block) {
    for (;;) {
        const pid_t r = ::waitpid(pid, &status, block ? 0 : WNOHANG);
        if (r == pid) return true;
        if (r == 0) return false;
        if (errno != EINTR) {
            status = -1;
            return true; // not ours to wait for any more
        }
    }
}

// Ends a cancelled program: politely first, then for sure; always reaped.
void stop(pid_t pid) {
    ::kill(-pid, SIGTERM);
    ::kill(pid, SIGTERM);
    int status = 0;
    const auto deadline = std::chrono::steady_clock::now() + kTermGrace;
    while (std::chrono::steady_clock::now() < deadline) {
        if (reap(pid, status, false)) return;
        std::this_thread::sleep_for(kPollInterval);
    }
    ::kill(-pid, SIGKILL);
    ::kill(pid, SIGKILL);
    reap(pid, status, true);
}

} // namespace

EncoderSetup loadEncoderSetup(const Profile& profile) {
    return {get(profile, settings::kEncoder), get(profile, settings::kParameters),
            get(profile, settings::kExtension)};
}

std::vector<std::string> recentParameters(const Profile& profile) {
    return recentOf(profile, settings::kRecentParameters);
}
std::vector<std::string> recentExtensions(const Profile& profile) {
    return recentOf(profile, settings::kRecentExtensions);
}
void rememberParameters(Profile& profile, const std::string& parameters) {
    remember(profile, settings::kRecentParameters, parameters);
}
void rememberExtension(Profile& profile, const std::string& extension) {
    remember(profile, settings::kRecentExtensions, extension);
}

bool encoderSetupValid(const EncoderSetup& setup) {
    return setup.parameters.find("%IN") != std::string::npos && programExists(setup.encoder);
}

bool storeEncoderSetup(Profile& profile, const EncoderSetup& setup) {
    if (!encoderSetupValid(setup)) return false;
    const std::string extension = withoutLeadingDots(setup.extension);
    set(profile, settings::kParameters, setup.parameters);
    rememberParameters(profile, setup.parameters);
    set(profile, settings::kExtension, extension);
    rememberExtension(profile, extension);
    set(profile, settings::kEncoder, setup.encoder);
    return true;
}

std::vector<std::string> encoderArguments(const std::string& parameters,
                                          const EncoderValues& values) {
    std::vector<std::string> arguments = templateWords(parameters);
    for (std::string& word : arguments) word = substitute(word, values);
    return arguments;
}

ProgramRun runProgram(const std::string& program, const std::vector<std::string>& arguments,
                      UserInterface& ui) {
    ProgramRun run;
    std::vector<std::string> words;
    words.reserve(arguments.size() + 1);
    words.push_back(program);
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& w : words) argv.push_back(w.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    posix_spawn_file_actions_init(&actions);
    posix_spawnattr_init(&attributes);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    // Its own process group, so that Cancel reaches whatever it starts; default signal
    // dispositions and an empty mask, whatever this process has set for itself.
    sigset_t all, none;
    sigfillset(&all);
    sigemptyset(&none);
    posix_spawnattr_setsigdefault(&attributes, &all);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setpgroup(&attributes, 0);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGDEF |
                                              POSIX_SPAWN_SETSIGMASK);
    pid_t pid = -1;
    const bool searchPath = program.find('/') == std::string::npos;
    const int rc =
        searchPath
            ? posix_spawnp(&pid, program.c_str(), &actions, &attributes, argv.data(), environ)
            : posix_spawn(&pid, program.c_str(), &actions, &attributes, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (rc != 0) {
        run.end = ProgramEnd::NotStarted;
        run.detail = program + " could not be started: " + std::strerror(rc) + ".";
        return run;
    }

    int status = 0;
    while (!reap(pid, status, false)) {
        if (ui.pumpAndTakeCancel()) {
            stop(pid);
            run.end = ProgramEnd::Cancelled;
            run.detail = program + " was stopped.";
            return run;
        }
        std::this_thread::sleep_for(kPollInterval);
    }
    if (status != -1 && WIFEXITED(status) && WEXITSTATUS(status) == 0) {
        run.end = ProgramEnd::Succeeded;
    } else {
        run.end = ProgramEnd::Failed;
        if (status != -1 && WIFEXITED(status))
            run.detail =
                program + " ended with exit status " + std::to_string(WEXITSTATUS(status)) + ".";
        else if (status != -1 && WIFSIGNALED(status))
            run.detail = program + " was ended by signal " + std::to_string(WTERMSIG(status)) +
                         " (" + strsignal(WTERMSIG(status)) + ").";
        else
            run.detail = program + " ended in an unknown way.";
    }
    return run;
}

bool RunExternalEncoder(const EncoderSetup& setup, const std::string& inputPath,
                        const std::string& outputPath, const Track& track,
                        const std::string& trackNumberText, UserInterface& ui) {
    const EncoderValues values{track.artist,    track.album, track.title, track.genre,
                               trackNumberText, inputPath,   outputPath};
    const std::vector<std::string> arguments = encoderArguments(setup.parameters, values);
    const FileStamp before = FileStamp::of(outputPath);
    ui.setStatusPane(1, "Encoding File " + fileNamePart(outputPath));
    const ProgramRun run = runProgram(setup.encoder, arguments, ui);
    if (run.end == ProgramEnd::Cancelled) return false;
    if (run.end != ProgramEnd::Succeeded) {
        ui.message("The external encoder " + run.detail, "Tarnival");
        return false;
    }
    // An exit status of 0 is not proof: the output must be a file the program has just written.
    const FileStamp after = FileStamp::of(outputPath);
    if (!after.exists || !after.regular || after.sameAs(before)) {
        ui.message("The external encoder " + setup.encoder + " ended without writing " +
                       outputPath + ".",
                   "Tarnival");
        return false;
    }
    return true;
}

ExternalEncoder makeExternalEncoder(const EncoderSetup& setup, UserInterface& ui) {
    return [setup, &ui](const std::string& inputPath, const std::string& outputPath,
                        const Track& track, const std::string& trackNumberText) {
        return RunExternalEncoder(setup, inputPath, outputPath, track, trackNumberText, ui);
    };
}

} // namespace tarnival
