// The platform on GTK 3 and WebKitGTK, on the X11 backend.
#pragma once

#include <glib.h>

#include "app/platform.hpp"

namespace nubeko {

class GtkPlatform final : public Platform {
public:
    // GTK must already be initialised on the X11 backend.
    GtkPlatform();
    GtkPlatform(const GtkPlatform&) = delete;
    GtkPlatform& operator=(const GtkPlatform&) = delete;
    ~GtkPlatform() override;

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
    std::unique_ptr<NativeCountdown> create_countdown(NativeWindow& owner,
                                                      std::function<void()> expired) override;

    void process_pending_events() override;
    void run_event_loop() override;
    void post_quit(int code) override;

    void show_error_box(std::string_view title, std::string_view text) override;
    [[noreturn]] void end_process(int status) override;

private:
    GMainLoop* loop_;
    bool quit_posted_ = false;
};

}  // namespace nubeko
