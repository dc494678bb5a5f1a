// The once-a-second path: the date-time text form and the whole tick.
#include <benchmark/benchmark.h>

#include "app/shell.hpp"
#include "clock/date_time.hpp"
#include "tests/recording_platform.hpp"

namespace {

using nubeko::testing::RecordingPlatform;

void date_time_to_text(benchmark::State& state) {
    RecordingPlatform platform;
    nubeko::Shell shell(platform);
    double value = 42391.647511574;
    for (auto _ : state) {
        nubeko::Text text = nubeko::date_time_to_text(value);
        benchmark::DoNotOptimize(text.c_str());
        value += 1.0 / 86400.0;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(date_time_to_text);

// Reading the clock, the text form, joining, the caption write and both
// releases, against the recording platform.
void tick(benchmark::State& state) {
    RecordingPlatform platform;
    nubeko::Shell shell(platform);
    platform.in_event_loop = [&](RecordingPlatform& p) {
        for (auto _ : state) {
            p.expire_countdown();
            p.log.clear();
        }
        p.press(nubeko::Key::escape);
    };
    shell.start(nubeko::built_in_window_description(), nubeko::program_routines());
    shell.orderly_stop();
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(tick);

}  // namespace
