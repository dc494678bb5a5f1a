#include "app/main_window.hpp"

#include "app/shell.hpp"

namespace nubeko {

KeyAction key_action(Key key, Modifiers m, bool escape_closes) {
    const bool none = !m.ctrl && !m.shift && !m.alt;
    if (key == Key::escape && none && escape_closes) return KeyAction::close;
    if (key == Key::tab && none) return KeyAction::focus_next;
    if (key == Key::tab && m.shift && !m.ctrl && !m.alt) return KeyAction::focus_previous;
    return KeyAction::pass;
}

void created_handler(MainWindow& window) {
    window.clock_timer().set_period(1000);
    window.browser_pane().set_address(start_page_address.data());
}

MainWindow::MainWindow(Shell& shell, const WindowDescription& description)
    : shell_(shell), description_(description) {}

MainWindow::~MainWindow() { destroy(); }

Platform& MainWindow::platform() const { return shell_.platform(); }

std::unique_ptr<MainWindow> MainWindow::load(Shell& shell, const WindowDescription& description) {
    std::unique_ptr<MainWindow> window(new MainWindow(shell, description));
    Platform& platform = shell.platform();

    platform.process_pending_events();
    shell.suppress_events();
    const bool built = window->build();
    if (built) {
        platform.process_pending_events();  // reaches no handler yet
    }
    shell.allow_events();
    if (!built) return nullptr;

    window->raise(EventSource::main_window, Event::created);
    if (window->exists()) {
        window->native_->show_activated();
        window->focus_received();
    }
    return window;
}

bool MainWindow::build() {
    Platform& platform = shell_.platform();
    const WindowSettings& settings = description_.window;
    native_ = platform.create_window(settings, placement(platform.primary_display_size(), settings.outer_size),
                                     *this);
    if (!native_) return false;
    shell_.window_created();
    if (native_->outer_size() != settings.outer_size) native_->set_outer_size(settings.outer_size);

    for (auto unit = description_.units.rbegin(); unit != description_.units.rend(); ++unit) {
        switch (unit->kind) {
        case UnitKind::browser_pane:
            pane_ = BrowserPane::create(platform, *native_, unit->place, description_.pane);
            if (!pane_) return false;
            break;
        case UnitKind::clock_timer:
            timer_ = ClockTimer::create(platform, *native_, description_.timer_period,
                                        [this] { raise(EventSource::clock_timer, Event::tick); });
            if (!timer_) return false;
            break;
        }
    }
    for (const UnitDescription& unit : description_.units)
        if (unit.kind == UnitKind::browser_pane && unit.visible) pane_->show();
    return true;
}

void MainWindow::raise(EventSource source, Event event) {
    if (shell_.events_suppressed()) return;
    for (const EventBinding& binding : description_.bindings)
        if (binding.source == source && binding.event == event) binding.handler(*this);
}

void MainWindow::set_caption(std::string_view text) {
    caption_.assign(text);
    native_->set_title(caption_);
}

bool MainWindow::key_pressed(Key key, Modifiers modifiers) {
    switch (key_action(key, modifiers, description_.escape_closes)) {
    case KeyAction::close:
        native_->request_close();
        return true;
    case KeyAction::focus_next:
    case KeyAction::focus_previous:
        // The pane is the only tab stop, so the focus stays where it is; the
        // key is taken all the same and never reaches the page.
        return true;
    case KeyAction::pass:
        break;
    }
    return false;
}

void MainWindow::focus_received() {
    // Also asked while the units go down with the window: nothing to focus then.
    if (!native_ || !pane_ || native_->restore_saved_focus()) return;
    for (const UnitDescription& unit : description_.units)
        if (unit.kind == UnitKind::browser_pane && unit.tab_stop) pane_->focus();
}

bool MainWindow::close_query() { return true; }  // no handler is bound that could refuse

void MainWindow::close_requested() {
    if (native_ && close_query()) destroy();
}

void MainWindow::destroy() {
    if (!native_) return;
    timer_.reset();
    pane_.reset();
    native_.reset();
    shell_.window_destroyed();
}

}  // namespace nubeko
