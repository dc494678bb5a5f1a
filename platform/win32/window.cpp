#include "platform/win32/window.hpp"

#include "platform/win32/wide_text.hpp"

namespace nubeko::win32 {

WindowClass::WindowClass(HINSTANCE instance, const wchar_t* name, WNDPROC procedure, HBRUSH background)
    : instance_(instance) {
    WNDCLASSEXW description{};
    description.cbSize = sizeof description;
    description.lpfnWndProc = procedure;
    description.hInstance = instance;
    description.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    description.hbrBackground = background;
    description.lpszClassName = name;
    atom_ = RegisterClassExW(&description);
}

WindowClass::~WindowClass() {
    if (atom_ != 0) UnregisterClassW(MAKEINTATOM(atom_), instance_);
}

namespace {

std::unique_ptr<Icon> load_icon(HINSTANCE instance, const std::wstring& name, int size) {
    return std::make_unique<Icon>(
        static_cast<HICON>(LoadImageW(instance, name.c_str(), IMAGE_ICON, size, size, LR_DEFAULTCOLOR)));
}

}  // namespace

std::unique_ptr<TopLevelWindow> TopLevelWindow::create(const WindowClass& window_class, HINSTANCE instance,
                                                       const WindowSettings& settings, Rect outer,
                                                       WindowEvents& events) {
    DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU;
    if (settings.minimise_box) style |= WS_MINIMIZEBOX;
    if (settings.maximise_box) style |= WS_MAXIMIZEBOX;
    if (!settings.fixed_frame) style |= WS_THICKFRAME;
    const DWORD extended_style = settings.always_on_top ? WS_EX_TOPMOST : 0;
    // No owner window, so the window has its own taskbar button.
    std::unique_ptr<TopLevelWindow> window(new TopLevelWindow(events));
    const HWND hwnd = CreateWindowExW(extended_style, MAKEINTATOM(window_class.atom()),
                                      to_wide(settings.title).c_str(), style, outer.x, outer.y, outer.width,
                                      outer.height, nullptr, nullptr, instance, window.get());
    if (hwnd == nullptr) return nullptr;

    const std::wstring icon = to_wide(settings.icon);
    window->large_icon_ = load_icon(instance, icon, 32);
    window->small_icon_ = load_icon(instance, icon, 16);  // the same image, scaled down
    SendMessageW(hwnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(window->large_icon_->get()));
    SendMessageW(hwnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(window->small_icon_->get()));
    return window;
}

TopLevelWindow::~TopLevelWindow() {
    // Messages sent while the window goes no longer reach this object.
    SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
    DestroyWindow(hwnd_);
}

TopLevelWindow* TopLevelWindow::containing(const WindowClass& window_class, HWND hwnd) {
    if (hwnd == nullptr) return nullptr;
    const HWND root = GetAncestor(hwnd, GA_ROOT);
    if (root == nullptr || GetClassLongPtrW(root, GCW_ATOM) != window_class.atom()) return nullptr;
    return reinterpret_cast<TopLevelWindow*>(GetWindowLongPtrW(root, GWLP_USERDATA));
}

LRESULT CALLBACK TopLevelWindow::procedure(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_NCCREATE) {
        auto* window = static_cast<TopLevelWindow*>(reinterpret_cast<CREATESTRUCTW*>(lparam)->lpCreateParams);
        window->hwnd_ = hwnd;
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(window));
    }
    auto* window = reinterpret_cast<TopLevelWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (window == nullptr) return DefWindowProcW(hwnd, message, wparam, lparam);
    return window->handle_message(message, wparam, lparam);
}

// Nothing may touch `this` after close_requested(): the core destroys this
// object in it.
LRESULT TopLevelWindow::handle_message(UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
    case WM_ACTIVATE:
        if (LOWORD(wparam) == WA_INACTIVE) {
            const HWND focus = GetFocus();
            if (IsChild(hwnd_, focus)) saved_focus_ = focus;
        }
        break;  // activation sets the focus to the window: WM_SETFOCUS follows
    case WM_SETFOCUS:
        events_.focus_received();
        return 0;
    case WM_CLOSE:
        events_.close_requested();
        return 0;
    case WM_QUERYENDSESSION:
        return events_.close_query() ? TRUE : FALSE;
    case WM_TIMER:
        expire(wparam);
        return 0;
    default:
        break;
    }
    return DefWindowProcW(hwnd_, message, wparam, lparam);
}

Size TopLevelWindow::outer_size() const {
    RECT rect{};
    GetWindowRect(hwnd_, &rect);
    return {rect.right - rect.left, rect.bottom - rect.top};
}

void TopLevelWindow::set_outer_size(Size size) {
    SetWindowPos(hwnd_, nullptr, 0, 0, size.width, size.height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void TopLevelWindow::set_title(std::string_view text) { SetWindowTextW(hwnd_, to_wide(text).c_str()); }

void TopLevelWindow::show_activated() { ShowWindow(hwnd_, SW_SHOWNORMAL); }

void TopLevelWindow::request_close() { PostMessageW(hwnd_, WM_CLOSE, 0, 0); }

bool TopLevelWindow::restore_saved_focus() {
    if (saved_focus_ == nullptr || !IsWindow(saved_focus_) || !IsChild(hwnd_, saved_focus_)) return false;
    SetFocus(saved_focus_);
    return true;
}

UINT_PTR TopLevelWindow::add_countdown(Countdown& countdown) {
    const UINT_PTR id = next_timer_id_++;
    countdowns_.emplace(id, &countdown);
    return id;
}

void TopLevelWindow::remove_countdown(UINT_PTR id) { countdowns_.erase(id); }

void TopLevelWindow::expire(UINT_PTR id) {
    const auto found = countdowns_.find(id);
    if (found != countdowns_.end()) found->second->expire();
}

std::unique_ptr<ChildArea> ChildArea::create(const WindowClass& window_class, HINSTANCE instance, HWND parent,
                                             Rect place) {
    const HWND hwnd = CreateWindowExW(0, MAKEINTATOM(window_class.atom()), nullptr,
                                      WS_CHILD | WS_CLIPSIBLINGS | WS_CLIPCHILDREN, place.x, place.y,
                                      place.width, place.height, parent, nullptr, instance, nullptr);
    if (hwnd == nullptr) return nullptr;
    return std::unique_ptr<ChildArea>(new ChildArea(hwnd));
}

Countdown::Countdown(TopLevelWindow& owner, std::function<void()> expired)
    : owner_(owner), expired_(std::move(expired)), id_(owner.add_countdown(*this)) {}

Countdown::~Countdown() {
    cancel();
    owner_.remove_countdown(id_);
}

void Countdown::start(int period_ms) { SetTimer(owner_.handle(), id_, static_cast<UINT>(period_ms), nullptr); }

void Countdown::cancel() { KillTimer(owner_.handle(), id_); }

}  // namespace nubeko::win32
