#include "support/ApeEncoding.h"
#include "document/Bytes.h"

#include <cstdlib>
#include <filesystem>

namespace tarnival::test {

std::string findJmacJar() {
    namespace fs = std::filesystem;
    if (fs::exists("/usr/share/java/jmac.jar")) return "/usr/share/java/jmac.jar";
    std::error_code ec;
    for (const auto& e : fs::directory_iterator("/usr/share/java", ec)) {
        const std::string name = e.path().filename().string();
        if (name.rfind("jmac-", 0) == 0 && name.size() > 9 && name.ends_with(".jar"))
            return e.path().string();
    }
    return {};
}

void damageFrameChecksum(std::vector<uint8_t>& apeFile, int frame) {
    const size_t seekTable = readLe32(&apeFile[8]) + readLe32(&apeFile[12]);
    const size_t frame0 = readLe32(&apeFile[seekTable]);
    const size_t start = readLe32(&apeFile[seekTable + 4 * static_cast<size_t>(frame)]);
    // Frame data is stored as little-endian 32-bit words counted from frame 0, so logical byte L
    // sits at frame0 + 4 * (L / 4) + 3 - L % 4; the checksum's low byte is logical byte 3.
    const size_t crcLow = start - frame0 + 3;
    apeFile[frame0 + 4 * (crcLow / 4) + 3 - crcLow % 4] ^= 0x10;
}

std::string encodeApe(const std::string& wav, const std::string& ape) {
    const std::string jar = findJmacJar();
    if (jar.empty())
        return "the Java APE encoder is missing: install libjmac-java and a Java runtime "
               "(scripts/setup-debian.sh does both)";
    const std::string cmd =
        "java -jar '" + jar + "' c2 '" + wav + "' '" + ape + "' >/dev/null 2>&1";
    if (std::system(cmd.c_str()) != 0 || !std::filesystem::exists(ape))
        return "the Java APE encoder failed: " + cmd;
    return {};
}

} // namespace tarnival::test
