#include "browser/browser_pane.hpp"

#include <algorithm>

namespace nubeko {

std::unique_ptr<BrowserPane> BrowserPane::create(Platform& platform, NativeWindow& parent, Rect place,
                                                 const PaneSettings& settings) {
    auto area = platform.create_child_area(parent, place);
    if (!area) return nullptr;
    auto view = platform.create_web_view(*area, {place.width, place.height});
    if (!view) return nullptr;

    std::unique_ptr<BrowserPane> pane(new BrowserPane(std::move(area), std::move(view), settings.address));
    // Outcomes ignored: a view without these switches just keeps its defaults.
    (void)pane->view_->set_offline(settings.offline);
    (void)pane->view_->set_silent(settings.silent);
    (void)pane->view_->set_text_size(std::clamp(settings.text_size, 0, 4));
    if (!pane->address_.empty()) pane->view_->navigate(pane->address_);
    return pane;
}

void BrowserPane::set_address(const char* address) {
    address_ = address != nullptr ? address : "";
    view_->navigate(address_);
}

}  // namespace nubeko
