// A shell over the recording platform, with an allocator the test controls.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <vector>

#include "app/main_window.hpp"
#include "app/shell.hpp"
#include "tests/recording_platform.hpp"

namespace nubeko::testing {

class ProgramFixture : public ::testing::Test {
protected:
    ProgramFixture() {
        allocation_sizes = nullptr;
        fail_allocation_of = std::nullopt;
        initialised = 0;
        ended = 0;
    }

    // Start-up, event loop and orderly stop, as the program entry runs them;
    // yields the exit status, also when the process is ended by a fatal stop.
    // The test acts as the user from platform.in_event_loop.
    int run(const WindowDescription& description = built_in_window_description()) {
        try {
            shell.start(description, {initialise, end_routine});
            return shell.orderly_stop();
        } catch (const ProcessEnded& stop) {
            return stop.status;
        }
    }

    MainWindow& window() { return *shell.main_window(); }

    static void* allocate(std::size_t bytes) {
        if (allocation_sizes != nullptr) allocation_sizes->push_back(bytes);
        if (fail_allocation_of && (*fail_allocation_of == 0 || *fail_allocation_of == bytes)) return nullptr;
        return std::malloc(bytes);
    }
    static void initialise() { ++initialised; }
    static void end_routine() { ++ended; }

    static inline std::vector<std::size_t>* allocation_sizes = nullptr;
    static inline std::optional<std::size_t> fail_allocation_of;  // 0: every allocation fails
    static inline int initialised = 0;
    static inline int ended = 0;

    RecordingPlatform platform;
    Shell shell{platform, allocate};
};

}  // namespace nubeko::testing
