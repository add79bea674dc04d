// Opening a recording: the acceptance rules for wave and APE input and the working file.
#include "document/Bytes.h"
#include "document/FileError.h"
#include "document/WaveHeader.h"
#include "facade/Document.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstring>
#include <filesystem>
#include <optional>

namespace tarnival {

namespace {

const char* const kWaveFormatMessage =
    " Incorrect Wave File Format\nOnly 16 bit stereo/44.1kHz or 48kHz Sampling Rate supported. ";
constexpr int64_t kSpaceReserve = 10000000;

int64_t freeBytes(const std::string& folder) {
    std::error_code ec;
    auto info = std::filesystem::space(folder.empty() ? "." : folder, ec);
    if (ec) return 0;
    return std::min<int64_t>(static_cast<int64_t>(info.available), 4294967295LL);
}

} // namespace

bool CMorvath3Doc::fail(const std::string& text) {
    ui_.message(text, "Tarnival");
    return false;
}

bool CMorvath3Doc::checkApe(const std::string& path, std::unique_ptr<ApeDecoder>& decoder,
                            WaveLayout& l) {
    uint8_t head[32] = {};
    try {
        File f(path, File::Mode::ReadOnly);
        f.readAt(0, head, sizeof head);
    } catch (const FileError& e) {
        return fail(e.what());
    }
    if (checkApeVersion_ && (head[4] | head[5] << 8) != 3970)
        return fail("Incorrect APE file format. Only v3.97 supported");

    decoder = std::make_unique<ApeDecoder>();
    if (int code = decoder->open(path)) {
        char text[96];
        std::snprintf(text, sizeof text, "Error opening APE file. (error code %d)\r\n\r\n", code);
        return fail(text);
    }
    int rate = decoder->sampleRate();
    if (decoder->channels() != 2 || decoder->bitsPerSample() != 16 ||
        (rate != 44100 && rate != 48000))
        return fail(kWaveFormatMessage);
    int64_t dataLength = decoder->dataBytes();
    if (dataLength < 0 || dataLength + 44 > kMaxFileLength)
        return fail("The file is too long. Files longer than 2GB cannot be processed");
    l = WaveLayout{};
    l.fileLength = dataLength + 44;
    l.dataStart = 44;
    l.dataEnd = static_cast<int32_t>(l.fileLength);
    l.sampleRate = rate;
    return true;
}

bool CMorvath3Doc::createApeSource(const std::string& path) {
    std::string tmp = path.substr(0, path.size() - 4) + ".tmp";
    try {
        store.source.open(tmp, File::Mode::Create);
        apeTempPath_ = tmp;
        store.source.setLength(store.layout.fileLength);
        std::array<uint8_t, kMaxWaveHeader> header{};
        size_t length =
            buildWaveHeader({store.layout.sampleRate, 0, store.layout.dataLength()}, header);
        store.source.writeAt(0, header.data(), length);
    } catch (const FileError& e) {
        CloseWave();
        return fail(e.what());
    }
    return true;
}

bool CMorvath3Doc::parseWave(const std::string& path, File& f, WaveLayout& l) {
    try {
        f.open(path, File::Mode::ReadOnly);
    } catch (const FileError& e) {
        return fail(e.what());
    }
    WaveReading reading = readWaveHeader(f);
    if (!reading.accepted) {
        f.close();
        return fail(std::string(kWaveFormatMessage) + "\n" + reading.problem);
    }
    l = reading.layout;
    return true;
}

namespace {
bool isApePath(const std::string& path) {
    return path.size() >= 4 && path.compare(path.size() - 4, 4, ".ape") == 0;
}
} // namespace

std::optional<WaveLayout> CMorvath3Doc::InspectWave(const std::string& path) {
    File file;
    WaveLayout layout;
    std::unique_ptr<ApeDecoder> decoder;
    bool ok = isApePath(path) ? checkApe(path, decoder, layout) : parseWave(path, file, layout);
    if (!ok) return std::nullopt;
    return layout;
}

bool CMorvath3Doc::OpenWave(const std::string& path) {
    // The checks come first: a file that is refused leaves the open document as it was.
    const bool ape = isApePath(path);
    File file;
    WaveLayout layout;
    std::unique_ptr<ApeDecoder> decoder;
    if (ape ? !checkApe(path, decoder, layout) : !parseWave(path, file, layout)) return false;

    CloseWave();
    store.layout = layout;
    if (ape) {
        if (!createApeSource(path)) return false;
        ape_ = true;
        originalName_ = path;
        decoder_ = std::move(decoder);
    } else {
        store.source = std::move(file);
    }

    const std::string& shown = ape_ ? originalName_ : path;
    title_ = shown;
    observer_->titleChanged();

    auto abandon = [&](const std::string& text) {
        CloseWave();
        return fail(text);
    };
    std::string working = workingFilePath(path, tempMode, tempPath);
    std::string folder = std::filesystem::path(working).parent_path().string();
    int64_t free = freeBytes(folder);
    int64_t usable = free > kSpaceReserve ? free - kSpaceReserve : 0;
    if (usable < store.layout.fileLength)
        return abandon("Insufficient space on Drive " + (folder.empty() ? "." : folder));
    if (store.layout.fileLength > kMaxFileLength)
        return abandon("The file is too long. Files longer than 2GB cannot be processed");
    try {
        store.working.open(working, File::Mode::Create);
        workingPath_ = working;
    } catch (const FileError& e) {
        std::string text = e.what();
        return abandon(text.substr(0, 255));
    }

    std::string parent = std::filesystem::path(shown).parent_path().string();
    set(profile_, settings::kPathName, parent);

    WaveLayout& l = store.layout;
    chunkLevels.assign(static_cast<size_t>(l.fileLength / kChunkSize + 1), 0);
    chunkEnvelope.assign(chunkLevels.size(), {0, 0, 0, 0});
    corrections.reset();
    corrections.sizeBlockCounters(l.fileLength);
    l.firstCorrectable = l.dataStart + kEdgeGuard;
    l.lastCorrectable = l.dataEnd - kEdgeGuard;
    return true;
}

} // namespace tarnival
