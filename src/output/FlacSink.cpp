#include "output/FlacSink.h"
#include "document/File.h"
#include "document/UserInterface.h"
#include "output/OggSink.h"
#include "output/SamplePairs.h"

#include <FLAC/metadata.h>
#include <FLAC/stream_encoder.h>

#include <algorithm>
#include <exception>
#include <vector>

namespace tarnival {

namespace {

constexpr size_t kChunkFrames = 16384;

std::string stateText(const FLAC__StreamEncoder* encoder) {
    const FLAC__StreamEncoderState state = FLAC__stream_encoder_get_state(encoder);
    return FLAC__StreamEncoderStateString[state];
}

} // namespace

struct FlacSink::Stream {
    File file;
    FLAC__StreamEncoder* encoder = nullptr;
    FLAC__StreamMetadata* comments = nullptr;
    FLAC__StreamMetadata* seekTable = nullptr;
    int64_t position = 0;
    std::exception_ptr fileError; // a write failure inside a libFLAC callback
    bool failed = false;          // libFLAC refused the audio (verify mismatch or the like)
    std::string failure;
    std::vector<FLAC__int32> samples;
    SamplePairs pairs;

    explicit Stream(const std::string& path)
        : file(path, File::Mode::ReadWrite), samples(2 * kChunkFrames) {}
    ~Stream() {
        if (encoder) FLAC__stream_encoder_delete(encoder);
        if (comments) FLAC__metadata_object_delete(comments);
        if (seekTable) FLAC__metadata_object_delete(seekTable);
    }
    Stream(const Stream&) = delete;
    Stream& operator=(const Stream&) = delete;

    static FLAC__StreamEncoderWriteStatus onWrite(const FLAC__StreamEncoder*,
                                                  const FLAC__byte buffer[], size_t bytes, uint32_t,
                                                  uint32_t, void* data) {
        auto* s = static_cast<Stream*>(data);
        try {
            s->file.writeAt(s->position, buffer, bytes);
            s->position += static_cast<int64_t>(bytes);
            return FLAC__STREAM_ENCODER_WRITE_STATUS_OK;
        } catch (...) {
            // Exceptions must not cross libFLAC's C frames: keep it for the caller.
            s->fileError = std::current_exception();
            return FLAC__STREAM_ENCODER_WRITE_STATUS_FATAL_ERROR;
        }
    }
    static FLAC__StreamEncoderSeekStatus onSeek(const FLAC__StreamEncoder*, FLAC__uint64 offset,
                                                void* data) {
        static_cast<Stream*>(data)->position = static_cast<int64_t>(offset);
        return FLAC__STREAM_ENCODER_SEEK_STATUS_OK;
    }
    static FLAC__StreamEncoderTellStatus onTell(const FLAC__StreamEncoder*, FLAC__uint64* offset,
                                                void* data) {
        *offset = static_cast<FLAC__uint64>(static_cast<Stream*>(data)->position);
        return FLAC__STREAM_ENCODER_TELL_STATUS_OK;
    }

    void rethrowFileError() {
        if (fileError) std::rethrow_exception(fileError);
    }

    void process(const uint8_t* bytes, size_t frames) {
        if (failed) return;
        for (size_t i = 0; i < 2 * frames; ++i)
            samples[i] = static_cast<int16_t>(bytes[2 * i] | bytes[2 * i + 1] << 8);
        if (!FLAC__stream_encoder_process_interleaved(encoder, samples.data(),
                                                      static_cast<uint32_t>(frames))) {
            rethrowFileError();
            failed = true;
            failure = stateText(encoder);
        }
    }
};

FlacSink::FlacSink(std::string path, int level, UserInterface& ui)
    : path_(std::move(path)),
      level_(level >= kFlacMinLevel && level <= kFlacMaxLevel ? level : kFlacDefaultLevel),
      ui_(ui) {}

FlacSink::~FlacSink() = default;

bool FlacSink::begin(const TrackFormat& format, const TrackTags& tags) {
    const unsigned rate = format.sampleRate == 48000 ? 48000 : 44100;
    const auto frames = static_cast<FLAC__uint64>((format.dataSize + 3) / 4);
    auto s = std::make_unique<Stream>(path_);
    s->encoder = FLAC__stream_encoder_new();
    s->comments = FLAC__metadata_object_new(FLAC__METADATA_TYPE_VORBIS_COMMENT);
    s->seekTable = FLAC__metadata_object_new(FLAC__METADATA_TYPE_SEEKTABLE);
    bool ok = s->encoder && s->comments && s->seekTable;
    for (const auto& [key, value] : vorbisComments(tags)) {
        FLAC__StreamMetadata_VorbisComment_Entry entry;
        ok = ok &&
             FLAC__metadata_object_vorbiscomment_entry_from_name_value_pair(&entry, key.c_str(),
                                                                            value.c_str()) &&
             FLAC__metadata_object_vorbiscomment_append_comment(s->comments, entry, false);
    }
    if (ok && frames > 0)
        ok = FLAC__metadata_object_seektable_template_append_spaced_points_by_samples(
                 s->seekTable, 10 * rate, frames) &&
             FLAC__metadata_object_seektable_template_sort(s->seekTable, true);
    FLAC__StreamMetadata* metadata[2] = {s->comments, s->seekTable};
    ok = ok && FLAC__stream_encoder_set_verify(s->encoder, true) &&
         FLAC__stream_encoder_set_channels(s->encoder, 2) &&
         FLAC__stream_encoder_set_bits_per_sample(s->encoder, 16) &&
         FLAC__stream_encoder_set_sample_rate(s->encoder, rate) &&
         FLAC__stream_encoder_set_compression_level(s->encoder, static_cast<unsigned>(level_)) &&
         FLAC__stream_encoder_set_total_samples_estimate(s->encoder, frames) &&
         FLAC__stream_encoder_set_metadata(s->encoder, metadata, frames > 0 ? 2 : 1);
    if (ok && FLAC__stream_encoder_init_stream(s->encoder, &Stream::onWrite, &Stream::onSeek,
                                               &Stream::onTell, nullptr,
                                               s.get()) != FLAC__STREAM_ENCODER_INIT_STATUS_OK) {
        s->rethrowFileError();
        ok = false;
    }
    if (!ok) {
        ui_.message("Error starting the FLAC encoder" +
                        (s->encoder ? ": " + stateText(s->encoder) : std::string()) + ".",
                    "Tarnival");
        return false;
    }
    stream_ = std::move(s);
    return true;
}

void FlacSink::write(const uint8_t* bytes, size_t count) {
    Stream& s = *stream_;
    s.pairs.add(bytes, count, kChunkFrames,
                [&](const uint8_t* pairs, size_t frames) { s.process(pairs, frames); });
}

bool FlacSink::finish() {
    Stream& s = *stream_;
    s.pairs.finish([&](const uint8_t* pair, size_t) { s.process(pair, 1); });
    if (!s.failed && !FLAC__stream_encoder_finish(s.encoder)) {
        s.rethrowFileError();
        s.failed = true;
        s.failure = stateText(s.encoder);
    }
    if (s.failed) {
        ui_.message("The FLAC encoder failed: " + s.failure + ".", "Tarnival");
        stream_.reset();
        return false;
    }
    s.file.close();
    stream_.reset();
    return true;
}

void FlacSink::abandon() noexcept {
    stream_.reset();
}

} // namespace tarnival
