#pragma once
#include <string>

namespace tarnival {

// Starts the record volume control program ("VolControl") without a shell and without waiting
// for it. False, with a sentence for the user in error, when it cannot be started.
bool startVolumeControl(const std::string& commandLine, std::string& error);

} // namespace tarnival
