// The application shell: the process-wide state, start-up, the event loop and
// the two ways the program ends.
#pragma once

#include <cstddef>
#include <memory>
#include <string_view>
#include <vector>

#include "app/platform.hpp"
#include "app/program.hpp"
#include "app/window_description.hpp"

namespace nubeko {

class MainWindow;

using EndRoutine = void (*)();

// The program's own initialisation and end routine (both empty in this program).
struct ProgramRoutines {
    void (*initialise)();
    EndRoutine end;
};
ProgramRoutines program_routines();

class Shell {
public:
    // Becomes the process's shell state for its lifetime. A null allocator
    // means std::malloc.
    explicit Shell(Platform& platform, TextAllocator allocator = nullptr);
    Shell(const Shell&) = delete;
    Shell& operator=(const Shell&) = delete;
    ~Shell();

    static Shell& current();

    Platform& platform() const { return platform_; }
    void* allocate(std::size_t bytes) const { return allocate_(bytes); }

    // The start routine: start-up sequence, then the event loop; returns 0.
    int start(const WindowDescription& description, const ProgramRoutines& routines);
    // After the start routine has returned; yields the exit status, 0.
    int orderly_stop();
    [[noreturn]] void fatal_error_stop(std::string_view message);

    // A routine already in the list is not added again.
    void register_end_routine(EndRoutine routine);

    // While raised, no event reaches a handler.
    bool events_suppressed() const { return suppression_ > 0; }
    void suppress_events() { ++suppression_; }
    void allow_events() { --suppression_; }

    void window_created() { ++live_windows_; }
    void window_destroyed();

    MainWindow* main_window() const { return main_window_.get(); }

private:
    void run_event_loop();
    void release_services();

    Platform& platform_;
    TextAllocator allocate_;
    bool component_system_up_ = false;
    int live_windows_ = 0;
    bool loop_entered_ = false;
    std::vector<EndRoutine> end_routines_;
    int suppression_ = 0;
    std::unique_ptr<MainWindow> main_window_;
};

}  // namespace nubeko
