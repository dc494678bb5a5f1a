// The program's platform on Windows: Win32 windows and timers, OLE and the
// WebBrowser control.
#pragma once

#include <windows.h>

#include "app/platform.hpp"
#include "platform/win32/window.hpp"

namespace nubeko::win32 {

class Win32Platform final : public Platform {
public:
    explicit Win32Platform(HINSTANCE instance);
    Win32Platform(const Win32Platform&) = delete;
    Win32Platform& operator=(const Win32Platform&) = delete;

    void initialise_component_system() override;
    void shutdown_component_system() override;
    std::filesystem::path program_file() const override;
    void set_working_directory(const std::filesystem::path& folder) override;
    void reset_floating_point() override;

    LocalTime local_time() const override;
    Size primary_display_size() const override;

    std::unique_ptr<NativeWindow> create_window(const WindowSettings& settings, Rect outer,
                                                WindowEvents& events) override;
    std::unique_ptr<NativeChildArea> create_child_area(NativeWindow& parent, Rect place) override;
    std::unique_ptr<NativeWebView> create_web_view(NativeChildArea& area, Size size) override;
    std::unique_ptr<NativeCountdown> create_countdown(NativeWindow& owner, std::function<void()> expired) override;

    void process_pending_events() override;
    void run_event_loop() override;
    void post_quit(int code) override;

    void show_error_box(std::string_view title, std::string_view text) override;
    [[noreturn]] void end_process(int status) override;

private:
    void dispatch(const MSG& message);
    bool taken_by_window(const MSG& message);

    HINSTANCE instance_;
    WindowClass window_class_;
    WindowClass area_class_;
    WPARAM taken_key_ = 0;  // its key-up is dropped as well
};

}  // namespace nubeko::win32
