#include "app/window_description.hpp"

#include "app/main_window.hpp"
#include "clock/caption_clock.hpp"

#ifndef NUBEKO_SITE_HOST
#error "NUBEKO_SITE_HOST names the picture site's host, fixed at build time"
#endif

namespace nubeko {

const std::string_view start_page_address = "http://" NUBEKO_SITE_HOST "/images/nubeko/index.html";

namespace {

const WindowDescription description{
    .window = {.outer_size = {788, 716}, .title = "", .icon = "DEFAULT_ICON"},
    .escape_closes = true,
    .units = {{
        {UnitKind::clock_timer, {664, 104, 32, 24}, false, true, false, 0},
        {UnitKind::browser_pane, {-8, 0, 792, 688}, true, true, true, 0},
    }},
    .timer_period = 0,
    .pane = {.text_size = 2, .offline = false, .silent = false, .address = start_page_address},
    .bindings = {{
        {EventSource::main_window, Event::created, created_handler},
        {EventSource::clock_timer, Event::tick, tick_handler},
    }},
};

}  // namespace

const WindowDescription& built_in_window_description() { return description; }

bool readable(const WindowDescription& d) {
    int timers = 0;
    int panes = 0;
    int tab_stops = 0;
    for (const UnitDescription& unit : d.units) {
        if (unit.place.width <= 0 || unit.place.height <= 0) return false;
        if (unit.tab_stop) ++tab_stops;
        if (unit.kind == UnitKind::clock_timer) {
            ++timers;
            if (unit.visible || unit.tab_stop) return false;  // a timer shows nothing, takes no input
        } else {
            ++panes;
            if (unit.tab_stop && !(unit.visible && unit.enabled)) return false;
        }
    }
    if (timers != 1 || panes != 1 || tab_stops > 1) return false;
    for (const EventBinding& binding : d.bindings)
        if (binding.handler == nullptr) return false;
    return d.window.outer_size.width > 0 && d.window.outer_size.height > 0;
}

Rect placement(Size display, Size outer) {
    return {(display.width - outer.width) / 2, (display.height - outer.height) / 2, outer.width,
            outer.height};
}

}  // namespace nubeko
