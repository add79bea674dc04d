#pragma once
#include "audio/AudioDevice.h"
#include "audio/LevelMeter.h"
#include "audio/RecordFile.h"
#include "audio/RecordTiming.h"
#include "document/Settings.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace tarnival {

class Profile;
class UserInterface;

constexpr int kRecordBufferBytes = 8192; // 2048 frames: one meter reading
constexpr int kRecordBuffers = 200;      // what the device may hold for us
constexpr int kPreTriggerBytes = 81920;  // audio kept from before the signal
constexpr int kSilenceBuffers = 600;     // quiet buffers that end an auto recording
constexpr int kSignalPixels = 20;        // a bar longer than this starts an auto recording
constexpr int kQuietPixels = 11;         // a bar no longer than this counts as quiet
constexpr int kMeterWidth = 320;         // the width the signal rules are judged at
constexpr int64_t kMaxRecordBytes = 0x7FFF0000;
constexpr int kNoPeak = -1000;
constexpr int kHeaderPatchSeconds = 2; // the header follows the audio this closely
constexpr int kMinConvertRatio = 250;  // custom ratios, x 1000
constexpr int kMaxConvertRatio = 4000;

// The rate the device runs at for a nominal rate and a speed conversion: 78/45 plays a 78 rpm
// record turning at 45 rpm, so the device samples slower and the file, written with the nominal
// rate, plays at the right speed.
int deviceRateFor(int nominalRate, int convertMode, int convertRatio);
// " Custo&m Conv.: (%5.3f:1) "
std::string customConversionLabel(int convertRatio);

// The recorder's choices, as stored in the settings.
struct RecorderSettings {
    int rate = 44100;
    int convertMode = ids::kConvertNone;
    int convertRatio = 1000;
    int mode = ids::kRecManual;
    int durationMinutes = 1;
    int inputDevice = kDefaultDevice;
};
RecorderSettings loadRecorderSettings(const Profile& profile);
// Stores the mode, rate and conversion; "RecTime" only with storeTime ("&Done" in timed mode).
void storeRecorderSettings(Profile& profile, const RecorderSettings& settings, bool storeTime);

// The folder the save dialog for a new recording starts in ("RecordPath", else "PathName"),
// and storing the folder of the chosen file back.
std::string recordFolder(const Profile& profile);
void storeRecordFolder(Profile& profile, const std::string& chosenFile);

class RecorderObserver {
  public:
    virtual ~RecorderObserver() = default;
    // After every buffer and every change: redraw the meter and refresh the texts.
    virtual void recorderChanged() {}
};

// The "Record New Wave File" recorder: the input device runs from the moment it is opened so
// that the meter works; Record starts (at once, on a signal, or after a countdown), pauses and
// resumes; Stop, a timed end, a long silence in auto mode or the free-space limit finishes the
// file. Everything runs on the thread that owns the device.
class Recorder : private AudioInputEvents {
  public:
    enum class State { Idle, Waiting, CountingDown, Recording, Paused };

    // secondOfDay gives the local time of day in seconds (the countdown's clock).
    Recorder(AudioInput& input, UserInterface& ui, std::function<int()> secondOfDay = {});
    ~Recorder() override;
    Recorder(const Recorder&) = delete;
    Recorder& operator=(const Recorder&) = delete;

    void setObserver(RecorderObserver* observer) { observer_ = observer; }
    // Free bytes on the filesystem holding a folder, or nothing when unknown (tests replace it).
    void setFreeSpaceProbe(std::function<std::optional<int64_t>(const std::string&)> probe);

    // ---- Set-up -----------------------------------------------------------------------------
    // Creates the target file (see RecordFile::create); tells the user and returns false when
    // that fails. Deleted again at close() when nothing was recorded into it.
    bool createFile(const std::string& path, bool replaceExisting);
    void setSettings(const RecorderSettings& settings);
    const RecorderSettings& settings() const { return settings_; }
    // Opens the input device at the device rate and starts the meter; errors are shown.
    bool openDevice();

    // ---- Controls (rate, conversion and mode only change while idle) -----------------------
    bool setRate(int rate);
    bool setConversion(int convertMode);
    // The custom ratio x 1000; refused (false) outside 0.250..4.000.
    bool setCustomRatio(int convertRatio);
    bool setMode(int mode);
    // Timed recording: the duration alone, or with a delayed start the three time controls.
    void setDurationMinutes(int minutes);
    void setDurationSeconds(int seconds); // finer than the dialog: the command line's --seconds
    void setDelayedStart(bool on);
    void setStartTime(int minuteOfDay);
    void setStopTime(int minuteOfDay);

