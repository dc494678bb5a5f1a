// The system's WebBrowser control, embedded in a child area by a minimal
// in-place container of our own.
#pragma once

#include <windows.h>
#include <exdisp.h>
#include <oleidl.h>

#include <memory>

#include "app/platform.hpp"
#include "platform/win32/com_ptr.hpp"

namespace nubeko::win32 {

class WebView final : public NativeWebView {
public:
    // nullptr when the control cannot be created, activated in place, or lacks
    // IWebBrowser2.
    static std::unique_ptr<WebView> create(HWND area, Size size);
    WebView(const WebView&) = delete;
    WebView& operator=(const WebView&) = delete;
    ~WebView() override;

    void focus() override;
    bool set_offline(bool on) override;
    bool set_silent(bool on) override;
    bool set_text_size(int level) override;
    void navigate(std::string_view address) override;

private:
    explicit WebView(ComPtr<IOleObject> object) : object_(std::move(object)) {}

    ComPtr<IOleObject> object_;
    ComPtr<IOleClientSite> site_;
    ComPtr<IWebBrowser2> browser_;
    HWND control_ = nullptr;
};

}  // namespace nubeko::win32
