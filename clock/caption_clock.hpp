// The caption clock: the product line and the current date-time in the title bar.
#pragma once

#include <string_view>

namespace nubeko {

class MainWindow;

// "Nubeko2.0", 46 spaces, "时间：".
inline constexpr std::string_view caption_prefix =
    "Nubeko2.0                                              时间：";

// Bound to the clock timer's tick: writes the caption prefix and the current
// local date-time as the main window's caption.
void tick_handler(MainWindow& window);

}  // namespace nubeko
