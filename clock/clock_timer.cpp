#include "clock/clock_timer.hpp"

#include <algorithm>

namespace nubeko {

std::unique_ptr<ClockTimer> ClockTimer::create(Platform& platform, NativeWindow& owner, int period,
                                               std::function<void()> tick) {
    auto countdown = platform.create_countdown(owner, std::move(tick));
    if (!countdown) return nullptr;
    std::unique_ptr<ClockTimer> timer(new ClockTimer(std::move(countdown)));
    timer->set_period(period);
    return timer;
}

void ClockTimer::set_period(int period) {
    period = std::max(period, 0);
    if (period == period_) return;
    period_ = period;
    if (running_) countdown_->cancel();
    running_ = period > 0;
    if (running_) countdown_->start(period);
}

}  // namespace nubeko
