// A platform that records every call in order, for the unit tests.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/platform.hpp"

namespace nubeko::testing {

// Thrown by end_process so that a test can see the stop instead of dying.
struct ProcessEnded {
    int status;
};

class RecordingPlatform final : public Platform {
public:
    // What the platform will do.
    Size display{1920, 1080};
    LocalTime now{2016, 1, 22, 15, 32, 25};
    std::filesystem::path program{"/opt/nubeko/bin/nubeko"};
    std::optional<Size> window_comes_out_as;  // the outer size the "system" makes
    bool fail_window = false;
    bool fail_child_area = false;
    bool fail_web_view = false;
    bool fail_countdown = false;
    bool saved_focus_exists = false;
    bool focus_returns_when_web_view_goes = false;  // as a system does when the focused child dies
    std::function<void(RecordingPlatform&)> in_event_loop;  // the user, while the loop runs

    // What happened.
    std::vector<std::string> log;
    std::string title;
    WindowEvents* window_events = nullptr;
    bool window_exists = false;
    bool quit_posted = false;

    // Drive the program as the event loop would.
    bool countdown_running() const { return countdown_period_ > 0; }
    void expire_countdown();       // one tick, if armed
    void deliver_pending_closes();  // close requests posted by request_close
    bool press(Key key, Modifiers modifiers = {});

    std::vector<std::string> entries_starting(std::string_view prefix) const;
    std::ptrdiff_t position(std::string_view entry) const;  // -1 when absent

    void initialise_component_system() override;
    void shutdown_component_system() override;
    std::filesystem::path program_file() const override { return program; }
    void set_working_directory(const std::filesystem::path& folder) override;
    void reset_floating_point() override;
    LocalTime local_time() const override { return now; }
    Size primary_display_size() const override { return display; }
    std::unique_ptr<NativeWindow> create_window(const WindowSettings& settings, Rect outer,
                                                WindowEvents& events) override;
    std::unique_ptr<NativeChildArea> create_child_area(NativeWindow& parent, Rect place) override;
    std::unique_ptr<NativeWebView> create_web_view(NativeChildArea& area, Size size) override;
    std::unique_ptr<NativeCountdown> create_countdown(NativeWindow& owner,
                                                      std::function<void()> expired) override;
    void process_pending_events() override;
    void run_event_loop() override;
    void post_quit(int code) override;
    void show_error_box(std::string_view title, std::string_view text) override;
    [[noreturn]] void end_process(int status) override;

private:
    friend class RecordedWindow;
    friend class RecordedCountdown;
    std::function<void()> expired_;
    int countdown_period_ = 0;
    int pending_closes_ = 0;
};

}  // namespace nubeko::testing
