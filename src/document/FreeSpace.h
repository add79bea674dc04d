#pragma once
#include <cstdint>
#include <functional>
#include <string>

namespace tarnival {

// Free space kept in reserve on any filesystem we write to.
constexpr int64_t kFreeSpaceReserve = 10000000;

// The bytes free to us on the filesystem holding folder, measured at its nearest existing
// parent when it does not exist yet (a relative folder counts from the current one). Throws
// FileError with the system's reason when it cannot be measured.
int64_t freeSpace(const std::string& folder);

// Empty when folder's filesystem has bytesNeeded free beyond the reserve; otherwise the message
// for the user: "Insufficient space on Drive ..." or, when the space cannot be measured, the
// system's error for the folder.
std::string spaceShortage(const std::string& folder, int64_t bytesNeeded);

// Test hook: measures free space with probe instead (an empty function restores the real one).
void setFreeSpaceProbe(std::function<int64_t(const std::string& folder)> probe);

} // namespace tarnival
