#include "cli/Commands.h"
#include "app/SettingsProfile.h"
#include "dsp/DemoSide.h"
#include "cli/TerminalUi.h"
#include "document/Document.h"

#include <cstdio>
#include <filesystem>

namespace tarnival::cli {

namespace {

void printLayout(const CMorvath3Doc& doc) {
    const WaveLayout& l = doc.store.layout;
    double seconds = static_cast<double>(l.dataLength()) / 4.0 / l.sampleRate;
    std::printf("File:         %s\n", doc.title().c_str());
    std::printf("Format:       16-bit stereo, %d Hz%s\n", l.sampleRate, doc.isApe() ? " (APE)" : "");
    std::printf("Length:       %d:%06.3f (%lld bytes)\n", static_cast<int>(seconds) / 60,
                seconds - static_cast<int>(seconds) / 60 * 60, static_cast<long long>(l.fileLength));
    std::printf("Audio data:   bytes %d to %d\n", l.dataStart, l.dataEnd);
    if (l.trailingLength > 0) std::printf("Trailing:     %d bytes after the audio\n", l.trailingLength);
}

} // namespace

int info(const std::vector<std::string>& args) {
    if (args.size() != 1) {
        std::fprintf(stderr, "Usage: tarnival-cli info FILE\n");
        return 2;
    }
    SettingsProfile profile;
    TerminalUi ui(false);
    CMorvath3Doc doc(profile, ui);
    if (!doc.OpenWave(args[0])) return 1;
    printLayout(doc);
    return 0;
}

int restore(const std::vector<std::string>&) {
    std::fprintf(stderr, "tarnival: restore is not available yet\n");
    return 1;
}

int demo(const std::vector<std::string>& args) {
    std::filesystem::path dir = args.empty() ? "demo-out" : args[0];
    std::filesystem::create_directories(dir);
    std::string input = (dir / "demo-side.wav").string();
    std::printf("Writing a synthetic record side to %s ...\n", input.c_str());
    DemoSide side = writeDemoSide(input);
    std::printf("It holds %zu pieces and %zu clicks.\n\n", side.pieceStarts.size(),
                side.clickFrames.size());
    return info({input});
}

} // namespace tarnival::cli
