#include "document/ApeDecoder.h"
#include "document/Bytes.h"

#include "document/File.h"
#include "document/FileError.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/avutil.h>
#include <libavutil/dict.h>
#include <libavutil/log.h>
}

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <vector>

namespace tarnival {

namespace {

#if LIBAVUTIL_VERSION_INT >= AV_VERSION_INT(57, 24, 100)
int channelCount(const AVCodecParameters* p) {
    return p->ch_layout.nb_channels;
}
int channelCount(const AVFrame* f) {
    return f->ch_layout.nb_channels;
}
#else
int channelCount(const AVCodecParameters* p) {
    return p->channels;
}
int channelCount(const AVFrame* f) {
    return f->channels;
}
#endif

// Opening a FIFO or device would block or read forever; only plain files are decoded.
bool isPlainFile(const std::string& path) {
    std::error_code ec;
    return std::filesystem::is_regular_file(path, ec);
}

// What the APE header says about the decoded audio. Read here rather than taken from FFmpeg so
// that the length is exact and a non-APE file is refused before FFmpeg sees it.
struct ApeLayout {
    int version = 0;
    int channels = 0;
    int bits = 0;
    int sampleRate = 0;
    int64_t blocksPerFrame = 0;
    int64_t apeFrames = 0;
    int64_t finalFrameBlocks = 0;
    int64_t totalBlocks = 0;
};

int readLayout(const std::string& path, ApeLayout& out) {
    if (!isPlainFile(path)) return ApeDecoder::kErrorRead;
    uint8_t b[32] = {};
    uint8_t h[24] = {};
    int64_t length = 0;
    ApeLayout a;
    try {
        File f(path, File::Mode::ReadOnly);
        length = f.length();
        if (f.readAt(0, b, sizeof b) < sizeof b || std::memcmp(b, "MAC ", 4) != 0)
            return ApeDecoder::kErrorNotApe;
        a.version = static_cast<int>(readLe16(b + 4));
        if (a.version >= 3980) {
            // Descriptor, then the header at the descriptor's stated length.
            const uint32_t descriptorBytes = readLe32(b + 8);
            if (descriptorBytes < 52 || descriptorBytes > length - 24)
                return ApeDecoder::kErrorNotApe;
            if (f.readAt(descriptorBytes, h, sizeof h) < sizeof h) return ApeDecoder::kErrorNotApe;
            a.blocksPerFrame = readLe32(h + 4);
            a.finalFrameBlocks = readLe32(h + 8);
            a.apeFrames = readLe32(h + 12);
            a.bits = static_cast<int>(readLe16(h + 16));
            a.channels = static_cast<int>(readLe16(h + 18));
            a.sampleRate = static_cast<int>(readLe32(h + 20));
        } else {
            const uint32_t level = readLe16(b + 6);
            const uint32_t flags = readLe16(b + 8);
            a.channels = static_cast<int>(readLe16(b + 10));
            a.sampleRate = static_cast<int>(readLe32(b + 12));
            a.apeFrames = readLe32(b + 24);
            a.finalFrameBlocks = readLe32(b + 28);
            a.bits = (flags & 1) ? 8 : (flags & 8) ? 24 : 16;
            if (a.version >= 3950)
                a.blocksPerFrame = 73728 * 4;
            else if (a.version >= 3900 || (a.version >= 3800 && level == 4000))
                a.blocksPerFrame = 73728;
            else
                a.blocksPerFrame = 9216;
        }
    } catch (const FileError&) {
        return ApeDecoder::kErrorRead;
    }
    if (a.channels < 1 || a.sampleRate <= 0 || a.apeFrames < 1 || a.blocksPerFrame < 1 ||
        a.finalFrameBlocks < 1 || a.finalFrameBlocks > a.blocksPerFrame)
        return ApeDecoder::kErrorNotApe;
    // Every frame owns a 4-byte seek-table entry, so a count the file cannot hold is garbage.
    if (a.apeFrames > length / 4) return ApeDecoder::kErrorNotApe;
    if (a.bits != 8 && a.bits != 16 && a.bits != 24) return ApeDecoder::kErrorUnsupported;
    if (a.channels > 2) return ApeDecoder::kErrorUnsupported;
    if (a.blocksPerFrame > (int64_t{1} << 40) / a.apeFrames) return ApeDecoder::kErrorNotApe;
    a.totalBlocks = (a.apeFrames - 1) * a.blocksPerFrame + a.finalFrameBlocks;
    out = a;
    return 0;
}

int16_t toS16(int16_t v) {
    return v;
}
int16_t toS16(uint8_t v) {
    return static_cast<int16_t>((v - 128) * 256);
}
int16_t toS16(int32_t v) {
    return static_cast<int16_t>(v >> 16);
}

template <typename T>
void appendSamples(std::vector<int16_t>& out, const AVFrame* frame, int channels, bool planar) {
    const size_t n = static_cast<size_t>(frame->nb_samples);
    const size_t base = out.size();
    out.resize(base + n * static_cast<size_t>(channels));
    int16_t* dst = out.data() + base;
    const size_t ch = static_cast<size_t>(channels);
    if (planar) {
        for (size_t c = 0; c < ch; ++c) {
            const T* src = reinterpret_cast<const T*>(frame->extended_data[c]);
            for (size_t i = 0; i < n; ++i) dst[i * ch + c] = toS16(src[i]);
        }
    } else {
        const T* src = reinterpret_cast<const T*>(frame->extended_data[0]);
        for (size_t i = 0; i < n * ch; ++i) dst[i] = toS16(src[i]);
    }
}

int positiveError(int averror) {
    return averror < 0 ? -averror : (averror ? averror : 1);
}

} // namespace

struct ApeDecoder::Impl {
    ApeLayout layout;
    std::map<std::string, std::string> tags;
    AVFormatContext* format = nullptr;
    AVCodecContext* codec = nullptr;
    AVPacket* packet = nullptr;
    AVFrame* frame = nullptr;
    int stream = -1;

