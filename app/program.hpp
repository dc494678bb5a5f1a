// Program entry shared by every platform's main().
#pragma once

#include <cstddef>

#include "app/platform.hpp"

namespace nubeko {

// Obtains memory for a text; returns nullptr when it cannot. Texts are released
// with std::free.
using TextAllocator = void* (*)(std::size_t bytes);

// Runs the start-up sequence, the event loop and the orderly stop; returns the
// exit status (0). A fatal error ends the process through
// Platform::end_process(-1) instead.
int run_program(Platform& platform, TextAllocator allocate = nullptr);

}  // namespace nubeko
