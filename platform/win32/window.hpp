// Native windows of the Win32 backend: the main window, child areas and the
// countdowns that tick on a top-level window.
#pragma once

#include <windows.h>

#include <functional>
#include <map>
#include <memory>

#include "app/platform.hpp"

namespace nubeko::win32 {

// A registered window class, unregistered when it goes.
class WindowClass {
public:
    WindowClass(HINSTANCE instance, const wchar_t* name, WNDPROC procedure, HBRUSH background);
    WindowClass(const WindowClass&) = delete;
    WindowClass& operator=(const WindowClass&) = delete;
    ~WindowClass();
    ATOM atom() const { return atom_; }

private:
    HINSTANCE instance_;
    ATOM atom_;
};

class Icon {
public:
    explicit Icon(HICON handle) : handle_(handle) {}
    Icon(const Icon&) = delete;
    Icon& operator=(const Icon&) = delete;
    ~Icon() {
        if (handle_ != nullptr) DestroyIcon(handle_);
    }
    HICON get() const { return handle_; }

private:
    HICON handle_;
};

class Countdown;

class TopLevelWindow final : public NativeWindow {
public:
    static LRESULT CALLBACK procedure(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
    static std::unique_ptr<TopLevelWindow> create(const WindowClass& window_class, HINSTANCE instance,
                                              const WindowSettings& settings, Rect outer,
                                              WindowEvents& events);
    // The top-level window of ours that `hwnd` is or lies inside, if any.
    static TopLevelWindow* containing(const WindowClass& window_class, HWND hwnd);
    TopLevelWindow(const TopLevelWindow&) = delete;
    TopLevelWindow& operator=(const TopLevelWindow&) = delete;
    ~TopLevelWindow() override;

    Size outer_size() const override;
    void set_outer_size(Size size) override;
    void set_title(std::string_view text) override;
    void show_activated() override;
    void request_close() override;
    bool restore_saved_focus() override;

    HWND handle() const { return hwnd_; }
    WindowEvents& events() const { return events_; }
    UINT_PTR add_countdown(Countdown& countdown);
    void remove_countdown(UINT_PTR id);

private:
    explicit TopLevelWindow(WindowEvents& events) : events_(events) {}
    LRESULT handle_message(UINT message, WPARAM wparam, LPARAM lparam);
    void expire(UINT_PTR id);

    WindowEvents& events_;
    HWND hwnd_ = nullptr;
    HWND saved_focus_ = nullptr;
    std::unique_ptr<Icon> large_icon_;
    std::unique_ptr<Icon> small_icon_;
    std::map<UINT_PTR, Countdown*> countdowns_;
    UINT_PTR next_timer_id_ = 1;
};

class ChildArea final : public NativeChildArea {
public:
    static std::unique_ptr<ChildArea> create(const WindowClass& window_class, HINSTANCE instance,
                                             HWND parent, Rect place);
    ChildArea(const ChildArea&) = delete;
    ChildArea& operator=(const ChildArea&) = delete;
    ~ChildArea() override { DestroyWindow(hwnd_); }

    void show() override { ShowWindow(hwnd_, SW_SHOW); }
    HWND handle() const { return hwnd_; }

private:
    explicit ChildArea(HWND hwnd) : hwnd_(hwnd) {}
    HWND hwnd_;
};

// A Win32 timer on a top-level window; WM_TIMER never queues up.
class Countdown final : public NativeCountdown {
public:
    Countdown(TopLevelWindow& owner, std::function<void()> expired);
    Countdown(const Countdown&) = delete;
    Countdown& operator=(const Countdown&) = delete;
    ~Countdown() override;

    void start(int period_ms) override;
    void cancel() override;
    void expire() { expired_(); }

private:
    TopLevelWindow& owner_;
    std::function<void()> expired_;
    UINT_PTR id_;
};

}  // namespace nubeko::win32