    // ---- Buttons ----------------------------------------------------------------------------
    void record();    // "&Record" / "&Pause" / "&Continue"
    void stop();      // "&Stop"
    void override();  // "&Override"
    void clearPeak(); // "Clear Pea&k"
    // Closing the dialog: a recording under way is finished, the device closed, the file
    // deleted when nothing was recorded. Returns whether a recorded file remains.
    bool close();

    // ---- What the dialog shows -------------------------------------------------------------
    State state() const { return state_; }
    const std::string& statusText() const { return status_; }
    const std::string& timeText() const { return timeText_; }
    std::string peakText() const;
    std::string deviceText() const { return "Device: " + deviceName_; }
    // "Record File: %s" with the path shortened (middle elided) to at most maxChars of path.
    std::string titleText(size_t maxChars = 60) const;
    std::string recordButtonText() const;
    std::string recordTip() const;
    std::string overrideTip() const;
    static const char* doneTip() { return "close recording window"; }
    bool recordEnabled() const;
    bool stopEnabled() const { return state_ != State::Idle; }
    bool overrideEnabled() const;
    bool scanEnabled() const { return saved_; }
    bool controlsEnabled() const { return state_ == State::Idle; }
    bool delayedStart() const { return delayed_; }
    const TimedSchedule& schedule() const { return schedule_; }
    // Next-day marks beside the start and stop times.
    bool startIsNextDay() const;
    bool stopIsNextDay() const;
    // The longest recording the free space allows, in minutes; "(max)" of untimed recordings.
    int maxMinutes() const { return maxMinutes_; }
    const std::string& lowSpaceText() const { return lowSpace_; }
    int deviceRate() const {
        return deviceRateFor(settings_.rate, settings_.convertMode, settings_.convertRatio);
    }
    // The display meter; the dialog sets its width in pixels.
    const LevelMeter& meter() const { return display_; }
    void setMeterWidth(int width) { display_.setWidth(width); }
    int64_t recordedBytes() const { return file_.dataBytes(); }
    bool autoStopActive() const { return autoStop_; }
    const std::string& path() const { return file_.path(); }

  private:
    void captured(const uint8_t* bytes, size_t count) override;
    void inputFailed(const std::string& error) override;

    void processBuffer(const uint8_t* bytes);
    void startRecording();
    void finishRecording();
    void checkFreeSpace();
    void reopenIfOpen();
    void setStatus(std::string text);
    void updateTimeText(bool force);
    std::string recordingStatus() const;
    int64_t bytesPerSecond() const { return int64_t{deviceRate()} * 4; }
    int nowSecond() const;
    void changed();
    void writeAudio(const uint8_t* bytes, size_t count);

    AudioInput& input_;
    UserInterface& ui_;
    std::function<int()> secondOfDay_;
    std::function<std::optional<int64_t>(const std::string&)> freeSpace_;
    RecorderObserver* observer_ = nullptr;

    RecorderSettings settings_;
    TimedSchedule schedule_;
    int durationSeconds_ = 60;
    bool delayed_ = false;

    State state_ = State::Idle;
    RecordFile file_;
    bool everRecorded_ = false; // a recording was made in this dialog
    bool saved_ = false;
    bool autoStop_ = false;
    int64_t remaining_ = 0; // bytes left of a timed recording
    int64_t limitBytes_ = kMaxRecordBytes;
    int maxMinutes_ = 0;
    std::string lowSpace_;
    int silence_ = kSilenceBuffers;
    bool signal_ = false;
    int countdown_ = -1;

    int peak_ = kNoPeak;
    int64_t peakAt_ = 0;
    bool peakReset_ = false;

    LevelMeter display_{kMeterWidth};
    LevelMeter rules_{kMeterWidth};
    std::vector<uint8_t> pending_;    // captured bytes short of a whole buffer
    std::vector<uint8_t> preTrigger_; // ring of the most recent audio while waiting
    size_t preTriggerHead_ = 0;

    std::string deviceName_;
    std::string status_ = "Status: Idle";
    std::string timeText_;
    int64_t shownSecond_ = -1;
};

} // namespace tarnival
