// The nubeko program on GTK: takes nothing from the command line.
#include <gtk/gtk.h>

#include <cstddef>

#include "app/program.hpp"
#include "platform/gtk/gtk_platform.hpp"

#ifdef NUBEKO_TEST_TEXT_ALLOC_FAILS
namespace {
// A test build: no memory for any text, so the first tick takes the fatal stop.
void* no_memory(std::size_t) { return nullptr; }
}  // namespace
#endif

int main() {
    g_setenv("GDK_SCALE", "1", TRUE);  // geometry is in pixels, whatever the display's scale
    gdk_set_allowed_backends("x11");   // placing a window needs X11 (XWayland under Wayland)
    gtk_init(nullptr, nullptr);
    nubeko::GtkPlatform platform;
#ifdef NUBEKO_TEST_TEXT_ALLOC_FAILS
    return nubeko::run_program(platform, no_memory);
#else
    return nubeko::run_program(platform);
#endif
}
