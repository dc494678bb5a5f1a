// The browser pane: a child area of the main window holding the web view.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "app/platform.hpp"

namespace nubeko {

struct PaneSettings {
    int text_size = 2;  // 0 (smallest) .. 4 (largest); clamped
    bool offline = false;
    bool silent = false;
    std::string_view address;  // opened when the pane is created
};

class BrowserPane {
public:
    // Makes the area, embeds the web view, applies the settings and opens the
    // stored address. Returns nullptr when the area or the web view cannot be
    // made; what was already made is destroyed.
    static std::unique_ptr<BrowserPane> create(Platform& platform, NativeWindow& parent, Rect place,
                                               const PaneSettings& settings);
    BrowserPane(const BrowserPane&) = delete;
    BrowserPane& operator=(const BrowserPane&) = delete;
    ~BrowserPane() = default;  // the web view first, then the area

    void show() { area_->show(); }
    void focus() { view_->focus(); }  // handed straight on to the web view

    // Stores the address and navigates to it: no check, every call navigates.
    void set_address(const char* address);
    const std::string& address() const { return address_; }

private:
    BrowserPane(std::unique_ptr<NativeChildArea> area, std::unique_ptr<NativeWebView> view,
                std::string_view address)
        : area_(std::move(area)), view_(std::move(view)), address_(address) {}

    std::unique_ptr<NativeChildArea> area_;  // declared first: destroyed last
    std::unique_ptr<NativeWebView> view_;
    std::string address_;
};

}  // namespace nubeko
