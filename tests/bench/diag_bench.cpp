// Benchmark: the diagnostic windows on the demo module. Prints (1) the cost of
// appending a line to a full event log shown in the console's view, with the view's
// own update and scroll: CPU time per line, on average and at the 99th percentile,
// against a floor of 5 ms (CPU time, unlike the time on the clock, does not count
// the moments a shared machine gives the core to others), and (2) the CPU share of
// the running tool with the console and the signal monitor open on the demo module,
// on the real clock, against a floor of 5% of one core. Needs a display.
#include <sys/resource.h>
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/app.h"
#include "config/signal_monitor.h"
#include "diag/console.h"
#include "diag/event_log.h"
#include "sim/sim_backend.h"

namespace {

using Steady = std::chrono::steady_clock;

constexpr double APPEND_FLOOR_MS = 5.0;
constexpr double CPU_FLOOR_PERCENT = 5.0;

double seconds_since(Steady::time_point start) {
    return std::chrono::duration<double>(Steady::now() - start).count();
}

// CPU time of this thread, in milliseconds.
double thread_cpu_ms() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) * 1e3 + double(ts.tv_nsec) / 1e6;
}

// The value below which `share` of the figures lie (sorts them).
double percentile(std::vector<double>& figures, double share) {
    if (figures.empty()) return 0;
    std::sort(figures.begin(), figures.end());
    return figures[std::min(figures.size() - 1, size_t(share * double(figures.size())))];
}

double cpu_seconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

void log_line(const std::string& line) {
    log_message(LOG_RECEIVED, reinterpret_cast<const uint8_t*>(line.data()), int(line.size()));
}

void process_events() {
    while (gtk_events_pending()) gtk_main_iteration();
}

// Appends lines to a log kept full (every 50000 bytes the oldest are cut and the view
// rebuilt), each followed by the GUI work it causes.
void measure_appends() {
    const std::string line = "1* DOOR Front left door opened, line of a full log\n";
    while (event_log.log_end < LOG_CAPACITY - LOG_MIN_FREE - 200) log_line(line);
    open_console();
    process_events();
    constexpr int LINES = 3000;  // several cuts
    std::vector<double> cpu_ms;
    double wall_total = 0, worst_cut = 0;
    int cuts = 0;
    for (int i = 0; i < LINES; ++i) {
        const int before = event_log.log_end;
        const auto start = Steady::now();
        const double cpu_start = thread_cpu_ms();
        log_line(line);
        process_events();
        const double cpu = thread_cpu_ms() - cpu_start;
        const double wall = seconds_since(start) * 1000.0;
        if (event_log.log_end < before) {
            ++cuts;
            worst_cut = std::max(worst_cut, cpu);
        } else {
            cpu_ms.push_back(cpu);
            wall_total += wall;
        }
    }
    double cpu_total = 0;
    for (double ms : cpu_ms) cpu_total += ms;
    const double p99 = percentile(cpu_ms, 0.99);
    std::printf("append a line to a full log shown in the console: CPU %.3f ms on average, %.3f ms at the "
                "99th percentile (clock %.3f ms on average); floor %.1f ms: %s\n",
                cpu_total / double(cpu_ms.size()), p99, wall_total / double(cpu_ms.size()), APPEND_FLOOR_MS,
                p99 <= APPEND_FLOOR_MS ? "met" : "NOT MET");
    std::printf("the line that cuts the oldest %d bytes and rebuilds the view (%d times): CPU %.2f ms at worst\n",
                LOG_CUT, cuts, worst_cut);
}

// The tool's own loop with both windows open, the demo changing signals and texts.
void measure_cpu(double seconds) {
    open_signal_monitor();
    open_console();
    process_events();
    const double cpu_start = cpu_seconds();
    const auto start = Steady::now();
    int passes = 0;
    while (seconds_since(start) < seconds) {
        main_loop_pass();
        ++passes;
    }
    const double wall = seconds_since(start);
    const double percent = (cpu_seconds() - cpu_start) / wall * 100.0;
    std::printf("console and signal monitor open on the demo module: %.2f%% of one core over %.0f s "
                "(%d loop passes); floor %.1f%%: %s\n",
                percent, wall, passes, CPU_FLOOR_PERCENT, percent <= CPU_FLOOR_PERCENT ? "met" : "NOT MET");
}

}  // namespace

int main(int argc, char** argv) {
    if (!gtk_init_check(&argc, &argv)) {
        std::fprintf(stderr, "diag_bench: needs a display (try xvfb-run)\n");
        return 1;
    }
    const double seconds = argc > 1 ? std::atof(argv[1]) : 20.0;
    SimSettings demo;
    demo.demo = true;
    SimModule module(demo);
    SimBackend backend(module);
    install_hid_backend(&backend);
    build_main_window(nullptr);
    gtk_widget_show(main_window.window);
    for (int i = 0; i < 100 && connection_state != CONNECTED; ++i) main_loop_pass();
    if (connection_state != CONNECTED) {
        std::fprintf(stderr, "diag_bench: the demo module did not connect\n");
        return 1;
    }
    measure_appends();
    close_console();
    measure_cpu(seconds);
    return 0;
}
