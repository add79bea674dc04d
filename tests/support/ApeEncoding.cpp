#include "support/ApeEncoding.h"

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
