// The one seam between the program's rules and a windowing system.
//
// Everything the program decides (order of start-up, the window description,
// keys and focus, the timer's period rules, the caption, the pane's creation
// steps) lives in portable code. A platform only supplies the primitives
// below. Each backend implements Platform once; the tests implement it with a
// recording platform that logs every call.
//
// Texts cross the seam as UTF-8. Geometry is in pixels at 100 % scaling.
#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <string_view>

namespace nubeko {

struct Size {
    int width = 0;
    int height = 0;
    friend bool operator==(const Size&, const Size&) = default;
};

struct Rect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    friend bool operator==(const Rect&, const Rect&) = default;
};

// The local wall clock, to the whole second.
struct LocalTime {
    int year = 1970;
    int month = 1;
    int day = 1;
    int hour = 0;
    int minute = 0;
    int second = 0;
};

// The keys the main window's key pre-processing tells apart; every other key
// is `other` and passes unchanged.
enum class Key { escape, tab, other };

struct Modifiers {
    bool ctrl = false;
    bool shift = false;
    bool alt = false;
};

enum class Background { button_face };

// The main window's fixed settings, read from the window description.
struct WindowSettings {
    Size outer_size;
    std::string_view title;  // empty until the first tick
    std::string_view icon;   // resource name of the 32x32 icon
    bool fixed_frame = true;
    bool minimise_box = true;
    bool maximise_box = false;
    bool own_taskbar_button = true;
    bool always_on_top = false;
    Background background = Background::button_face;
};

// What a native top-level window reports to the main window. All calls come
// on the event-loop thread.
class WindowEvents {
public:
    // Every key press addressed to the window or anything inside it, before
    // it is delivered. Returns true when the key is taken: it must then never
    // reach its target. The answer depends only on key and modifiers, so a
    // backend may ask twice for the same press.
    virtual bool key_pressed(Key key, Modifiers modifiers) = 0;
    // The top-level window itself received the keyboard focus (shown or
    // activated again).
    virtual void focus_received() = 0;
    // Close box, window menu, system close keystroke, task bar: one request.
    virtual void close_requested() = 0;
    // Log-off or shutdown asks whether the window may close.
    virtual bool close_query() = 0;

protected:
    ~WindowEvents() = default;
};

class NativeWindow {
public:
    virtual ~NativeWindow() = default;  // destroys the native window
    virtual Size outer_size() const = 0;
    virtual void set_outer_size(Size size) = 0;
    virtual void set_title(std::string_view text) = 0;
    virtual void show_activated() = 0;
    // Makes the same close request as the close box (may be delivered later,
    // through the event loop, as close_requested).
    virtual void request_close() = 0;
    // Gives the focus back to the child that held it when the window last lost
    // its activation. False when there is none or it no longer exists.
    virtual bool restore_saved_focus() = 0;
};

// A plain child area of the main window, white, without border or title,
// created hidden at a place relative to the client area and clipped by it.
class NativeChildArea {
public:
    virtual ~NativeChildArea() = default;
    virtual void show() = 0;
};

// The embedded web view, covering its child area.
class NativeWebView {
public:
    virtual ~NativeWebView() = default;  // releases and destroys the view
    virtual void focus() = 0;
    // Switches and the text-size command may fail; callers ignore the result.
    virtual bool set_offline(bool on) = 0;
    virtual bool set_silent(bool on) = 0;
    virtual bool set_text_size(int level) = 0;  // 0 (smallest) .. 4 (largest)
    virtual void navigate(std::string_view address) = 0;
};

// A periodic countdown delivered on the event-loop thread. Ticks never queue
// up: a missed period is not made up.
class NativeCountdown {
public:
    virtual ~NativeCountdown() = default;  // cancels
    virtual void start(int period_ms) = 0; // (re)arms, repeating
    virtual void cancel() = 0;
};

class Platform {
public:
    virtual ~Platform() = default;

    // Process-wide services.
    virtual void initialise_component_system() = 0;
    virtual void shutdown_component_system() = 0;
    virtual std::filesystem::path program_file() const = 0;
    virtual void set_working_directory(const std::filesystem::path& folder) = 0;
    virtual void reset_floating_point() = 0;

    virtual LocalTime local_time() const = 0;
    virtual Size primary_display_size() const = 0;

    // Each returns nullptr when the native object cannot be made.
    virtual std::unique_ptr<NativeWindow> create_window(const WindowSettings& settings, Rect outer,
                                                        WindowEvents& events) = 0;
    virtual std::unique_ptr<NativeChildArea> create_child_area(NativeWindow& parent, Rect place) = 0;
    virtual std::unique_ptr<NativeWebView> create_web_view(NativeChildArea& area, Size size) = 0;
    virtual std::unique_ptr<NativeCountdown> create_countdown(NativeWindow& owner,
                                                              std::function<void()> expired) = 0;

    // Event loop.
    virtual void process_pending_events() = 0;
    virtual void run_event_loop() = 0;  // returns once it has taken the quit request
    virtual void post_quit(int code) = 0;

    // Blocks until dismissed: no owner, error icon, one OK button.
    virtual void show_error_box(std::string_view title, std::string_view text) = 0;
    [[noreturn]] virtual void end_process(int status) = 0;
};

}  // namespace nubeko