    int64_t position = 0;         // next frame read() delivers
    std::vector<int16_t> pending; // one whole decoded APE frame, interleaved
    int64_t pendingFrame = -1;    // which APE frame pending holds
    int64_t pendingBlocks = 0;
    int64_t nextApeFrame = -1; // what the demuxer returns next; -1 = unknown, seek first

    ~Impl() {
        av_frame_free(&frame);
        av_packet_free(&packet);
        avcodec_free_context(&codec);
        avformat_close_input(&format);
    }

    int64_t blocksIn(int64_t apeFrame) const {
        return apeFrame == layout.apeFrames - 1 ? layout.finalFrameBlocks : layout.blocksPerFrame;
    }

    bool seekDemuxer(int64_t apeFrame) {
        nextApeFrame = -1;
        if (av_seek_frame(format, stream, apeFrame * layout.blocksPerFrame, AVSEEK_FLAG_BACKWARD) <
            0)
            return false;
        avcodec_flush_buffers(codec);
        nextApeFrame = apeFrame;
        return true;
    }

    bool fail() {
        pendingFrame = -1;
        pending.clear();
        nextApeFrame = -1; // the decoder state is doubtful: seek and flush before trying again
        return false;
    }

    // Decodes APE frame apeFrame completely into pending. A frame is checked as a whole (sample
    // count and, through FFmpeg, its CRC) before any of it is handed out.
    bool loadFrame(int64_t apeFrame) {
        pendingFrame = -1;
        if (nextApeFrame != apeFrame && !seekDemuxer(apeFrame)) return fail();
        for (;;) {
            if (av_read_frame(format, packet) < 0) return fail();
            if (packet->stream_index == stream) break;
            av_packet_unref(packet);
        }
        const bool misplaced =
            packet->pts != AV_NOPTS_VALUE && packet->pts != apeFrame * layout.blocksPerFrame;
        nextApeFrame = apeFrame + 1;
        int rc = misplaced ? AVERROR_INVALIDDATA : avcodec_send_packet(codec, packet);
        av_packet_unref(packet);
        if (rc < 0) return fail();

        const int64_t expected = blocksIn(apeFrame);
        const int channels = layout.channels;
        pending.clear();
        for (;;) {
            rc = avcodec_receive_frame(codec, frame);
            if (rc == AVERROR(EAGAIN)) break;
            if (rc < 0) return fail();
            const int64_t have = static_cast<int64_t>(pending.size()) / channels;
            bool ok = channelCount(frame) == channels && frame->nb_samples >= 0 &&
                      have + frame->nb_samples <= expected;
            if (ok) {
                switch (frame->format) {
                case AV_SAMPLE_FMT_S16P:
                    appendSamples<int16_t>(pending, frame, channels, true);
                    break;
                case AV_SAMPLE_FMT_S16:
                    appendSamples<int16_t>(pending, frame, channels, false);
                    break;
                case AV_SAMPLE_FMT_U8P:
                    appendSamples<uint8_t>(pending, frame, channels, true);
                    break;
                case AV_SAMPLE_FMT_U8:
                    appendSamples<uint8_t>(pending, frame, channels, false);
                    break;
                case AV_SAMPLE_FMT_S32P:
                    appendSamples<int32_t>(pending, frame, channels, true);
                    break;
                case AV_SAMPLE_FMT_S32:
                    appendSamples<int32_t>(pending, frame, channels, false);
                    break;
                default:
                    ok = false;
                }
            }
            av_frame_unref(frame);
            if (!ok) return fail();
        }
        pendingBlocks = static_cast<int64_t>(pending.size()) / channels;
        if (pendingBlocks != expected) return fail();
        pendingFrame = apeFrame;
        return true;
    }
};

std::string ApeDecoder::errorText(int code) {
    switch (code) {
    case kErrorRead:
        return "The file cannot be read.";
    case kErrorNotApe:
        return "It is not an APE file, or its header is damaged.";
    case kErrorUnsupported:
        return "Its APE header describes audio this program cannot decode.";
    case kErrorTruncated:
        return "The file is shorter than its header says: audio frames are missing.";
    default:
        break;
    }
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    if (code > 0 && av_strerror(-code, text, sizeof text) == 0)
        return std::string("The decoder says: ") + text + ".";
    return "The decoder gave an unknown error.";
}

ApeDecoder::ApeDecoder() = default;
ApeDecoder::~ApeDecoder() = default;

int ApeDecoder::open(const std::string& path) {
    close();
    static std::once_flag quiet;
    // Damaged input is reported through the error code; FFmpeg's own messages would only
    // clutter the terminal.
    std::call_once(quiet, [] { av_log_set_level(AV_LOG_QUIET); });

    auto d = std::make_unique<Impl>();
    if (int rc = readLayout(path, d->layout)) return rc;

    AVDictionary* options = nullptr;
    av_dict_set(&options, "protocol_whitelist", "file", 0);
    // The "file:" prefix keeps a colon in the name from being read as a protocol.
    const std::string url = "file:" + path;
    int rc = avformat_open_input(&d->format, url.c_str(), av_find_input_format("ape"), &options);
    av_dict_free(&options);
    if (rc < 0) return positiveError(rc);

    const AVCodec* decoder = nullptr;
    d->stream = av_find_best_stream(d->format, AVMEDIA_TYPE_AUDIO, -1, -1, &decoder, 0);
    if (d->stream < 0) return positiveError(d->stream);
    AVStream* st = d->format->streams[d->stream];
    const AVCodecParameters* par = st->codecpar;
    const ApeLayout& a = d->layout;
    if (par->codec_id != AV_CODEC_ID_APE || par->sample_rate != a.sampleRate ||
        channelCount(par) != a.channels)
        return kErrorUnsupported;
    if (st->duration != AV_NOPTS_VALUE && st->time_base.num == 1 &&
        st->time_base.den == a.sampleRate && st->duration != a.totalBlocks)
        return kErrorUnsupported;

    // Seeking addresses APE frame i through index entry i; make sure the demuxer indexed every
    // frame where expected, and that the frames it found lie inside the file (a cut-off file
    // is refused here rather than found short while loading).
    if (avformat_index_get_entries_count(st) != a.apeFrames) return kErrorUnsupported;
    const int64_t fileLength = avio_size(d->format->pb);
    for (int i = 0; i < a.apeFrames; ++i) {
        const AVIndexEntry* entry = avformat_index_get_entry(st, i);
        if (!entry || entry->timestamp != i * a.blocksPerFrame) return kErrorUnsupported;
        if (fileLength > 0 && entry->pos >= fileLength) return kErrorTruncated;
    }

    d->codec = avcodec_alloc_context3(decoder);
    if (!d->codec) return positiveError(AVERROR(ENOMEM));
    if ((rc = avcodec_parameters_to_context(d->codec, par)) < 0) return positiveError(rc);
    // Check each frame's CRC and refuse a damaged frame rather than hand out wrong samples.
    d->codec->err_recognition |= AV_EF_CRCCHECK | AV_EF_EXPLODE;
    if ((rc = avcodec_open2(d->codec, decoder, nullptr)) < 0) return positiveError(rc);
    d->packet = av_packet_alloc();
    d->frame = av_frame_alloc();
    if (!d->packet || !d->frame) return positiveError(AVERROR(ENOMEM));
    d->nextApeFrame = 0;

    const AVDictionaryEntry* e = nullptr;
    while ((e = av_dict_get(d->format->metadata, "", e, AV_DICT_IGNORE_SUFFIX)))
        d->tags[e->key] = e->value;

    impl_ = std::move(d);
    return 0;
}

void ApeDecoder::close() {
    impl_.reset();
}

bool ApeDecoder::isOpen() const {
    return impl_ != nullptr;
}

int ApeDecoder::sampleRate() const {
    return impl_ ? impl_->layout.sampleRate : 0;
}

int ApeDecoder::bitsPerSample() const {
    return impl_ ? impl_->layout.bits : 0;
}

int ApeDecoder::channels() const {
    return impl_ ? impl_->layout.channels : 0;
}

int64_t ApeDecoder::dataBytes() const {
    if (!impl_) return 0;
    const ApeLayout& a = impl_->layout;
    return a.totalBlocks * a.channels * (a.bits / 8);
}

bool ApeDecoder::seek(int64_t frame) {
    if (!impl_ || frame < 0 || frame > impl_->layout.totalBlocks) return false;
    Impl& d = *impl_;
    d.position = frame;
    if (frame == d.layout.totalBlocks) return true;
    const int64_t apeFrame = frame / d.layout.blocksPerFrame;
    if (d.pendingFrame == apeFrame || d.nextApeFrame == apeFrame) return true;
    return d.seekDemuxer(apeFrame);
}

int64_t ApeDecoder::read(void* buffer, int64_t frames) {
    if (!impl_ || !buffer || frames <= 0) return 0;
    Impl& d = *impl_;
    const int64_t bpf = d.layout.blocksPerFrame;
    const size_t ch = static_cast<size_t>(d.layout.channels);
    auto* out = static_cast<int16_t*>(buffer);
    const int64_t want = std::min(frames, d.layout.totalBlocks - d.position);
    int64_t done = 0;
    while (done < want) {
        const int64_t apeFrame = d.position / bpf;
        if (d.pendingFrame != apeFrame && !d.loadFrame(apeFrame)) break;
        const int64_t offset = d.position - apeFrame * bpf;
        const int64_t n = std::min(want - done, d.pendingBlocks - offset);
        if (n <= 0) break;
        std::memcpy(out + static_cast<size_t>(done) * ch,
                    d.pending.data() + static_cast<size_t>(offset) * ch,
                    static_cast<size_t>(n) * ch * sizeof(int16_t));
        done += n;
        d.position += n;
    }
    return done;
}

std::map<std::string, std::string> ApeDecoder::tags() const {
    return impl_ ? impl_->tags : std::map<std::string, std::string>{};
}

int apeFileVersion(const std::string& path) {
    if (!isPlainFile(path)) return -1;
    uint8_t b[6] = {};
    try {
        File f(path, File::Mode::ReadOnly);
        if (f.readAt(0, b, sizeof b) < sizeof b) return -1;
    } catch (const FileError&) {
        return -1;
    }
    return static_cast<int>(readLe16(b + 4));
}

} // namespace tarnival
