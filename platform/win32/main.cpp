#include <windows.h>

#include "app/program.hpp"
#include "platform/win32/win32_platform.hpp"

// The command line and the show state are ignored: the window always opens
// normal and activated.
int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    nubeko::win32::Win32Platform platform(instance);
    return nubeko::run_program(platform);
}
