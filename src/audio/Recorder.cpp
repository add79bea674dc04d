#include "audio/Recorder.h"
#include "document/FileError.h"
#include "document/Profile.h"
#include "document/UserInterface.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>

namespace tarnival {

namespace {

std::string format(const char* pattern, auto... values) {
    char text[256];
    std::snprintf(text, sizeof text, pattern, values...);
    return text;
}

bool validRate(int rate) {
    return rate == 44100 || rate == 48000;
}
bool validMode(int mode) {
    return mode == ids::kRecTimed || mode == ids::kRecManual || mode == ids::kRecAuto;
}
bool validConversion(int mode) {
    return mode == ids::kConvertNone || mode == ids::kConvert78 || mode == ids::kConvertCustom;
}

std::optional<int64_t> filesystemFreeSpace(const std::string& folder) {
    std::error_code ec;
    auto info = std::filesystem::space(folder.empty() ? "." : folder, ec);
    if (ec) return std::nullopt;
    return static_cast<int64_t>(std::min<uintmax_t>(info.available, INT64_MAX));
}

// "%d:" for whole hours, and minutes:seconds, as the time lines show them.
std::string clockOf(const char* label, int64_t seconds) {
    seconds = std::max<int64_t>(seconds, 0);
    const auto hours = static_cast<int>(seconds / 3600);
    const auto minutes = static_cast<int>(seconds / 60 % 60);
    const auto secs = static_cast<int>(seconds % 60);
    if (hours > 0) return format("%s%d:%02d:%02d", label, hours, minutes, secs);
    return format("%s%d:%02d", label, minutes, secs);
}

} // namespace

int deviceRateFor(int nominalRate, int convertMode, int convertRatio) {
    switch (convertMode) {
    case ids::kConvert78:
        return static_cast<int>(int64_t{nominalRate} * 45 / 78);
    case ids::kConvertCustom:
        return static_cast<int>(int64_t{nominalRate} * convertRatio / 1000);
    default:
        return nominalRate;
    }
}

std::string customConversionLabel(int convertRatio) {
    return format(" Custo&m Conv.: (%5.3f:1) ", convertRatio / 1000.0);
}

RecorderSettings loadRecorderSettings(const Profile& profile) {
    RecorderSettings s;
    int rate = get(profile, settings::kRecordRate);
    s.rate = validRate(rate) ? rate : 44100;
    int mode = get(profile, settings::kRecMode);
    s.mode = validMode(mode) ? mode : ids::kRecManual;
    int convert = get(profile, settings::kConvertMode);
    s.convertMode = validConversion(convert) ? convert : ids::kConvertNone;
    int ratio = get(profile, settings::kConvertRatio);
    s.convertRatio = ratio >= kMinConvertRatio && ratio <= kMaxConvertRatio ? ratio : 1000;
    s.durationMinutes = std::clamp(get(profile, settings::kRecTime), 1, kMinutesPerDay - 1);
    s.inputDevice = std::max(get(profile, settings::kInputDevice), kDefaultDevice);
    return s;
}

void storeRecorderSettings(Profile& profile, const RecorderSettings& s, bool storeTime) {
    set(profile, settings::kRecordRate, s.rate);
    set(profile, settings::kRecMode, s.mode);
    set(profile, settings::kConvertMode, s.convertMode);
    set(profile, settings::kConvertRatio, s.convertRatio);
    if (storeTime) set(profile, settings::kRecTime, s.durationMinutes);
}

std::string recordFolder(const Profile& profile) {
    std::string folder = get(profile, settings::kRecordPath);
    return folder.empty() ? get(profile, settings::kPathName) : folder;
}

void storeRecordFolder(Profile& profile, const std::string& chosenFile) {
    set(profile, settings::kRecordPath, std::filesystem::path(chosenFile).parent_path().string());
}

// ---- Recorder -----------------------------------------------------------------------------------

Recorder::Recorder(AudioInput& input, UserInterface& ui, std::function<int()> secondOfDay)
    : input_(input), ui_(ui), secondOfDay_(std::move(secondOfDay)), freeSpace_(filesystemFreeSpace),
      preTrigger_(kPreTriggerBytes, 0) {
    timeText_ = "Time Recorded:";
    maxMinutes_ = static_cast<int>(limitBytes_ / (int64_t{deviceRate()} * 240));
}

Recorder::~Recorder() {
    // Whatever happens to the dialog, a recording under way ends as a whole file.
    if (state_ == State::Recording || state_ == State::Paused) {
        try {
            file_.finish();
        } catch (const FileError&) {
        }
    }
    if (input_.isOpen()) input_.close();
}

void Recorder::setFreeSpaceProbe(std::function<std::optional<int64_t>(const std::string&)> probe) {
    freeSpace_ = std::move(probe);
}

int Recorder::nowSecond() const {
    if (secondOfDay_) return secondOfDay_();
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return local.tm_hour * 3600 + local.tm_min * 60 + local.tm_sec;
}

void Recorder::changed() {
    if (observer_) observer_->recorderChanged();
}

void Recorder::setStatus(std::string text) {
    status_ = std::move(text);
}

bool Recorder::createFile(const std::string& path, bool replaceExisting) {
    try {
        file_.create(path, replaceExisting);
    } catch (const FileError& e) {
        ui_.message(e.what(), "Tarnival");
        return false;
    }
    everRecorded_ = false;
    saved_ = false;
    checkFreeSpace();
    return true;
}

void Recorder::setSettings(const RecorderSettings& settings) {
    settings_ = settings;
    if (!validRate(settings_.rate)) settings_.rate = 44100;
    if (!validMode(settings_.mode)) settings_.mode = ids::kRecManual;
    if (!validConversion(settings_.convertMode)) settings_.convertMode = ids::kConvertNone;
    settings_.convertRatio = std::clamp(settings_.convertRatio, kMinConvertRatio, kMaxConvertRatio);
    durationSeconds_ = std::max(settings_.durationMinutes, 1) * 60;
    schedule_.setDuration(settings_.durationMinutes);
}

bool Recorder::openDevice() {
    if (input_.isOpen()) input_.close();
    pending_.clear();
    OpenResult result = input_.open(settings_.inputDevice, deviceRate(), *this);
    if (result.status != OpenStatus::Opened) {
        ui_.message(result.error.empty() ? "The record device could not be opened." : result.error,
                    "Tarnival");
        deviceName_.clear();
        changed();
        return false;
    }
    if (!result.notice.empty()) ui_.message(result.notice, "Tarnival");
    deviceName_ = input_.deviceName();
    checkFreeSpace();
    changed();
    return true;
}

void Recorder::reopenIfOpen() {
    if (input_.isOpen())
        openDevice();
    else
        checkFreeSpace();
    changed();
}

void Recorder::checkFreeSpace() {
    const int64_t reserve = int64_t{deviceRate()} * 2400; // ten minutes of audio
    int64_t recordable = kMaxRecordBytes;
    std::string folder =
        file_.path().empty() ? "." : std::filesystem::path(file_.path()).parent_path().string();
    // A failed query counts as unlimited space.
    if (std::optional<int64_t> free = freeSpace_ ? freeSpace_(folder) : std::nullopt)
        recordable = std::clamp<int64_t>(*free - reserve, 0, kMaxRecordBytes);
    limitBytes_ = recordable;
    maxMinutes_ = static_cast<int>(recordable / (int64_t{deviceRate()} * 240));
    lowSpace_.clear();
    if (recordable < kMaxRecordBytes) {
        lowSpace_ = format("Low Disk Space. Recording time will be limited to %dhrs %dmins",
                           maxMinutes_ / 60, maxMinutes_ % 60);
        ui_.message(lowSpace_, "Tarnival");
    }
    schedule_.setMaxDuration(std::max(maxMinutes_, 1));
    if (durationSeconds_ > maxMinutes_ * 60 && maxMinutes_ > 0) durationSeconds_ = maxMinutes_ * 60;
}

// ---- Controls -----------------------------------------------------------------------------------

bool Recorder::setRate(int rate) {
    if (state_ != State::Idle || !validRate(rate)) return false;
    if (rate == settings_.rate) return true;
    settings_.rate = rate;
    reopenIfOpen();
    return true;
}

bool Recorder::setConversion(int convertMode) {
    if (state_ != State::Idle || !validConversion(convertMode)) return false;
    if (convertMode == settings_.convertMode) return true;
    settings_.convertMode = convertMode;
    reopenIfOpen();
    return true;
}

bool Recorder::setCustomRatio(int convertRatio) {
    if (state_ != State::Idle || convertRatio < kMinConvertRatio || convertRatio > kMaxConvertRatio)
        return false;
    if (convertRatio == settings_.convertRatio) return true;
    settings_.convertRatio = convertRatio;
    if (settings_.convertMode == ids::kConvertCustom) reopenIfOpen();
    return true;
}

bool Recorder::setMode(int mode) {
    if (state_ != State::Idle || !validMode(mode)) return false;
    settings_.mode = mode;
    changed();
    return true;
}

void Recorder::setDurationMinutes(int minutes) {
    if (!schedule_.setDuration(minutes)) ui_.beep();
    settings_.durationMinutes = schedule_.duration();
    durationSeconds_ = schedule_.duration() * 60;
    changed();
}

void Recorder::setDurationSeconds(int seconds) {
    durationSeconds_ = std::max(seconds, 1);
    settings_.durationMinutes = std::max(1, (durationSeconds_ + 59) / 60);
}

void Recorder::setDelayedStart(bool on) {
    delayed_ = on;
    changed();
}

void Recorder::setStartTime(int minuteOfDay) {
    if (!schedule_.setStart(minuteOfDay)) ui_.beep();
    settings_.durationMinutes = schedule_.duration();
    durationSeconds_ = schedule_.duration() * 60;
    changed();
}

void Recorder::setStopTime(int minuteOfDay) {
    if (!schedule_.setStop(minuteOfDay)) ui_.beep();
    settings_.durationMinutes = schedule_.duration();
    durationSeconds_ = schedule_.duration() * 60;
    changed();
}

// ---- Buttons ------------------------------------------------------------------------------------

void Recorder::record() {
    if (state_ == State::Recording) {
        state_ = State::Paused;
        setStatus("Status: Paused");
        changed();
        return;
    }
    if (state_ == State::Paused) {
        state_ = State::Recording;
        setStatus(recordingStatus());
        changed();
        return;
    }
    if (state_ != State::Idle) return;
    if (everRecorded_ && ui_.ask("Continuing will overwrite your existing recording",
                                 "Overwite Warning", Buttons::OkCancel) != Answer::Ok)
        return;
    if (!file_.isOpen()) {
        ui_.message("There is no file to record into.", "Tarnival");
        return;
    }
    saved_ = false;
    if (settings_.mode == ids::kRecTimed && delayed_) {
        state_ = State::CountingDown;
        countdown_ = -1;
        setStatus(" Status: Counting Down: ");
    } else if (settings_.mode == ids::kRecAuto) {
        state_ = State::Waiting;
        signal_ = false;
        std::fill(preTrigger_.begin(), preTrigger_.end(), uint8_t{0});
        preTriggerHead_ = 0;
        setStatus(" Status: Waiting for signal: ");
    } else {
        startRecording();
    }
    changed();
}

void Recorder::startRecording() {
    try {
        file_.begin(settings_.rate, bytesPerSecond() * kHeaderPatchSeconds);
    } catch (const FileError& e) {
        state_ = State::Idle;
        setStatus("Status: Idle");
        ui_.message(e.what(), "Tarnival");
        return;
    }
    state_ = State::Recording;
    everRecorded_ = true;
    peak_ = kNoPeak;
    peakAt_ = 0;
    peakReset_ = false;
    autoStop_ = settings_.mode != ids::kRecManual;
    if (settings_.mode == ids::kRecTimed && delayed_) durationSeconds_ = schedule_.duration() * 60;
    remaining_ = int64_t{durationSeconds_} * bytesPerSecond();
    silence_ = kSilenceBuffers;
    shownSecond_ = -1;
    setStatus(recordingStatus());
    if (settings_.mode == ids::kRecAuto) {
        // The ring's oldest bytes first: the lead-in from before the signal.
        writeAudio(preTrigger_.data() + preTriggerHead_, preTrigger_.size() - preTriggerHead_);
        if (state_ == State::Recording) writeAudio(preTrigger_.data(), preTriggerHead_);
    }
    updateTimeText(true);
}

void Recorder::writeAudio(const uint8_t* bytes, size_t count) {
    if (count == 0) return;
    try {
        file_.append(bytes, count);
    } catch (const FileError& e) {
        ui_.message(e.what(), "Tarnival");
        finishRecording();
    }
}

void Recorder::stop() {
    switch (state_) {
    case State::Idle:
        return;
    case State::Waiting:
    case State::CountingDown:
        state_ = State::Idle;
        setStatus("Status: Idle");
        break;
    case State::Recording:
    case State::Paused:
        finishRecording();
        break;
    }
    changed();
}

void Recorder::finishRecording() {
    updateTimeText(true); // the whole length, not the last whole second shown
    state_ = State::Idle;
    autoStop_ = false;
    if (file_.dataBytes() > 0) {
        try {
            file_.finish();
        } catch (const FileError& e) {
            ui_.message(e.what(), "Tarnival");
        }
        setStatus("Status: File Saved");
        size_t cut = timeText_.find(';');
        if (cut != std::string::npos) timeText_.resize(cut);
        saved_ = true;
    } else {
        setStatus("Status: Idle");
    }
}

void Recorder::override() {
    switch (state_) {
    case State::Recording:
    case State::Paused:
        if (!autoStop_) return;
        autoStop_ = false;
        if (state_ == State::Recording) setStatus(recordingStatus());
        updateTimeText(true);
        break;
    case State::CountingDown: {
        // The recording still ends at the stop time.
        const int64_t left = secondsUntil(schedule_.stop() * 60, nowSecond());
        startRecording();
        if (state_ != State::Recording) break;
        durationSeconds_ = static_cast<int>(std::min<int64_t>(left, int64_t{maxMinutes_} * 60));
        remaining_ = int64_t{durationSeconds_} * bytesPerSecond();
        setStatus(recordingStatus());
        updateTimeText(true);
        break;
    }
    case State::Waiting:
        startRecording();
        break;
    case State::Idle:
        return;
    }
    changed();
}

void Recorder::clearPeak() {
    display_.clearPeak();
    rules_.clearPeak();
    peak_ = kNoPeak;
    peakAt_ = 0;
    peakReset_ = true;
    changed();
}

bool Recorder::close() {
    if (state_ == State::Recording || state_ == State::Paused)
        finishRecording();
    else
        state_ = State::Idle;
    if (input_.isOpen()) input_.close();
    const bool kept = file_.isOpen() && file_.dataBytes() > 0;
    if (kept)
        file_.close();
    else if (file_.isOpen())
        file_.remove();
    return kept;
}

// ---- Captured audio -----------------------------------------------------------------------------

void Recorder::captured(const uint8_t* bytes, size_t count) {
    // Whole buffers of 2048 frames: each is one meter reading and one decision.
    size_t used = 0;
    if (!pending_.empty()) {
        size_t take = std::min(count, kRecordBufferBytes - pending_.size());
        pending_.insert(pending_.end(), bytes, bytes + take);
        used = take;
        if (pending_.size() < kRecordBufferBytes) return;
        processBuffer(pending_.data());
        pending_.clear();
    }
    while (count - used >= kRecordBufferBytes) {
        processBuffer(bytes + used);
        used += kRecordBufferBytes;
    }
    pending_.insert(pending_.end(), bytes + used, bytes + count);
}

void Recorder::inputFailed(const std::string& error) {
    ui_.message(error, "Tarnival");
    if (state_ == State::Recording || state_ == State::Paused) {
        finishRecording();
    } else if (state_ != State::Idle) {
        state_ = State::Idle;
        setStatus("Status: Idle");
    }
    if (input_.isOpen()) input_.close();
    deviceName_.clear();
    changed();
}

void Recorder::processBuffer(const uint8_t* bytes) {
    std::array<int16_t, kRecordBufferBytes / 2> samples;
    std::memcpy(samples.data(), bytes, kRecordBufferBytes);
    const int frames = kRecordBufferBytes / 4;
    const std::array<int, 2> peaks{channelPeak(samples.data(), frames, 0),
                                   channelPeak(samples.data(), frames, 1)};

    switch (state_) {
    case State::Recording: {
        const int64_t at = file_.dataBytes();
        if (at + kRecordBufferBytes > limitBytes_) {
            finishRecording(); // the free space (or the largest file) is used up
            break;
        }
        writeAudio(bytes, kRecordBufferBytes);
        if (state_ != State::Recording) break;
        for (int p : peaks) {
            if (p > peak_) {
                peak_ = p;
                peakAt_ = at;
            }
        }
        if (autoStop_ && settings_.mode == ids::kRecTimed) {
            remaining_ -= kRecordBufferBytes;
            if (remaining_ < 0) finishRecording();
        } else if (autoStop_ && settings_.mode == ids::kRecAuto && silence_ < 0) {
            finishRecording();
        }
        break;
    }
    case State::Waiting: {
        std::memcpy(preTrigger_.data() + preTriggerHead_, bytes, kRecordBufferBytes);
        preTriggerHead_ = (preTriggerHead_ + kRecordBufferBytes) % preTrigger_.size();
        break;
    }
    case State::CountingDown: {
        const int left = secondsUntil(schedule_.start() * 60, nowSecond());
        if (left != countdown_)
            setStatus(
                format(" Counting Down %02d:%02d:%02d ", left / 3600, left / 60 % 60, left % 60));
        // A clock that jumped past the start time (a stall, a suspend) counts as reaching it.
        const bool reached = left == 0 || (countdown_ >= 0 && left > countdown_);
        countdown_ = left;
        if (reached) startRecording();
        break;
    }
    case State::Idle:
    case State::Paused:
        break;
    }
    if (state_ == State::Waiting && signal_) startRecording();

    display_.update(peaks);
    rules_.update(peaks);
    if (state_ == State::Recording && autoStop_ && settings_.mode == ids::kRecAuto) {
        if (rules_.above(kQuietPixels))
            silence_ = kSilenceBuffers;
        else
            --silence_;
    }
    if (state_ == State::Waiting) signal_ = rules_.above(kSignalPixels);
    updateTimeText(false);
    changed();
}

// ---- Texts --------------------------------------------------------------------------------------

std::string Recorder::recordingStatus() const {
    if (!autoStop_ || settings_.mode == ids::kRecManual) return " Continuous Recording ";
    if (settings_.mode == ids::kRecAuto) return " Recording (Auto-Stop) ";
    const int minutes = durationSeconds_ / 60;
    return format(" Timed Recording: %d:%02d Hrs:Mins ", minutes / 60, minutes % 60);
}

void Recorder::updateTimeText(bool force) {
    if (state_ != State::Recording && state_ != State::Paused) return;
    const int64_t bps = bytesPerSecond();
    const int64_t second = file_.dataBytes() / bps;
    if (second == shownSecond_ && !force) return;
    shownSecond_ = second;
    const bool timed = autoStop_ && settings_.mode == ids::kRecTimed;
    const int64_t left = timed ? remaining_ / bps : (limitBytes_ - file_.dataBytes()) / bps;
    timeText_ = clockOf("Time Recorded: ", second) + "; " + clockOf("\t\tTime Remaining: ", left) +
                (timed ? "" : " (max)");
}

std::string Recorder::peakText() const {
    const char* reset = peakReset_ ? " (after manual reset)" : "";
    if (peak_ == kNoPeak) return std::string("Peak Level: --- dB") + reset;
    const int64_t seconds = peakAt_ / bytesPerSecond();
    return format("Peak Level: %.1f dB at %02d:%02d%s", peak_ / 10.0,
                  static_cast<int>(seconds / 60), static_cast<int>(seconds % 60), reset);
}

std::string Recorder::titleText(size_t maxChars) const {
    const std::string& path = file_.path();
    if (path.size() <= maxChars || maxChars < 8) return "Record File: " + path;
    const size_t tail = (maxChars - 3) * 2 / 3;
    const size_t head = maxChars - 3 - tail;
    return "Record File: " + path.substr(0, head) + "..." + path.substr(path.size() - tail);
}

std::string Recorder::recordButtonText() const {
    if (state_ == State::Recording) return "&Pause";
    if (state_ == State::Paused) return "&Continue";
    return "&Record";
}

std::string Recorder::recordTip() const {
    if (state_ == State::Recording) return "pause recording";
    if (state_ == State::Paused) return "resume recording";
    if (settings_.mode == ids::kRecTimed && delayed_)
        return "start recording after programmed delay";
    if (settings_.mode == ids::kRecAuto) return "start recording when signal detected";
    return "start recording now";
}

std::string Recorder::overrideTip() const {
    if (state_ == State::Recording || state_ == State::Paused) return "cancel automatic stop";
    return "start recording immediately";
}

bool Recorder::recordEnabled() const {
    return state_ != State::Waiting && state_ != State::CountingDown;
}

bool Recorder::overrideEnabled() const {
    switch (state_) {
    case State::Waiting:
    case State::CountingDown:
        return true;
    case State::Recording:
    case State::Paused:
        return autoStop_;
    case State::Idle:
        break;
    }
    return false;
}

bool Recorder::startIsNextDay() const {
    return isNextDay(schedule_.start(), nowSecond());
}

bool Recorder::stopIsNextDay() const {
    return isNextDay(schedule_.stop(), nowSecond());
}

} // namespace tarnival
