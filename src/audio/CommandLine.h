#pragma once
#include <string>
#include <vector>

namespace tarnival {

// Splits a command line into the program and its arguments, to be started directly (no shell):
// words are separated by blanks and tabs, double quotes group blanks into a word and are
// dropped. Nothing else is special, so no text can run a second command.
std::vector<std::string> splitCommandLine(const std::string& line);

} // namespace tarnival
