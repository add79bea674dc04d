#include "session/SessionFile.h"
#include "document/File.h"
#include "document/FileError.h"
#include "document/SafeFile.h"
#include "session/SessionCodec.h"

#include <algorithm>

namespace tarnival {

namespace bits = session_bits;

namespace {

constexpr size_t kCorrectionBytes = 20;
constexpr size_t kSpliceRecordBytes = 20;
// Smallest track record: six int32 and four empty strings.
constexpr size_t kMinTrackBytes = 6 * 4 + 4;

void writeTrack(SessionWriter& w, const Track& t) {
    w.i32(t.start);
    w.i32(t.end);
    w.i32(t.preSilence);
    w.i32(t.fadeIn);
    w.i32(t.fadeOut);
    w.i32(t.postSilence);
    w.str(t.title);
    w.str(t.artist);
    w.str(t.album);
    w.str(t.genre);
}

Track readTrack(SessionReader& r) {
    Track t;
    t.start = r.i32("a track's start");
    t.end = r.i32("a track's end");
    t.preSilence = r.i32("a track's pre-silence");
    t.fadeIn = r.i32("a track's fade-in");
    t.fadeOut = r.i32("a track's fade-out");
    t.postSilence = r.i32("a track's post-silence");
    t.title = r.str("a track's title");
    t.artist = r.str("a track's artist");
    t.album = r.str("a track's album");
    t.genre = r.str("a track's genre");
    return t;
}

void readCorrections(SessionReader& r, SessionData& d) {
    const uint32_t f = d.formatWord;
    size_t recordBytes = kCorrectionBytes;
    if (!(f & bits::kFullCorrections)) recordBytes = f & bits::kPassTag ? 16 : 12;
    const size_t n = r.count("the correction list", recordBytes);
    if (n < 2) r.damaged("the correction list lacks its two end entries");
    d.corrections.resize(n);
    for (Correction& c : d.corrections) {
        if (recordBytes == kCorrectionBytes) c.pass = r.i32("a correction");
        if (recordBytes >= 16) c.tag = r.i32("a correction");
        c.position = r.i32("a correction");
        c.width = r.i32("a correction");
        c.magnitude = r.i32("a correction");
        // Older files had no pass: large clicks went first, the rest as a new entry would.
        if (recordBytes != kCorrectionBytes) c.pass = c.magnitude > 29 ? 0 : 1;
    }
}

void readUint32Array(SessionReader& r, std::vector<uint32_t>& out, const char* what) {
    const size_t n = r.count(what, 4);
    out.resize(n);
    for (uint32_t& v : out) v = r.u32(what);
}

void readTracks(SessionReader& r, SessionData& d) {
    if (d.formatWord & bits::kTracks) {
        const int32_t n = r.i32("the track count");
        if (n < 0 || static_cast<size_t>(n) >= r.remaining() / kMinTrackBytes)
            r.damaged("the track count " + std::to_string(n) +
                      " does not fit in what is left of the file");
        d.tracks.clear();
        d.tracks.reserve(static_cast<size_t>(n) + 1);
        for (int32_t i = 0; i <= n; ++i) d.tracks.push_back(readTrack(r));
        d.viewWord = r.u32("the view word");
        d.hasViewWord = true;
        return;
    }
    // Older files: bare track records, the first being entry 0.
    const bool timings = d.formatWord & bits::kTrackTexts;
    const size_t n = r.count("the track list", timings ? 24 : 8);
    if (n == 0) r.damaged("the track list lacks its entry for the whole recording");
    d.tracks.assign(n, Track{});
    for (Track& t : d.tracks) {
        if (timings) {
            t.fadeIn = r.i32("a track");
            t.fadeOut = r.i32("a track");
            t.preSilence = r.i32("a track");
            t.postSilence = r.i32("a track");
        }
        t.start = r.i32("a track");
        t.end = r.i32("a track");
    }
}

void readSplices(SessionReader& r, SessionData& d) {
    const size_t n = r.count("the splice list", kSpliceRecordBytes);
    d.splices.resize(n);
    size_t fadeTotal = 0;
    for (Splice& s : d.splices) {
        s.cutStart = r.i32("a splice");
        s.cutEnd = r.i32("a splice");
        s.crossFade = r.i32("a splice");
        s.shift = r.i32("a splice");
        (void)r.u32("a splice");
        if (s.crossFade < 0 || s.crossFade % 4 != 0)
            r.damaged("a splice has the cross-fade length " + std::to_string(s.crossFade));
        fadeTotal += 2 * static_cast<size_t>(s.crossFade);
    }
    if (fadeTotal > r.remaining())
        r.damaged("the splices' cross-fades need " + std::to_string(fadeTotal) +
                  " bytes, more than the " + std::to_string(r.remaining()) + " left");
    for (Splice& s : d.splices) {
        s.fadeBytes.resize(2 * static_cast<size_t>(s.crossFade));
        r.raw(s.fadeBytes.data(), s.fadeBytes.size(), "a splice's cross-fade");
    }
}

} // namespace

std::vector<uint8_t> encodeSession(const SessionData& d) {
    SessionWriter w;
    w.str(d.inputPath);
    w.u32((static_cast<uint32_t>(d.state) & bits::kStateMask) | bits::kFormatBits |
          bits::kRepairMethod);
    w.count(d.corrections.size());
    for (const Correction& c : d.corrections) {
        w.i32(c.pass);
        w.i32(c.tag);
        w.i32(c.position);
        w.i32(c.width);
        w.i32(c.magnitude);
    }
    w.count(d.chunkLevels.size());
    for (uint32_t v : d.chunkLevels) w.u32(v);
    const size_t n = d.tracks.empty() ? 0 : d.tracks.size() - 1;
    w.i32(static_cast<int32_t>(n));
    if (d.tracks.empty())
        writeTrack(w, Track{});
    else
        for (const Track& t : d.tracks) writeTrack(w, t);
    w.u32(d.viewWord);
    w.count(d.chunkEnvelope.size());
    for (uint32_t v : d.chunkEnvelope) w.u32(v);
    w.i32(d.appliedRumble);
    w.i32(d.appliedHiss);
    w.i32(d.appliedHum);
    w.i32(d.appliedTreble);
    w.f32(d.leftGain);
    w.f32(d.rightGain);
    w.i32(d.profileStart);
    w.i32(d.profileEnd);
    w.f64(d.levelSum);
    w.f64(d.balanceSum);
    w.count(d.splices.size());
    for (const Splice& s : d.splices) {
        w.i32(s.cutStart);
        w.i32(s.cutEnd);
        w.i32(s.crossFade);
        w.i32(s.shift);
        w.u32(0);
    }
    for (const Splice& s : d.splices) {
        // Exactly 2 x the cross-fade, whatever the buffer holds, so the reader stays in step.
        const size_t want = 2 * static_cast<size_t>(std::max(0, s.crossFade));
        std::vector<uint8_t> block(want, 0);
        std::copy_n(s.fadeBytes.begin(), std::min(want, s.fadeBytes.size()), block.begin());
        w.raw(block.data(), block.size());
    }
    w.str(d.appliedGraphic);
    for (float g : d.graphicGains) w.f32(g);
    w.i32(d.selectedEntry);
    w.i32(d.repairMethod);
    return w.take();
}

SessionData decodeSession(const uint8_t* bytes, size_t size) {
    SessionReader r(bytes, size);
    SessionData d;
    d.inputPath = r.str("the input path");
    d.formatWord = r.u32("the format word");
    d.state = static_cast<int>(d.formatWord & bits::kStateMask);
    readCorrections(r, d);
    readUint32Array(r, d.chunkLevels, "the chunk levels");
    readTracks(r, d);
    if (d.formatWord & bits::kTracks) readUint32Array(r, d.chunkEnvelope, "the chunk envelope");
    if (d.formatWord & bits::kFilters) {
        d.hasFilters = true;
        d.appliedRumble = r.i32("the applied rumble filter");
        d.appliedHiss = r.i32("the applied hiss filter");
        d.appliedHum = r.i32("the applied hum filter");
        d.appliedTreble = r.i32("the applied treble filter");
        d.leftGain = r.f32("the left gain");
        d.rightGain = r.f32("the right gain");
        d.profileStart = r.i32("the noise profile's start");
        d.profileEnd = r.i32("the noise profile's end");
    }
    if (d.formatWord & bits::kSums) {
        d.hasSums = true;
        d.levelSum = r.f64("the level sum");
        d.balanceSum = r.f64("the balance sum");
        readSplices(r, d);
    }
    if (d.formatWord & bits::kGraphic) {
        d.hasGraphic = true;
        d.appliedGraphic = r.str("the graphic filter's name");
        for (float& g : d.graphicGains) g = r.f32("the graphic gains");
        d.selectedEntry = r.i32("the selected entry");
    }
    if (d.formatWord & bits::kRepairMethod) {
        d.hasRepairMethod = true;
        d.repairMethod = r.i32("the repair method");
    }
    return d;
}

void writeSessionFile(const std::string& path, const SessionData& data) {
    const std::vector<uint8_t> bytes = encodeSession(data);
    SafeFile safe(path);
    {
        File f(safe.temporaryPath(), File::Mode::ReadWrite);
        f.writeAt(0, bytes.data(), bytes.size());
    }
    safe.commit(true);
}

SessionData readSessionFile(const std::string& path) {
    File f(path, File::Mode::ReadOnly);
    const int64_t length = f.length();
    if (length > kMaxSessionBytes)
        throw SessionDamaged("The session file is damaged: it is " + std::to_string(length) +
                             " bytes long, more than any session can be.");
    std::vector<uint8_t> bytes(static_cast<size_t>(length));
    f.readExactly(0, bytes.data(), bytes.size());
    return decodeSession(bytes);
}

} // namespace tarnival
