#include "tests/recording_platform.hpp"

#include <algorithm>

namespace nubeko::testing {
namespace {

std::string rect_text(Rect r) {
    return std::to_string(r.x) + "," + std::to_string(r.y) + " " + std::to_string(r.width) + "x" +
           std::to_string(r.height);
}

}  // namespace

class RecordedWindow final : public NativeWindow {
public:
    RecordedWindow(RecordingPlatform& p, Size outer) : p_(p), outer_(outer) { p_.window_exists = true; }
    ~RecordedWindow() override {
        p_.log.push_back("destroy_window");
        p_.window_exists = false;
    }
    Size outer_size() const override { return outer_; }
    void set_outer_size(Size size) override {
        p_.log.push_back("set_outer_size " + std::to_string(size.width) + "x" + std::to_string(size.height));
        outer_ = size;
    }
    void set_title(std::string_view text) override {
        p_.log.push_back("set_title " + std::string(text));
        p_.title = text;
    }
    void show_activated() override { p_.log.push_back("show_window"); }
    void request_close() override {
        p_.log.push_back("request_close");
        ++p_.pending_closes_;
    }
    bool restore_saved_focus() override {
        p_.log.push_back(p_.saved_focus_exists ? "restore_saved_focus" : "no_saved_focus");
        return p_.saved_focus_exists;
    }

private:
    RecordingPlatform& p_;
    Size outer_;
};

class RecordedChildArea final : public NativeChildArea {
public:
    explicit RecordedChildArea(RecordingPlatform& p) : p_(p) {}
    ~RecordedChildArea() override { p_.log.push_back("destroy_child_area"); }
    void show() override { p_.log.push_back("show_child_area"); }

private:
    RecordingPlatform& p_;
};

class RecordedWebView final : public NativeWebView {
public:
    explicit RecordedWebView(RecordingPlatform& p) : p_(p) {}
    ~RecordedWebView() override {
        p_.log.push_back("destroy_web_view");
        if (p_.focus_returns_when_web_view_goes) p_.window_events->focus_received();
    }
    void focus() override { p_.log.push_back("focus_web_view"); }
    bool set_offline(bool on) override { return record("set_offline ", on); }
    bool set_silent(bool on) override { return record("set_silent ", on); }
    bool set_text_size(int level) override {
        p_.log.push_back("set_text_size " + std::to_string(level));
        return false;  // outcomes are ignored: report failure to prove it
    }
    void navigate(std::string_view address) override { p_.log.push_back("navigate " + std::string(address)); }

private:
    bool record(const char* what, bool on) {
        p_.log.push_back(what + std::to_string(on ? 1 : 0));
        return false;
    }
    RecordingPlatform& p_;
};

class RecordedCountdown final : public NativeCountdown {
public:
    explicit RecordedCountdown(RecordingPlatform& p) : p_(p) {}
    ~RecordedCountdown() override {
        p_.log.push_back("destroy_countdown");
        p_.countdown_period_ = 0;
        p_.expired_ = nullptr;
    }
    void start(int period_ms) override {
        p_.log.push_back("countdown_start " + std::to_string(period_ms));
        p_.countdown_period_ = period_ms;
    }
    void cancel() override {
        p_.log.push_back("countdown_cancel");
        p_.countdown_period_ = 0;
    }

private:
    RecordingPlatform& p_;
};

void RecordingPlatform::expire_countdown() {
    if (countdown_running() && expired_) expired_();
}

void RecordingPlatform::deliver_pending_closes() {
    for (; pending_closes_ > 0; --pending_closes_)
        if (window_exists) window_events->close_requested();
}

bool RecordingPlatform::press(Key key, Modifiers modifiers) { return window_events->key_pressed(key, modifiers); }

std::vector<std::string> RecordingPlatform::entries_starting(std::string_view prefix) const {
    std::vector<std::string> found;
    for (const std::string& entry : log)
        if (entry.starts_with(prefix)) found.push_back(entry);
    return found;
}

std::ptrdiff_t RecordingPlatform::position(std::string_view entry) const {
    const auto it = std::find(log.begin(), log.end(), entry);
    return it == log.end() ? -1 : it - log.begin();
}

void RecordingPlatform::initialise_component_system() { log.push_back("initialise_component_system"); }
void RecordingPlatform::shutdown_component_system() { log.push_back("shutdown_component_system"); }
void RecordingPlatform::set_working_directory(const std::filesystem::path& folder) {
    log.push_back("set_working_directory " + folder.string());
}
void RecordingPlatform::reset_floating_point() { log.push_back("reset_floating_point"); }

std::unique_ptr<NativeWindow> RecordingPlatform::create_window(const WindowSettings& settings, Rect outer,
                                                               WindowEvents& events) {
    log.push_back("create_window " + rect_text(outer) + " title=[" + std::string(settings.title) + "]");
    if (fail_window) return nullptr;
    window_events = &events;
    return std::make_unique<RecordedWindow>(*this, window_comes_out_as.value_or(Size{outer.width, outer.height}));
}

std::unique_ptr<NativeChildArea> RecordingPlatform::create_child_area(NativeWindow&, Rect place) {
    log.push_back("create_child_area " + rect_text(place));
    if (fail_child_area) return nullptr;
    return std::make_unique<RecordedChildArea>(*this);
}

std::unique_ptr<NativeWebView> RecordingPlatform::create_web_view(NativeChildArea&, Size size) {
    log.push_back("create_web_view " + std::to_string(size.width) + "x" + std::to_string(size.height));
    if (fail_web_view) return nullptr;
    return std::make_unique<RecordedWebView>(*this);
}

std::unique_ptr<NativeCountdown> RecordingPlatform::create_countdown(NativeWindow&, std::function<void()> expired) {
    log.push_back("create_countdown");
    if (fail_countdown) return nullptr;
    expired_ = std::move(expired);
    return std::make_unique<RecordedCountdown>(*this);
}

void RecordingPlatform::process_pending_events() { log.push_back("process_pending_events"); }

void RecordingPlatform::run_event_loop() {
    log.push_back("run_event_loop");
    if (in_event_loop) in_event_loop(*this);
    deliver_pending_closes();
    if (!quit_posted) throw std::logic_error("the event loop would wait forever: nothing posted the quit request");
    log.push_back("event_loop_ended");
}

void RecordingPlatform::post_quit(int code) {
    log.push_back("post_quit " + std::to_string(code));
    quit_posted = true;
}

void RecordingPlatform::show_error_box(std::string_view box_title, std::string_view text) {
    log.push_back("error_box " + std::string(box_title) + "|" + std::string(text));
    expire_countdown();  // a tick falling due while the box is up
}

void RecordingPlatform::end_process(int status) {
    log.push_back("end_process " + std::to_string(status));
    throw ProcessEnded{status};
}

}  // namespace nubeko::testing
