#include "platform/win32/win32_platform.hpp"

#include <float.h>
#include <ole2.h>

#include <string>

#include "platform/win32/web_view.hpp"
#include "platform/win32/wide_text.hpp"

namespace nubeko::win32 {

namespace {

Key key_of(WPARAM virtual_key) {
    switch (virtual_key) {
    case VK_ESCAPE:
        return Key::escape;
    case VK_TAB:
        return Key::tab;
    default:
        return Key::other;
    }
}

bool pressed(int virtual_key) { return GetKeyState(virtual_key) < 0; }

}  // namespace

Win32Platform::Win32Platform(HINSTANCE instance)
    : instance_(instance),
      window_class_(instance, L"Nubeko", TopLevelWindow::procedure, reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1)),
      area_class_(instance, L"NubekoPane", DefWindowProcW, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH))) {}

void Win32Platform::initialise_component_system() { OleInitialize(nullptr); }

void Win32Platform::shutdown_component_system() { OleUninitialize(); }

std::filesystem::path Win32Platform::program_file() const {
    std::wstring name(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, name.data(), static_cast<DWORD>(name.size()));
        if (length < name.size()) {
            name.resize(length);
            return name;
        }
        name.resize(name.size() * 2);
    }
}

void Win32Platform::set_working_directory(const std::filesystem::path& folder) {
    SetCurrentDirectoryW(folder.c_str());
}

void Win32Platform::reset_floating_point() {
    _fpreset();
#if defined(__i386__)
    _controlfp(_PC_64, _MCW_PC);  // x87 precision control exists on 32-bit x86 only
#endif
}

LocalTime Win32Platform::local_time() const {
    SYSTEMTIME now;
    GetLocalTime(&now);
    return {now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond};
}

Size Win32Platform::primary_display_size() const {
    return {GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
}

std::unique_ptr<NativeWindow> Win32Platform::create_window(const WindowSettings& settings, Rect outer,
                                                           WindowEvents& events) {
    return TopLevelWindow::create(window_class_, instance_, settings, outer, events);
}

std::unique_ptr<NativeChildArea> Win32Platform::create_child_area(NativeWindow& parent, Rect place) {
    return ChildArea::create(area_class_, instance_, static_cast<TopLevelWindow&>(parent).handle(), place);
}

std::unique_ptr<NativeWebView> Win32Platform::create_web_view(NativeChildArea& area, Size size) {
    return WebView::create(static_cast<ChildArea&>(area).handle(), size);
}

std::unique_ptr<NativeCountdown> Win32Platform::create_countdown(NativeWindow& owner,
                                                                 std::function<void()> expired) {
    return std::make_unique<Countdown>(static_cast<TopLevelWindow&>(owner), std::move(expired));
}

// Key pre-processing: a key press addressed to one of our top-level windows or
// anything inside it (the control's own windows too) goes to the window first.
// A key it takes is dropped, down and up, before translation, so it never
// reaches its target; the control's own accelerators are never consulted.
bool Win32Platform::taken_by_window(const MSG& message) {
    switch (message.message) {
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN: {
        TopLevelWindow* window = TopLevelWindow::containing(window_class_, message.hwnd);
        if (window == nullptr) return false;
        const Modifiers modifiers{pressed(VK_CONTROL), pressed(VK_SHIFT), pressed(VK_MENU)};
        if (!window->events().key_pressed(key_of(message.wParam), modifiers)) return false;
        taken_key_ = message.wParam;
        return true;
    }
    case WM_KEYUP:
    case WM_SYSKEYUP:
        if (taken_key_ == 0 || message.wParam != taken_key_) return false;
        taken_key_ = 0;
        return true;
    default:
        return false;
    }
}

void Win32Platform::dispatch(const MSG& message) {
    if (taken_by_window(message)) return;
    TranslateMessage(&message);
    DispatchMessageW(&message);
}

void Win32Platform::process_pending_events() {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(message.wParam));  // left for the event loop
            return;
        }
        dispatch(message);
    }
}

void Win32Platform::run_event_loop() {
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) dispatch(message);
}

void Win32Platform::post_quit(int code) { PostQuitMessage(code); }

void Win32Platform::show_error_box(std::string_view title, std::string_view text) {
    MessageBoxW(nullptr, to_wide(text).c_str(), to_wide(title).c_str(), MB_ICONERROR | MB_OK);
}

void Win32Platform::end_process(int status) { ExitProcess(static_cast<UINT>(status)); }

}  // namespace nubeko::win32
