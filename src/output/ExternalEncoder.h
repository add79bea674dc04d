#pragma once
#include "output/TrackWriter.h"

#include <string>
#include <vector>

namespace tarnival {

class Profile;
class UserInterface;

// What the "Compression Settings" dialog sets up for an external encoder program.
struct EncoderSetup {
    std::string encoder;    // "Encoder": the program's path (or a name found in PATH)
    std::string parameters; // "Parameters": its command-line template
    std::string extension;  // "Extension": of the files it makes, without the dot
};

EncoderSetup loadEncoderSetup(const Profile& profile);

// The recent templates ("Para1".."Para3") and extensions ("Ext1".."Ext3"), oldest first and
// without empty entries: what the dialog's combo boxes offer.
std::vector<std::string> recentParameters(const Profile& profile);
std::vector<std::string> recentExtensions(const Profile& profile);
// A value that is not empty and not yet among the recent ones joins them as the newest; the
// oldest of three drops out.
void rememberParameters(Profile& profile, const std::string& parameters);
void rememberExtension(Profile& profile, const std::string& extension);

extern const char* const kInvalidParametersText; // "Invalid Parameters entered."
// The template names the input file ("%IN") and the program exists and may be run.
bool encoderSetupValid(const EncoderSetup& setup);
// "OK" in the dialog with wave output: when valid, stores "Parameters", "Extension" and
// "Encoder" and remembers the first two among the recent ones. Returns false, storing nothing,
// when not valid (the dialog then shows kInvalidParametersText and stays open).
bool storeEncoderSetup(Profile& profile, const EncoderSetup& setup);

// The values the placeholders of a template stand for.
struct EncoderValues {
    std::string artist; // %A
    std::string album;  // %L
    std::string title;  // %T
    std::string genre;  // %G
    std::string number; // %N
    std::string input;  // %IN
    std::string output; // %OUT
};

// The words of a template: blanks separate words, double quotes group blanks into a word and
// are dropped. Placeholders are then replaced inside each word, left to right in one pass, so a
// value is always part of exactly one argument and is never itself searched for placeholders.
std::vector<std::string> encoderArguments(const std::string& parameters,
                                          const EncoderValues& values);

enum class ProgramEnd { Succeeded, Failed, NotStarted, Cancelled };
struct ProgramRun {
    ProgramEnd end = ProgramEnd::NotStarted;
    std::string detail; // why it did not succeed, for the user
};

// Starts program directly (no shell; a name without "/" is looked up in PATH) with the given
// arguments and stdin from /dev/null, and waits for it, pumping the interface. Cancel stops it
// (SIGTERM to its process group, SIGKILL if it lingers) and returns Cancelled. Success is an
// exit status of 0.
ProgramRun runProgram(const std::string& program, const std::vector<std::string>& arguments,
                      UserInterface& ui);

// Runs the external encoder on inputPath to make outputPath. True only when the program ended
// successfully and outputPath is a file it has written; otherwise the user is told why (except
// after Cancel). inputPath is never deleted here.
bool RunExternalEncoder(const EncoderSetup& setup, const std::string& inputPath,
                        const std::string& outputPath, const Track& track,
                        const std::string& trackNumberText, UserInterface& ui);

// The hook OutputContext::externalEncoder takes, running setup's program.
ExternalEncoder makeExternalEncoder(const EncoderSetup& setup, UserInterface& ui);

} // namespace tarnival
