#pragma once
#include <string>
#include <vector>

namespace tarnival::cli {

int info(const std::vector<std::string>& args);
int restore(const std::vector<std::string>& args);
int demo(const std::vector<std::string>& args);

} // namespace tarnival::cli
