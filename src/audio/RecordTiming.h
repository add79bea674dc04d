#pragma once
#include <string>

namespace tarnival {

constexpr int kSecondsPerDay = 86400;
constexpr int kMinutesPerDay = 1440;

// Seconds from now until a time of day, counting on into the next day when the time has
// passed today.
int secondsUntil(int targetSecondOfDay, int nowSecondOfDay);
// True when a time of day (minutes) is earlier than now, i.e. it falls on the next day.
bool isNextDay(int minuteOfDay, int nowSecondOfDay);

// Duration, start and stop of a timed recording with a delayed start, kept consistent: the two
// controls edited most recently are taken as given and the third is derived. A derived
// duration that is empty or longer than the limit is refused and the other control is derived
// instead.
class TimedSchedule {
  public:
    enum class Field { Duration, Start, Stop };

    explicit TimedSchedule(int durationMinutes = 1, int startMinute = 0);

    // Each returns false when a derived duration had to be refused (the caller beeps).
    bool setDuration(int minutes);
    bool setStart(int minuteOfDay);
    bool setStop(int minuteOfDay);
    // The longest duration allowed (the free-space limit); a longer duration is cut to it.
    void setMaxDuration(int minutes);

    int duration() const { return duration_; }
    int start() const { return start_; }
    int stop() const { return stop_; }
    int maxDuration() const { return max_; }

  private:
    bool edited(Field field);
    bool fits(int minutes) const { return minutes >= 1 && minutes <= max_; }

    int duration_;
    int start_;
    int stop_;
    int max_ = kMinutesPerDay - 1;
    Field recent_ = Field::Start;      // the control edited last
    Field previous_ = Field::Duration; // the one before it
};

// "HH:MM" for a time control.
std::string clockText(int minutes);

} // namespace tarnival
