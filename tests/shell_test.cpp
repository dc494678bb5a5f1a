#include <gtest/gtest.h>

#include "app/main_window.hpp"
#include "app/window_description.hpp"
#include "tests/program_fixture.hpp"

namespace nubeko {
namespace {

using testing::ProgramFixture;
using testing::RecordingPlatform;

const std::string start_page = "http://" NUBEKO_SITE_HOST "/images/nubeko/index.html";

class Program : public ProgramFixture {};

TEST_F(Program, StartsBuildsRunsAndStopsInOrder) {
    int ended_while_running = -1;
    platform.in_event_loop = [&](RecordingPlatform& p) {
        ended_while_running = ended;
        EXPECT_TRUE(p.press(Key::escape));
    };
    EXPECT_EQ(run(), 0);

    const std::vector<std::string> expected = {
        "initialise_component_system",
        "set_working_directory /opt/nubeko/bin",
        "reset_floating_point",
        "process_pending_events",
        "create_window 566,182 788x716 title=[]",
        // units in reverse order: the pane, which already opens the start page
        "create_child_area -8,0 792x688",
        "create_web_view 792x688",
        "set_offline 0",
        "set_silent 0",
        "set_text_size 2",
        "navigate " + start_page,
        // then the timer, not running
        "create_countdown",
        "show_child_area",
        "process_pending_events",
        // the created handler: timer first, then the address again
        "countdown_start 1000",
        "navigate " + start_page,
        "show_window",
        "no_saved_focus",
        "focus_web_view",
        "run_event_loop",
        "request_close",
        "destroy_countdown",
        "destroy_web_view",
        "destroy_child_area",
        "destroy_window",
        "post_quit 0",
        "event_loop_ended",
        "shutdown_component_system",
    };
    EXPECT_EQ(platform.log, expected);
    EXPECT_EQ(initialised, 1);
    EXPECT_EQ(ended_while_running, 0);
    EXPECT_EQ(ended, 1);
}

TEST_F(Program, EveryCloseRequestEndsTheProgramWithStatusZero) {
    // Close box, window menu and the system's keystroke all arrive as one close request.
    platform.in_event_loop = [&](RecordingPlatform& p) {
        EXPECT_TRUE(p.window_events->close_query());
        p.window_events->close_requested();
    };
    EXPECT_EQ(run(), 0);
    EXPECT_FALSE(platform.window_exists);
    EXPECT_EQ(ended, 1);
}

TEST_F(Program, WindowMadeAtAnotherSizeIsResizedAtOnce) {
    platform.window_comes_out_as = Size{800, 700};
    platform.in_event_loop = [](RecordingPlatform& p) { p.press(Key::escape); };
    EXPECT_EQ(run(), 0);
    EXPECT_EQ(platform.position("set_outer_size 788x716"), platform.position("create_window 566,182 788x716 title=[]") + 1);
}

TEST_F(Program, WindowThatCannotBeBuiltTakesTheFatalStop) {
    struct Case {
        const char* what;
        bool RecordingPlatform::*fails;
    };
    const Case cases[] = {
        {"window", &RecordingPlatform::fail_window},
        {"child area", &RecordingPlatform::fail_child_area},
        {"web view", &RecordingPlatform::fail_web_view},
        {"countdown", &RecordingPlatform::fail_countdown},
    };
    for (const Case& c : cases) {
        RecordingPlatform p;
        p.*c.fails = true;
        Shell s(p, allocate);
        ended = 0;
        int status = 0;
        try {
            s.start(built_in_window_description(), {initialise, end_routine});
            ADD_FAILURE() << c.what << ": start-up went on";
        } catch (const testing::ProcessEnded& e) {
            status = e.status;
        }
        EXPECT_EQ(status, -1) << c.what;
        EXPECT_EQ(p.entries_starting("error_box"),
                  std::vector<std::string>{"error_box 错误|运行时出错!\r\n\r\n错误信息：载入启动窗口失败\r\n"})
            << c.what;
        EXPECT_EQ(p.position("show_window"), -1) << c.what;
        EXPECT_EQ(p.position("run_event_loop"), -1) << c.what;
        EXPECT_EQ(p.position("post_quit 0"), -1) << c.what;
        EXPECT_FALSE(p.window_exists) << c.what << ": what was made is gone";
        EXPECT_EQ(ended, 0) << c.what << ": the end routine is discarded";
        EXPECT_LT(p.position("shutdown_component_system"), p.position("end_process -1")) << c.what;
    }
}

TEST_F(Program, WebViewThatCannotBeMadeTakesItsAreaAlongBeforeTheBox) {
    platform.fail_web_view = true;
    EXPECT_EQ(run(), -1);
    EXPECT_LT(platform.position("destroy_child_area"),
              platform.position("error_box 错误|运行时出错!\r\n\r\n错误信息：载入启动窗口失败\r\n"));
    EXPECT_TRUE(platform.entries_starting("navigate").empty());
}

TEST_F(Program, UnreadableWindowDescriptionTakesTheFatalStop) {
    WindowDescription broken = built_in_window_description();
    broken.units[1].kind = UnitKind::clock_timer;
    EXPECT_EQ(run(broken), -1);
    EXPECT_EQ(platform.entries_starting("error_box"),
              std::vector<std::string>{"error_box 错误|运行时出错!\r\n\r\n错误信息：载入窗口模板数据段出错!\r\n"});
    EXPECT_TRUE(platform.entries_starting("create_").empty());
    EXPECT_EQ(initialised, 0);
}

TEST_F(Program, CreatedEventRunsWhileTheWindowIsHiddenAndOnlyOnce) {
    EXPECT_TRUE(readable(built_in_window_description()));
    platform.in_event_loop = [](RecordingPlatform& p) { p.press(Key::escape); };
    EXPECT_EQ(run(), 0);
    const auto navigations = platform.entries_starting("navigate");
    ASSERT_EQ(navigations.size(), 2u);
    EXPECT_EQ(platform.entries_starting("countdown_start"), std::vector<std::string>{"countdown_start 1000"});
    EXPECT_LT(platform.position("countdown_start 1000"), platform.position("show_window"));
    // The text size is set once, before the first navigation.
    EXPECT_EQ(platform.entries_starting("set_text_size"), std::vector<std::string>{"set_text_size 2"});
    EXPECT_LT(platform.position("set_text_size 2"), platform.position(navigations[0]));
}

TEST(Placement, CentredOnThePrimaryDisplayTruncatedAndKeptWhenNegative) {
    struct Case {
        Size display;
        int left;
        int top;
    };
    const Case cases[] = {
        {{1920, 1080}, 566, 182}, {{1366, 768}, 289, 26}, {{1024, 768}, 118, 26},
        {{800, 600}, 6, -58},     {{800, 601}, 6, -57},   {{787, 715}, 0, 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(placement(c.display, {788, 716}), (Rect{c.left, c.top, 788, 716}))
            << c.display.width << "x" << c.display.height;
}

TEST(KeyPreprocessing, TakesBareEscapeTabAndShiftTabOnly) {
    struct Case {
        Key key;
        Modifiers modifiers;
        KeyAction action;
    };
    const Modifiers none{}, shift{.shift = true}, ctrl{.ctrl = true}, alt{.alt = true};
    const Case cases[] = {
        {Key::escape, none, KeyAction::close},
        {Key::escape, shift, KeyAction::pass},
        {Key::escape, ctrl, KeyAction::pass},
        {Key::escape, alt, KeyAction::pass},
        {Key::tab, none, KeyAction::focus_next},
        {Key::tab, shift, KeyAction::focus_previous},
        {Key::tab, ctrl, KeyAction::pass},
        {Key::tab, {.ctrl = true, .shift = true}, KeyAction::pass},
        {Key::other, none, KeyAction::pass},  // Enter, letters and the rest
        {Key::other, shift, KeyAction::pass},
    };
    for (const Case& c : cases)
        EXPECT_EQ(key_action(c.key, c.modifiers, true), c.action)
            << static_cast<int>(c.key) << " ctrl=" << c.modifiers.ctrl << " shift=" << c.modifiers.shift
            << " alt=" << c.modifiers.alt;
    EXPECT_EQ(key_action(Key::escape, none, false), KeyAction::pass);
}

TEST_F(Program, TabIsTakenWithoutMovingTheFocusAndOtherKeysPass) {
    platform.in_event_loop = [&](RecordingPlatform& p) {
        p.log.clear();
        EXPECT_TRUE(p.press(Key::tab));
        EXPECT_TRUE(p.press(Key::tab, {.shift = true}));
        EXPECT_FALSE(p.press(Key::escape, {.shift = true}));
        EXPECT_FALSE(p.press(Key::other));
        EXPECT_TRUE(p.log.empty()) << "the pane is the only tab stop: nothing moves";
        EXPECT_TRUE(p.window_exists);
        p.press(Key::escape);
    };
    EXPECT_EQ(run(), 0);
}

TEST_F(Program, FocusGoesBackToTheSavedChildElseIntoTheWebView) {
    platform.in_event_loop = [&](RecordingPlatform& p) {
        p.log.clear();
        p.saved_focus_exists = true;
        p.window_events->focus_received();
        EXPECT_EQ(p.log, std::vector<std::string>{"restore_saved_focus"});
        p.log.clear();
        p.saved_focus_exists = false;
        p.window_events->focus_received();
        EXPECT_EQ(p.log, (std::vector<std::string>{"no_saved_focus", "focus_web_view"}));
        p.press(Key::escape);
    };
    EXPECT_EQ(run(), 0);
}

TEST_F(Program, FocusComingBackWhileTheWindowGoesDownIsIgnored) {
    platform.focus_returns_when_web_view_goes = true;
    platform.in_event_loop = [](RecordingPlatform& p) { p.press(Key::escape); };
    EXPECT_EQ(run(), 0);
    EXPECT_EQ(platform.entries_starting("focus_web_view").size(), 1u) << "only the one when the window was shown";
}

TEST_F(Program, SetAddressAlwaysNavigatesAndTakesNullAsEmpty) {
    platform.in_event_loop = [&](RecordingPlatform& p) {
        p.log.clear();
        BrowserPane& pane = window().browser_pane();
        pane.set_address(start_page.c_str());
        pane.set_address(start_page.c_str());
        pane.set_address(nullptr);
        pane.set_address("not an address");
        EXPECT_EQ(p.log, (std::vector<std::string>{"navigate " + start_page, "navigate " + start_page, "navigate ",
                                                   "navigate not an address"}));
        EXPECT_EQ(pane.address(), "not an address");
        p.press(Key::escape);
    };
    EXPECT_EQ(run(), 0);
}

std::vector<int> calls;
void first_routine() { calls.push_back(1); }
void second_routine() { calls.push_back(2); }

TEST_F(Program, EndRoutinesRunOnceInOrderWithoutDuplicates) {
    calls.clear();
    shell.register_end_routine(first_routine);
    shell.register_end_routine(second_routine);
    shell.register_end_routine(first_routine);
    EXPECT_EQ(shell.orderly_stop(), 0);
    EXPECT_EQ(calls, (std::vector<int>{1, 2}));
    EXPECT_EQ(shell.orderly_stop(), 0);
    EXPECT_EQ(calls, (std::vector<int>{1, 2})) << "the list is emptied";
}

}  // namespace
}  // namespace nubeko
