#pragma once
// Devices and an event loop that tests drive by hand: nothing happens until the test says so.
#include "audio/AudioDevice.h"
#include "audio/EngineLoop.h"

#include <deque>
#include <functional>
#include <string>
#include <vector>

namespace tarnival::test {

class FakeLoop : public EngineLoop {
  public:
    std::deque<std::function<void()>> tasks;
    std::function<void()> timer;
    int timerInterval = 0;

    void post(std::function<void()> task) override { tasks.push_back(std::move(task)); }
    void startTimer(int intervalMs, std::function<void()> tick) override {
        timerInterval = intervalMs;
        timer = std::move(tick);
    }
    void stopTimer() override { timer = nullptr; }

    // Runs posted work, including work that work posts, until none is left.
    void run() {
        for (int guard = 0; !tasks.empty() && guard < 100000; ++guard) {
            auto task = std::move(tasks.front());
            tasks.pop_front();
            task();
        }
    }
    void tick() {
        if (timer) timer();
    }
};

class FakeOutput : public AudioOutput {
  public:
    struct Queued {
        int buffer;
        std::vector<uint8_t> bytes;
    };

    explicit FakeOutput(FakeLoop& loop) : loop_(loop) {}

    // What the test arranges.
    int busyAnswers = 0;    // opens answered "busy" before one succeeds
    std::string openError;  // non-empty: opens fail with this text
    std::string openNotice; // told on a successful open
    std::string writeError; // non-empty: writes fail with this text
    // What the engine did.
    std::vector<int> openedRates;
    int openAttempts = 0;
    int closes = 0;
    int resets = 0;
    bool paused = false;
    bool opened = false;
    std::deque<Queued> queue;
    std::vector<size_t> writeSizes;
    std::vector<uint8_t> heard; // every byte played, in order
    int64_t played = 0;

    OpenResult open(int, int rate, AudioOutputEvents& events) override {
        ++openAttempts;
        if (busyAnswers > 0) {
            --busyAnswers;
            return {OpenStatus::Busy, "busy", {}};
        }
        if (!openError.empty()) return {OpenStatus::Failed, openError, {}};
        events_ = &events;
        opened = true;
        played = 0;
        openedRates.push_back(rate);
        loop_.post([this] { events_->outputOpened(); });
        return {OpenStatus::Opened, {}, openNotice};
    }
    bool write(int buffer, const uint8_t* bytes, size_t count, std::string& error) override {
        if (!writeError.empty()) {
            error = writeError;
            return false;
        }
        queue.push_back({buffer, std::vector<uint8_t>(bytes, bytes + count)});
        writeSizes.push_back(count);
        return true;
    }
    void pause() override { paused = true; }
    void resume() override { paused = false; }
    void reset() override {
        ++resets;
        at_ = 0;
        for (const Queued& q : queue) {
            int b = q.buffer;
            loop_.post([this, b] { events_->bufferDone(b); });
        }
        queue.clear();
        played = 0;
    }
    void close() override {
        ++closes;
        opened = false;
        loop_.post([this] { events_->outputClosed(); });
    }
    void shutdown() override {
        opened = false;
        queue.clear();
    }
    int64_t playedBytes() const override { return played; }
    bool isOpen() const override { return opened; }

    // The device plays `bytes` of what is queued; each finished buffer is reported done.
    // Returns false when nothing is queued.
    bool play(int64_t bytes) {
        if (queue.empty() || paused) return false;
        while (bytes > 0 && !queue.empty()) {
            Queued& head = queue.front();
            const auto n = static_cast<size_t>(
                std::min<int64_t>(bytes, static_cast<int64_t>(head.bytes.size() - at_)));
            heard.insert(heard.end(), head.bytes.begin() + static_cast<std::ptrdiff_t>(at_),
                         head.bytes.begin() + static_cast<std::ptrdiff_t>(at_ + n));
            at_ += n;
            played += static_cast<int64_t>(n);
            bytes -= static_cast<int64_t>(n);
            if (at_ == head.bytes.size()) {
                int b = head.buffer;
                queue.pop_front();
                at_ = 0;
                loop_.post([this, b] { events_->bufferDone(b); });
            }
        }
        return true;
    }
    // Plays the head buffer to its end.
    bool playBuffer() {
        if (queue.empty()) return false;
        return play(static_cast<int64_t>(queue.front().bytes.size() - at_));
    }
    void fail(const std::string& error) {
        loop_.post([this, error] { events_->outputFailed(error); });
    }

  private:
    FakeLoop& loop_;
    AudioOutputEvents* events_ = nullptr;
    size_t at_ = 0;
};

class FakeInput : public AudioInput {
  public:
    std::string openError;
    std::vector<int> openedRates;
    bool opened = false;
    std::string name = "Fake Input";

    OpenResult open(int, int rate, AudioInputEvents& events) override {
        if (!openError.empty()) return {OpenStatus::Failed, openError, {}};
        events_ = &events;
        opened = true;
        openedRates.push_back(rate);
        return {OpenStatus::Opened, {}, {}};
    }
    void close() override { opened = false; }
    bool isOpen() const override { return opened; }
    std::string deviceName() const override { return name; }

    // Delivers captured audio as the device would.
    void deliver(const std::vector<uint8_t>& bytes) {
        events_->captured(bytes.data(), bytes.size());
    }
    void fail(const std::string& error) { events_->inputFailed(error); }

  private:
    AudioInputEvents* events_ = nullptr;
};

} // namespace tarnival::test
