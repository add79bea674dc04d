// Opening a recording: the acceptance rules for wave and APE input, and the files the document
// makes for it.
#include "document/FileError.h"
#include "document/FreeSpace.h"
#include "document/TempFiles.h"
#include "facade/Document.h"

#include <array>
#include <cstdio>
#include <filesystem>

namespace tarnival {

namespace fs = std::filesystem;

namespace {

const char* const kWaveFormatMessage =
    " Incorrect Wave File Format\nOnly 16 bit stereo/44.1kHz or 48kHz Sampling Rate supported. ";
const char* const kTooLongMessage =
    "The file is too long. Files longer than 2GB cannot be processed";

bool isApePath(const std::string& path) {
    return path.size() >= 4 && path.compare(path.size() - 4, 4, ".ape") == 0;
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
        return fail(text + ApeDecoder::errorText(code));
    }
    int rate = decoder->sampleRate();
    if (decoder->channels() != 2 || decoder->bitsPerSample() != 16 ||
        (rate != 44100 && rate != 48000)) {
        char text[96];
        std::snprintf(text, sizeof text, "It holds %d channel%s of %d-bit samples at %d Hz.",
                      decoder->channels(), decoder->channels() == 1 ? "" : "s",
                      decoder->bitsPerSample(), rate);
        return fail(std::string(kWaveFormatMessage) + "\n" + text);
    }
    int64_t dataLength = decoder->dataBytes();
    if (dataLength <= 0) return fail(std::string(kWaveFormatMessage) + "\nIt holds no audio.");
    l = WaveLayout{};
    l.fileLength = dataLength + 44;
    if (l.fileLength > kMaxFileLength) return fail(kTooLongMessage);
    l.dataStart = 44;
    l.dataEnd = static_cast<int32_t>(l.fileLength);
    l.sampleRate = rate;
    return true;
}

bool CMorvath3Doc::parseWave(const std::string& path, File& f, WaveReading& reading) {
    try {
        f.open(path, File::Mode::ReadOnly);
        reading = readWaveHeader(f);
    } catch (const FileError& e) {
        return fail(e.what());
    }
    if (!reading.accepted) {
        f.close();
        return fail(std::string(kWaveFormatMessage) + "\n" + reading.problem);
    }
    // A file of more than 2 GB: say so, rather than show a layout 32-bit positions cannot hold.
    if (reading.tooLong) {
        f.close();
        return fail(kTooLongMessage);
    }
    return true;
}

bool CMorvath3Doc::refuseOwnFile(const std::string& path) {
    std::optional<File::Identity> id = fileIdentity(path);
    if (!id) return false;
    for (const std::string& ours : {workingPath_, decodedPath_}) {
        if (ours.empty()) continue;
        std::optional<File::Identity> mine = fileIdentity(ours);
        if (mine && *mine == *id) {
            fail(path + " is the working copy of the recording that is open now; it cannot be "
                        "opened as a recording. Open the original file instead.");
            return true;
        }
    }
    return false;
}

std::optional<InputInspection> CMorvath3Doc::InspectWave(const std::string& path) {
    InputInspection inspection;
    inspection.ape = isApePath(path);
    if (inspection.ape) {
        std::unique_ptr<ApeDecoder> decoder;
        if (!checkApe(path, decoder, inspection.layout)) return std::nullopt;
        return inspection;
    }
    File file;
    WaveReading reading;
    if (!parseWave(path, file, reading)) return std::nullopt;
    inspection.layout = reading.layout;
    inspection.repair = reading.repair;
    return inspection;
}

bool CMorvath3Doc::createWorkingFiles(const std::string& path) {
    std::string folder;
    try {
        folder = workingFolder(path, tempMode, tempPath);
    } catch (const FileError& e) {
        return fail(e.what());
    }
    // An APE input is decoded into a second file beside the working copy.
    std::string shortage = spaceShortage(folder, store.layout.fileLength * (ape_ ? 2 : 1));
    if (!shortage.empty()) return fail(shortage);

    const std::string working = (fs::path(folder) / workingFileName(path)).string();
    try {
        createTemporaryFile(store.working, working);
        workingPath_ = working;
        if (ape_) {
            const std::string decoded = decodedFilePath(working);
            createTemporaryFile(store.source, decoded);
            decodedPath_ = decoded;
            store.source.setLength(store.layout.fileLength);
            std::array<uint8_t, kMaxWaveHeader> header{};
            size_t length =
                buildWaveHeader({store.layout.sampleRate, 0, store.layout.dataLength()}, header);
            store.source.writeAt(0, header.data(), length);
        }
    } catch (const FileError& e) {
        std::string text = e.what();
        return fail(text.substr(0, 255));
    }
    return true;
}

bool CMorvath3Doc::OpenWave(const std::string& path) {
    // The checks come first: a file that is refused leaves the open document as it was.
    const bool ape = isApePath(path);
    if (refuseOwnFile(path)) return false;
    File file;
    WaveReading reading;
    std::unique_ptr<ApeDecoder> decoder;
    if (ape ? !checkApe(path, decoder, reading.layout) : !parseWave(path, file, reading))
        return false;

    CloseWave();
    store.layout = reading.layout;
    dataRepair_ = reading.repair;
    ape_ = ape;
    inputPath_ = path;
    if (ape) {
        originalName_ = path;
        decoder_ = std::move(decoder);
    } else {
        store.source = std::move(file);
    }
    title_ = path;
    observer_->titleChanged();
    if (!createWorkingFiles(path)) {
        CloseWave();
        return false;
    }

    set(profile_, settings::kPathName, fs::path(path).parent_path().string());
    WaveLayout& l = store.layout;
    overview.size(l.fileLength);
    corrections.reset();
    corrections.sizeBlockCounters(l.fileLength);
    l.firstCorrectable = l.dataStart + kEdgeGuard;
    l.lastCorrectable = l.dataEnd - kEdgeGuard;
    filters.resetForNewFile();
    load_.status = kWaveNotScanned;
    return true;
}

} // namespace tarnival
