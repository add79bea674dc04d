#include "output/OggSink.h"
#include "document/File.h"
#include "document/UserInterface.h"
#include "output/SamplePairs.h"

#include <vorbis/vorbisenc.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <random>

namespace tarnival {

namespace {

constexpr const char* kSetupFailed = "error starting Ogg";
constexpr const char* kEarlyEnd = "Ogg Encoder Error. End of Stream found.";
constexpr const char* kNoEnd = "Ogg Encoder Error. End of Stream not found.";
// Frames handed to the analysis in one go; bounds the float buffers libvorbis allocates.
constexpr size_t kChunkFrames = 16384;

int numberFromText(const std::string& text) {
    errno = 0;
    char* end = nullptr;
    const long value = std::strtol(text.c_str(), &end, 10);
    if (errno == ERANGE || end == text.c_str() || value <= 0 || value > INT_MAX) return 0;
    return static_cast<int>(value);
}

} // namespace

float oggQualityForIndex(int index) {
    return index >= 0 && index < static_cast<int>(kOggQualities.size())
               ? kOggQualities[static_cast<size_t>(index)]
               : kOggQualities[5];
}

std::vector<std::pair<std::string, std::string>> vorbisComments(const TrackTags& tags) {
    std::vector<std::pair<std::string, std::string>> comments;
    const std::pair<const char*, const std::string*> texts[] = {{"Album", &tags.album},
                                                                {"Title", &tags.title},
                                                                {"Artist", &tags.artist},
                                                                {"Genre", &tags.genre}};
    for (const auto& [key, value] : texts)
        if (!value->empty()) comments.emplace_back(key, *value);
    const int number =
        tags.trackNumber != 0 ? tags.trackNumber : numberFromText(tags.trackNumberText);
    comments.emplace_back("TrackNumber", number != 0 ? std::to_string(number) : std::string());
    return comments;
}

// One track's encoder state: the libvorbis and libogg objects and the file they fill.
struct OggSink::Stream {
    File file;
    int64_t written = 0;
    vorbis_info info{};
    vorbis_comment comment{};
    vorbis_dsp_state dsp{};
    vorbis_block block{};
    ogg_stream_state ogg{};
    bool analysing = false; // dsp and block initialised
    bool streaming = false; // ogg initialised
    SamplePairs pairs;

    explicit Stream(const std::string& path) : file(path, File::Mode::ReadWrite) {
        vorbis_info_init(&info);
        vorbis_comment_init(&comment);
    }
    ~Stream() {
        if (streaming) ogg_stream_clear(&ogg);
        if (analysing) {
            vorbis_block_clear(&block);
            vorbis_dsp_clear(&dsp);
        }
        vorbis_comment_clear(&comment);
        vorbis_info_clear(&info);
    }
    Stream(const Stream&) = delete;
    Stream& operator=(const Stream&) = delete;

    void put(const ogg_page& page) {
        file.writeAt(written, page.header, static_cast<size_t>(page.header_len));
        written += page.header_len;
        file.writeAt(written, page.body, static_cast<size_t>(page.body_len));
        written += page.body_len;
    }

    // Feeds frames (none: the end of the input) and writes the pages that are ready. Returns
    // whether the last page of the stream went out.
    bool encode(const uint8_t* bytes, size_t frames, bool end) {
        if (frames > 0) {
            float** buffer = vorbis_analysis_buffer(&dsp, static_cast<int>(frames));
            for (size_t i = 0; i < frames; ++i) {
                const uint8_t* p = bytes + 4 * i;
                buffer[0][i] = static_cast<int16_t>(p[0] | p[1] << 8) / 32768.0f;
                buffer[1][i] = static_cast<int16_t>(p[2] | p[3] << 8) / 32768.0f;
            }
            vorbis_analysis_wrote(&dsp, static_cast<int>(frames));
        } else if (end) {
            vorbis_analysis_wrote(&dsp, 0);
        }
        bool endOfStream = false;
        while (vorbis_analysis_blockout(&dsp, &block) == 1) {
            vorbis_analysis(&block, nullptr);
            vorbis_bitrate_addblock(&block);
            ogg_packet packet;
            while (vorbis_bitrate_flushpacket(&dsp, &packet) == 1) {
                ogg_stream_packetin(&ogg, &packet);
                ogg_page page;
                while (!endOfStream && ogg_stream_pageout(&ogg, &page) != 0) {
                    put(page);
                    if (ogg_page_eos(&page)) endOfStream = true;
                }
            }
        }
        return endOfStream;
    }
};

OggSink::OggSink(std::string path, int qualityIndex, UserInterface& ui)
    : path_(std::move(path)), quality_(oggQualityForIndex(qualityIndex)), ui_(ui) {}

OggSink::~OggSink() = default;

bool OggSink::begin(const TrackFormat& format, const TrackTags& tags) {
    const int rate = format.sampleRate == 48000 ? 48000 : 44100;
    auto s = std::make_unique<Stream>(path_);
    // An encoder that refused its set-up would only produce an unplayable file: stop here.
    if (vorbis_encode_init_vbr(&s->info, 2, rate, quality_) != 0) {
        ui_.message(kSetupFailed, "Tarnival");
        return false;
    }
    for (const auto& [key, value] : vorbisComments(tags))
        vorbis_comment_add_tag(&s->comment, key.c_str(), value.c_str());
    if (vorbis_analysis_init(&s->dsp, &s->info) != 0) {
        ui_.message(kSetupFailed, "Tarnival");
        return false;
    }
    vorbis_block_init(&s->dsp, &s->block);
    s->analysing = true;

    std::random_device random;
    ogg_stream_init(&s->ogg, static_cast<int>(random() & 0x7FFFFFFF));
    s->streaming = true;
    ogg_packet identification, comments, codebooks;
    vorbis_analysis_headerout(&s->dsp, &s->comment, &identification, &comments, &codebooks);
    ogg_stream_packetin(&s->ogg, &identification);
    ogg_stream_packetin(&s->ogg, &comments);
    ogg_stream_packetin(&s->ogg, &codebooks);
    ogg_page page;
    while (ogg_stream_flush(&s->ogg, &page) != 0) s->put(page);
    stream_ = std::move(s);
    return true;
}

void OggSink::write(const uint8_t* bytes, size_t count) {
    Stream& s = *stream_;
    bool endSeen = false;
    s.pairs.add(bytes, count, kChunkFrames, [&](const uint8_t* pairs, size_t frames) {
        endSeen = s.encode(pairs, frames, false) || endSeen;
    });
    if (endSeen) ui_.message(kEarlyEnd, "Tarnival");
}

bool OggSink::finish() {
    Stream& s = *stream_;
    s.pairs.finish([&](const uint8_t* pair, size_t) { s.encode(pair, 1, false); });
    const bool ended = s.encode(nullptr, 0, true);
    if (!ended) {
        ui_.message(kNoEnd, "Tarnival");
        stream_.reset();
        return false;
    }
    s.file.close();
    stream_.reset();
    return true;
}

void OggSink::abandon() noexcept {
    stream_.reset();
}

} // namespace tarnival
