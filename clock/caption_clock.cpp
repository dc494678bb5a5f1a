#include "clock/caption_clock.hpp"

#include "app/main_window.hpp"
#include "clock/date_time.hpp"
#include "clock/text.hpp"

namespace nubeko {

void tick_handler(MainWindow& window) {
    const DateTime value = current_date_time(window.platform());
    Text time_text = date_time_to_text(value);
    Text caption = concatenate({caption_prefix, time_text.view()});
    release_text(time_text);
    window.set_caption(caption.view());
    release_text(caption);
}

}  // namespace nubeko
