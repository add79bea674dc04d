#pragma once
#include <string>
#include <vector>

namespace tarnival::cli {

// tarnival-cli batch FILES-OR-FOLDERS... [OPTIONS]
int batch(const std::vector<std::string>& args);

} // namespace tarnival::cli
