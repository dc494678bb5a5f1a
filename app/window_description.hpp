// The window description: the fixed data from which the main window is built.
#pragma once

#include <array>
#include <string_view>

#include "app/platform.hpp"
#include "browser/browser_pane.hpp"

namespace nubeko {

class MainWindow;

enum class UnitKind { clock_timer, browser_pane };

struct UnitDescription {
    UnitKind kind;
    Rect place;  // relative to the client area
    bool visible;
    bool enabled;
    bool tab_stop;
    int tab_order;
};

enum class EventSource { main_window, clock_timer };
enum class Event { created, tick };
using Handler = void (*)(MainWindow&);

struct EventBinding {
    EventSource source;
    Event event;
    Handler handler;
};

struct WindowDescription {
    WindowSettings window;
    bool escape_closes;
    std::array<UnitDescription, 2> units;  // built in reverse order
    int timer_period;
    PaneSettings pane;
    std::array<EventBinding, 2> bindings;
};

// "http://", the picture site's host (fixed at build time), then the gallery's path.
extern const std::string_view start_page_address;

const WindowDescription& built_in_window_description();

// Whether a description can be built from: each unit once, every binding
// with a handler, and a visible, enabled pane as the one tab stop.
bool readable(const WindowDescription& description);

// Centred on a display of the given size; truncated toward zero and kept
// when negative.
Rect placement(Size display, Size outer);

}  // namespace nubeko
