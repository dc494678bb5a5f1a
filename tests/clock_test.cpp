#include <gtest/gtest.h>

#include "clock/caption_clock.hpp"
#include "clock/clock_timer.hpp"
#include "tests/program_fixture.hpp"

namespace nubeko {
namespace {

using testing::ProgramFixture;
using testing::RecordingPlatform;

class NoWindowEvents final : public WindowEvents {
public:
    bool key_pressed(Key, Modifiers) override { return false; }
    void focus_received() override {}
    void close_requested() override {}
    bool close_query() override { return true; }
};

TEST(ClockTimer, PeriodRules) {
    struct Case {
        int from;
        int set;
        int period;
        bool running;
        std::vector<std::string> countdown;  // what the native countdown was told
    };
    const Case cases[] = {
        {0, 1000, 1000, true, {"countdown_start 1000"}},
        {1000, 1000, 1000, true, {}},  // not restarted
        {1000, 500, 500, true, {"countdown_cancel", "countdown_start 500"}},
        {1000, 0, 0, false, {"countdown_cancel"}},
        {1000, -5, 0, false, {"countdown_cancel"}},
        {0, -5, 0, false, {}},
        {0, 0, 0, false, {}},
    };
    for (const Case& c : cases) {
        RecordingPlatform platform;
        NoWindowEvents events;
        auto window = platform.create_window({}, {}, events);
        int ticks = 0;
        auto timer = ClockTimer::create(platform, *window, 0, [&] { ++ticks; });
        timer->set_period(c.from);
        platform.log.clear();

        timer->set_period(c.set);
        EXPECT_EQ(timer->period(), c.period) << c.from << " -> " << c.set;
        EXPECT_EQ(timer->running(), c.running) << c.from << " -> " << c.set;
        EXPECT_EQ(platform.log, c.countdown) << c.from << " -> " << c.set;
        platform.expire_countdown();
        EXPECT_EQ(ticks, c.running ? 1 : 0) << c.from << " -> " << c.set;
    }
}

TEST(ClockTimer, DestructionCancelsTheCountdown) {
    RecordingPlatform platform;
    NoWindowEvents events;
    auto window = platform.create_window({}, {}, events);
    int ticks = 0;
    auto timer = ClockTimer::create(platform, *window, 0, [&] { ++ticks; });
    timer->set_period(1000);
    timer.reset();
    platform.expire_countdown();
    EXPECT_EQ(ticks, 0);
    EXPECT_FALSE(platform.countdown_running());
}

class CaptionClock : public ProgramFixture {};

const std::string prefix = "Nubeko2.0" + std::string(46, ' ') + "时间：";

TEST_F(CaptionClock, EachTickWritesTheProductLineAndTheLocalTime) {
    std::vector<std::string> captions;
    platform.in_event_loop = [&](RecordingPlatform& p) {
        captions.push_back(p.title);  // before the first tick
        for (const LocalTime t : {LocalTime{2016, 1, 22, 15, 32, 25}, LocalTime{2016, 1, 22, 15, 32, 25},
                                  LocalTime{2016, 1, 22, 15, 0, 0}, LocalTime{2016, 1, 22, 0, 0, 0}}) {
            p.now = t;
            p.expire_countdown();
            captions.push_back(window().caption());
        }
        p.press(Key::escape);
    };
    ASSERT_EQ(run(), 0);

    EXPECT_EQ(captions, (std::vector<std::string>{"", prefix + "2016年1月22日15时32分25秒",
                                                  prefix + "2016年1月22日15时32分25秒", prefix + "2016年1月22日15时",
                                                  prefix + "2016年1月22日"}));
    // The same text twice is still written twice.
    EXPECT_EQ(platform.entries_starting("set_title").size(), 4u);
    EXPECT_EQ(platform.title, prefix + "2016年1月22日");
}

// A long run in one process: under the sanitizer build this is the soak that
// must end with no leak and no report.
TEST_F(CaptionClock, HundredThousandTicksKeepTheCaptionCurrent) {
    int written = 0;
    platform.in_event_loop = [&](RecordingPlatform& p) {
        for (int s = 0; s < 100000; ++s) {
            p.now = {2016, 1, 22 + s / 86400, s / 3600 % 24, s / 60 % 60, s % 60};
            p.expire_countdown();
            p.log.clear();
            ++written;
        }
        p.press(Key::escape);
    };
    ASSERT_EQ(run(), 0);
    EXPECT_EQ(written, 100000);
    EXPECT_EQ(platform.title, prefix + "2016年1月23日3时46分39秒");
}

TEST_F(CaptionClock, PrefixIsTheProductLineWith46Spaces) {
    EXPECT_EQ(caption_prefix, prefix);
    EXPECT_EQ(caption_prefix.substr(9, 46), std::string(46, ' '));
}

TEST_F(CaptionClock, TickWhoseTextCannotBeAllocatedStopsWithoutWritingAndLaterTicksReachNoHandler) {
    std::vector<std::size_t> asked;
    platform.in_event_loop = [&](RecordingPlatform& p) {
        allocation_sizes = &asked;
        fail_allocation_of = 0;
        p.expire_countdown();  // the box shown by the stop lets one more tick fall due
    };
    ASSERT_EQ(run(), -1);

    const std::size_t time_text = std::string_view("2016年1月22日15时32分25秒").size() + 1;
    EXPECT_EQ(asked, std::vector<std::size_t>{time_text});
    EXPECT_EQ(platform.entries_starting("error_box"),
              std::vector<std::string>{"error_box 错误|运行时出错!\r\n\r\n错误信息：分配 " + std::to_string(time_text) +
                                       " 字节内存失败!\r\n"});
    EXPECT_TRUE(platform.entries_starting("set_title").empty());
    EXPECT_EQ(ended, 0);
    EXPECT_GT(platform.position("end_process -1"), platform.position("shutdown_component_system"));
}

}  // namespace
}  // namespace nubeko
