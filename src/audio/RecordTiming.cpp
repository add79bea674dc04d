#include "audio/RecordTiming.h"

#include <algorithm>
#include <cstdio>

namespace tarnival {

namespace {
int wrapMinutes(int m) {
    return ((m % kMinutesPerDay) + kMinutesPerDay) % kMinutesPerDay;
}
} // namespace

int secondsUntil(int targetSecondOfDay, int nowSecondOfDay) {
    int left = targetSecondOfDay - nowSecondOfDay;
    return left < 0 ? left + kSecondsPerDay : left;
}

bool isNextDay(int minuteOfDay, int nowSecondOfDay) {
    return minuteOfDay * 60 < nowSecondOfDay;
}

TimedSchedule::TimedSchedule(int durationMinutes, int startMinute)
    : duration_(std::clamp(durationMinutes, 1, kMinutesPerDay - 1)),
      start_(wrapMinutes(startMinute)), stop_(wrapMinutes(start_ + duration_)) {}

void TimedSchedule::setMaxDuration(int minutes) {
    max_ = std::clamp(minutes, 1, kMinutesPerDay - 1);
    if (duration_ > max_) setDuration(max_);
}

bool TimedSchedule::setDuration(int minutes) {
    duration_ = std::clamp(minutes, 1, max_);
    return edited(Field::Duration);
}

bool TimedSchedule::setStart(int minuteOfDay) {
    start_ = wrapMinutes(minuteOfDay);
    return edited(Field::Start);
}

bool TimedSchedule::setStop(int minuteOfDay) {
    stop_ = wrapMinutes(minuteOfDay);
    return edited(Field::Stop);
}

bool TimedSchedule::edited(Field field) {
    if (field != recent_) {
        previous_ = recent_;
        recent_ = field;
    }
    // The control that is neither of the two given ones.
    auto third = [](Field a, Field b) {
        for (Field f : {Field::Duration, Field::Start, Field::Stop})
            if (f != a && f != b) return f;
        return Field::Duration;
    };
    Field derived = third(recent_, previous_);
    if (derived == Field::Duration) {
        int d = wrapMinutes(stop_ - start_);
        if (fits(d)) {
            duration_ = d;
            return true;
        }
        // Keep the duration and derive the older of the two given controls from it instead.
        Field older = previous_;
        previous_ = Field::Duration;
        if (older == Field::Start)
            start_ = wrapMinutes(stop_ - duration_);
        else
            stop_ = wrapMinutes(start_ + duration_);
        return false;
    }
    if (derived == Field::Start)
        start_ = wrapMinutes(stop_ - duration_);
    else
        stop_ = wrapMinutes(start_ + duration_);
    return true;
}

std::string clockText(int minutes) {
    char text[16];
    std::snprintf(text, sizeof text, "%02d:%02d", minutes / 60 % 100, minutes % 60);
    return text;
}

} // namespace tarnival
