#include "support/AudioDecoding.h"
#include "document/ApeDecoder.h"
#include "support/ApeEncoding.h"

#include <FLAC/metadata.h>
#include <FLAC/stream_decoder.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/log.h>
}

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace tarnival::test {

std::vector<uint8_t> pcmBytes(const Stereo& samples) {
    std::vector<uint8_t> bytes(samples.size() * 2);
    for (size_t i = 0; i < samples.size(); ++i) {
        const auto u = static_cast<uint16_t>(samples[i]);
        bytes[2 * i] = static_cast<uint8_t>(u);
        bytes[2 * i + 1] = static_cast<uint8_t>(u >> 8);
    }
    return bytes;
}

DecodedAudio decodeApe(const std::string& path) {
    DecodedAudio out;
    ApeDecoder decoder;
    if (int rc = decoder.open(path)) {
        out.error = "open failed with code " + std::to_string(rc);
        return out;
    }
    out.rate = decoder.sampleRate();
    out.channels = decoder.channels();
    out.tags = decoder.tags();
    const int64_t frames = decoder.dataBytes() / 4;
    out.samples.resize(static_cast<size_t>(frames) * 2);
    const int64_t got = decoder.read(out.samples.data(), frames);
    if (got != frames) {
        out.error = "decoded " + std::to_string(got) + " of " + std::to_string(frames) + " frames";
        out.samples.resize(static_cast<size_t>(got) * 2);
    }
    return out;
}

DecodedAudio decodeApeWithJava(const std::string& path, const std::string& scratchWav) {
    DecodedAudio out;
    const std::string jar = findJmacJar();
    if (jar.empty()) {
        out.error = "the Java APE decoder is missing (libjmac-java)";
        return out;
    }
    const std::string cmd =
        "java -jar '" + jar + "' d '" + path + "' '" + scratchWav + "' >/dev/null 2>&1";
    if (std::system(cmd.c_str()) != 0) {
        out.error = "the Java decoder failed: " + cmd;
        return out;
    }
    const std::vector<uint8_t> wav = readFile(scratchWav);
    for (size_t at = 12; at + 8 <= wav.size();) {
        const uint32_t length = wav[at + 4] | wav[at + 5] << 8 | wav[at + 6] << 16 |
                                static_cast<uint32_t>(wav[at + 7]) << 24;
        if (std::memcmp(&wav[at], "fmt ", 4) == 0 && at + 16 <= wav.size()) {
            out.channels = wav[at + 10] | wav[at + 11] << 8;
            out.rate = wav[at + 12] | wav[at + 13] << 8 | wav[at + 14] << 16;
        }
        if (std::memcmp(&wav[at], "data", 4) == 0) {
            const size_t n = std::min<size_t>(length, wav.size() - at - 8) / 2;
            for (size_t i = 0; i < n; ++i)
                out.samples.push_back(
                    static_cast<int16_t>(wav[at + 8 + 2 * i] | wav[at + 9 + 2 * i] << 8));
            return out;
        }
        at += 8 + length + (length & 1);
    }
    out.error = "no data chunk in the Java decoder's output";
    return out;
}

DecodedAudio decodeWithFfmpeg(const std::string& path) {
    DecodedAudio out;
    av_log_set_level(AV_LOG_QUIET);
    AVFormatContext* format = nullptr;
    if (avformat_open_input(&format, path.c_str(), nullptr, nullptr) < 0) {
        out.error = "FFmpeg cannot open " + path;
        return out;
    }
    AVCodecContext* codec = nullptr;
    AVPacket* packet = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    const AVCodec* decoder = nullptr;
    const int stream = avformat_find_stream_info(format, nullptr) < 0
                           ? -1
                           : av_find_best_stream(format, AVMEDIA_TYPE_AUDIO, -1, -1, &decoder, 0);
    if (stream < 0 || !(codec = avcodec_alloc_context3(decoder)) ||
        avcodec_parameters_to_context(codec, format->streams[stream]->codecpar) < 0 ||
        avcodec_open2(codec, decoder, nullptr) < 0) {
        out.error = "FFmpeg finds no audio it can decode in " + path;
    } else {
        for (AVDictionary* d : {format->metadata, format->streams[stream]->metadata}) {
            const AVDictionaryEntry* e = nullptr;
            while ((e = av_dict_get(d, "", e, AV_DICT_IGNORE_SUFFIX))) out.tags[e->key] = e->value;
        }
        out.rate = codec->sample_rate;
        out.channels = codec->ch_layout.nb_channels;
        auto take = [&] {
            while (avcodec_receive_frame(codec, frame) == 0) {
                const int channels = frame->ch_layout.nb_channels;
                for (int i = 0; i < frame->nb_samples; ++i)
                    for (int c = 0; c < channels; ++c) {
                        double v = 0;
                        if (frame->format == AV_SAMPLE_FMT_FLTP)
                            v = reinterpret_cast<const float*>(frame->extended_data[c])[i] *
                                32768.0;
                        else if (frame->format == AV_SAMPLE_FMT_S16P)
                            v = reinterpret_cast<const int16_t*>(frame->extended_data[c])[i];
                        else if (frame->format == AV_SAMPLE_FMT_S16)
                            v = reinterpret_cast<const int16_t*>(frame->data[0])[i * channels + c];
                        out.samples.push_back(
                            static_cast<int16_t>(std::clamp(std::lround(v), -32768L, 32767L)));
                    }
                av_frame_unref(frame);
            }
        };
        while (av_read_frame(format, packet) >= 0) {
            if (packet->stream_index == stream && avcodec_send_packet(codec, packet) < 0)
                out.error = "FFmpeg could not decode a packet";
            av_packet_unref(packet);
            take();
        }
        avcodec_send_packet(codec, nullptr);
        take();
    }
    av_frame_free(&frame);
    av_packet_free(&packet);
    avcodec_free_context(&codec);
    avformat_close_input(&format);
    return out;
}

namespace {
FLAC__StreamDecoderWriteStatus onFlacFrame(const FLAC__StreamDecoder*, const FLAC__Frame* frame,
                                           const FLAC__int32* const buffer[], void* data) {
    auto* out = static_cast<DecodedAudio*>(data);
    out->rate = static_cast<int>(frame->header.sample_rate);
    out->channels = static_cast<int>(frame->header.channels);
    for (uint32_t i = 0; i < frame->header.blocksize; ++i)
        for (uint32_t c = 0; c < frame->header.channels; ++c)
            out->samples.push_back(static_cast<int16_t>(buffer[c][i]));
    return FLAC__STREAM_DECODER_WRITE_STATUS_CONTINUE;
}
void onFlacError(const FLAC__StreamDecoder*, FLAC__StreamDecoderErrorStatus status, void* data) {
    static_cast<DecodedAudio*>(data)->error = FLAC__StreamDecoderErrorStatusString[status];
}
} // namespace

DecodedAudio decodeFlac(const std::string& path) {
    DecodedAudio out;
    FLAC__StreamDecoder* decoder = FLAC__stream_decoder_new();
    FLAC__stream_decoder_set_md5_checking(decoder, true);
    if (FLAC__stream_decoder_init_file(decoder, path.c_str(), onFlacFrame, nullptr, onFlacError,
                                       &out) != FLAC__STREAM_DECODER_INIT_STATUS_OK ||
        !FLAC__stream_decoder_process_until_end_of_stream(decoder))
        out.error = "libFLAC could not decode " + path;
    else if (!FLAC__stream_decoder_finish(decoder))
        out.error = "libFLAC: MD5 mismatch in " + path;
    FLAC__stream_decoder_delete(decoder);

    FLAC__StreamMetadata* tags = nullptr;
    if (FLAC__metadata_get_tags(path.c_str(), &tags)) {
        const FLAC__StreamMetadata_VorbisComment& vc = tags->data.vorbis_comment;
        for (uint32_t i = 0; i < vc.num_comments; ++i) {
            const std::string entry(reinterpret_cast<const char*>(vc.comments[i].entry),
                                    vc.comments[i].length);
            const size_t eq = entry.find('=');
            out.tags[entry.substr(0, eq)] = eq == std::string::npos ? "" : entry.substr(eq + 1);
        }
        FLAC__metadata_object_delete(tags);
    }
    return out;
}

} // namespace tarnival::test
