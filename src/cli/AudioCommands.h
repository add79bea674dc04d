#pragma once
#include <string>
#include <vector>

namespace tarnival::cli {

// tarnival-cli devices: the playback and record devices with the numbers the settings use.
int devices(const std::vector<std::string>& args);
// tarnival-cli record OUT.wav [...]: records from the input device into a new wave file.
int record(const std::vector<std::string>& args);

extern const char* const kRecordUsage;

} // namespace tarnival::cli
