// The main window: built once from the window description, then holds still.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "app/platform.hpp"
#include "app/window_description.hpp"
#include "browser/browser_pane.hpp"
#include "clock/clock_timer.hpp"

namespace nubeko {

class Shell;

// What the key pre-processing does with a key press.
enum class KeyAction { pass, close, focus_next, focus_previous };
KeyAction key_action(Key key, Modifiers modifiers, bool escape_closes);

// Bound to the main window's created event: starts the clock, then gives the
// pane the start page.
void created_handler(MainWindow& window);

class MainWindow final : public WindowEvents {
public:
    // Builds the window and its units, raises the created event and shows the
    // window. Returns nullptr when the window or a unit cannot be made.
    static std::unique_ptr<MainWindow> load(Shell& shell, const WindowDescription& description);
    MainWindow(const MainWindow&) = delete;
    MainWindow& operator=(const MainWindow&) = delete;
    ~MainWindow();

    Platform& platform() const;
    bool exists() const { return native_ != nullptr; }
    ClockTimer& clock_timer() { return *timer_; }
    BrowserPane& browser_pane() { return *pane_; }

    // The window keeps its own copy and rewrites the title bar on every call.
    void set_caption(std::string_view text);
    const std::string& caption() const { return caption_; }

    bool key_pressed(Key key, Modifiers modifiers) override;
    void focus_received() override;
    void close_requested() override;
    bool close_query() override;

private:
    MainWindow(Shell& shell, const WindowDescription& description);
    bool build();
    void raise(EventSource source, Event event);
    void destroy();

    Shell& shell_;
    const WindowDescription& description_;
    std::unique_ptr<NativeWindow> native_;
    std::unique_ptr<BrowserPane> pane_;
    std::unique_ptr<ClockTimer> timer_;
    std::string caption_;
};

}  // namespace nubeko
