#include "output/ApeSink.h"
#include "document/UserInterface.h"
#include "output/ApeEncoder.h"

namespace tarnival {

namespace {
constexpr const char* kStartFailed = "Error starting encoder.\n";
constexpr const char* kFinishFailed = "Error finishing encoder.\n";
} // namespace

std::vector<std::pair<std::string, std::string>> apeTagItems(const TrackTags& tags) {
    std::vector<std::pair<std::string, std::string>> items;
    const std::pair<const char*, const std::string*> texts[] = {{"Album", &tags.album},
                                                                {"Title", &tags.title},
                                                                {"Artist", &tags.artist},
                                                                {"Genre", &tags.genre}};
    for (const auto& [key, value] : texts)
        if (!value->empty()) items.emplace_back(key, *value);
    items.emplace_back("Track", tags.trackNumber != 0 ? std::to_string(tags.trackNumber)
                                                      : tags.trackNumberText);
    return items;
}

ApeSink::ApeSink(std::string path, int levelIndex, UserInterface& ui)
    : path_(std::move(path)), level_(apeLevelForIndex(levelIndex)), ui_(ui) {}

ApeSink::~ApeSink() {
    abandon();
}

bool ApeSink::begin(const TrackFormat& format, const TrackTags& tags) {
    // The format has no way to say "no samples", and its offsets limit the length.
    const int64_t blocks = (format.dataSize + 3) / 4;
    if (blocks < 1 || blocks > kApeMaxBlocks) {
        ui_.message(kStartFailed, "Tarnival");
        return false;
    }
    tag_ = buildApeTag(apeTagItems(tags));
    file_ = std::make_unique<File>(path_, File::Mode::ReadWrite);
    const int rate = format.sampleRate == 48000 ? 48000 : 44100;
    encoder_ = std::make_unique<ApeEncoder>(*file_, rate, level_, blocks);
    return true;
}

void ApeSink::write(const uint8_t* bytes, size_t count) {
    encoder_->add(bytes, count);
}

bool ApeSink::finish() {
    const bool complete = encoder_->finish(tag_);
    encoder_.reset();
    file_.reset();
    if (!complete) {
        ui_.message(kFinishFailed, "Tarnival");
        return false;
    }
    return true;
}

void ApeSink::abandon() noexcept {
    encoder_.reset();
    file_.reset();
}

} // namespace tarnival
