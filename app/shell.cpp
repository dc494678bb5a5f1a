#include "app/shell.hpp"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/main_window.hpp"

namespace nubeko {
namespace {

Shell* current_shell = nullptr;

void program_initialisation() {}
void program_end() {}

void* allocate_with_malloc(std::size_t bytes) { return std::malloc(bytes); }

}  // namespace

ProgramRoutines program_routines() { return {program_initialisation, program_end}; }

Shell::Shell(Platform& platform, TextAllocator allocator)
    : platform_(platform), allocate_(allocator != nullptr ? allocator : allocate_with_malloc) {
    current_shell = this;
}

Shell::~Shell() {
    main_window_.reset();
    current_shell = nullptr;
}

Shell& Shell::current() { return *current_shell; }

int Shell::start(const WindowDescription& description, const ProgramRoutines& routines) {
    platform_.initialise_component_system();
    component_system_up_ = true;
    platform_.set_working_directory(platform_.program_file().parent_path());
    if (!readable(description)) fatal_error_stop("载入窗口模板数据段出错!");

    platform_.reset_floating_point();
    routines.initialise();
    register_end_routine(routines.end);

    main_window_ = MainWindow::load(*this, description);
    if (!main_window_) fatal_error_stop("载入启动窗口失败");

    run_event_loop();
    return 0;
}

void Shell::run_event_loop() {
    loop_entered_ = true;
    if (live_windows_ == 0) return;
    platform_.run_event_loop();
}

void Shell::window_destroyed() {
    --live_windows_;
    if (live_windows_ == 0 && loop_entered_) platform_.post_quit(0);
}

void Shell::register_end_routine(EndRoutine routine) {
    if (std::find(end_routines_.begin(), end_routines_.end(), routine) == end_routines_.end())
        end_routines_.push_back(routine);
}

int Shell::orderly_stop() {
    ++suppression_;
    for (const EndRoutine routine : end_routines_) routine();
    end_routines_.clear();
    release_services();
    return 0;
}

void Shell::fatal_error_stop(std::string_view message) {
    ++suppression_;
    // Built without the heap: this stop also reports that memory ran out.
    char report[512];
    const int length = std::snprintf(report, sizeof report, "运行时出错!\r\n\r\n错误信息：%.*s\r\n",
                                     static_cast<int>(message.size()), message.data());
    platform_.show_error_box("错误", {report, static_cast<std::size_t>(std::clamp(length, 0, 511))});
    end_routines_.clear();
    release_services();
    platform_.end_process(-1);
    std::abort();  // end_process does not return
}

void Shell::release_services() {
    if (!component_system_up_) return;
    component_system_up_ = false;
    platform_.shutdown_component_system();
}

int run_program(Platform& platform, TextAllocator allocate) {
    Shell shell(platform, allocate);
    shell.start(built_in_window_description(), program_routines());
    return shell.orderly_stop();
}

}  // namespace nubeko
