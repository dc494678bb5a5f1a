// The clock timer: a non-visual unit that raises a tick every period.
#pragma once

#include <functional>
#include <memory>

#include "app/platform.hpp"

namespace nubeko {

class ClockTimer {
public:
    // Built with period 0: not running. Returns nullptr if the platform has no
    // countdown to give.
    static std::unique_ptr<ClockTimer> create(Platform& platform, NativeWindow& owner, int period,
                                              std::function<void()> tick);
    ClockTimer(const ClockTimer&) = delete;
    ClockTimer& operator=(const ClockTimer&) = delete;
    ~ClockTimer() = default;  // the countdown goes with it: no tick follows

    int period() const { return period_; }
    bool running() const { return running_; }

    // Negative acts as 0; the same period changes nothing (a running
    // countdown is not restarted); any other value cancels, and a positive one
    // starts a fresh countdown.
    void set_period(int period);

private:
    explicit ClockTimer(std::unique_ptr<NativeCountdown> countdown) : countdown_(std::move(countdown)) {}

    std::unique_ptr<NativeCountdown> countdown_;
    int period_ = 0;
    bool running_ = false;
};

}  // namespace nubeko
