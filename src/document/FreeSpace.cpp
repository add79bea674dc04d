#include "document/FreeSpace.h"
#include "document/FileError.h"

#include <filesystem>
#include <limits>

namespace tarnival {

namespace fs = std::filesystem;

namespace {

std::function<int64_t(const std::string&)>& probeHook() {
    static std::function<int64_t(const std::string&)> probe;
    return probe;
}

fs::path nearestExisting(const std::string& folder) {
    std::error_code ec;
    fs::path p = fs::absolute(folder.empty() ? fs::path(".") : fs::path(folder), ec);
    if (ec) throw FileError(folder, ec.message());
    while (!fs::exists(p, ec) && p.has_parent_path() && p.parent_path() != p) p = p.parent_path();
    return p;
}

} // namespace

int64_t freeSpace(const std::string& folder) {
    if (probeHook()) return probeHook()(folder);
    fs::path at = nearestExisting(folder);
    std::error_code ec;
    fs::space_info info = fs::space(at, ec);
    if (ec) throw FileError(at.string(), ec.message());
    constexpr auto most = static_cast<uintmax_t>(std::numeric_limits<int64_t>::max());
    return static_cast<int64_t>(std::min(info.available, most));
}

std::string spaceShortage(const std::string& folder, int64_t bytesNeeded) {
    int64_t free = 0;
    try {
        free = freeSpace(folder);
    } catch (const FileError& e) {
        return e.what();
    }
    if (std::max<int64_t>(0, free - kFreeSpaceReserve) >= bytesNeeded) return {};
    return "Insufficient space on Drive " + (folder.empty() ? std::string(".") : folder);
}

void setFreeSpaceProbe(std::function<int64_t(const std::string& folder)> probe) {
    probeHook() = std::move(probe);
}

} // namespace tarnival
