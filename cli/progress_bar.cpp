// Drawing a transfer's progress for a person at a terminal or for a log.
#include "cli/progress_bar.h"

#include <unistd.h>

namespace {

constexpr int BAR_WIDTH = 40;

void report(void* context, int permille) { show_progress(*static_cast<ProgressBar*>(context), permille); }

}  // namespace

ProgressBar progress_bar_for(FILE* out, const char* label) {
    ProgressBar bar;
    bar.out = out;
    bar.terminal = out && isatty(fileno(out));
    bar.label = label;
    return bar;
}

void show_progress(ProgressBar& bar, int permille) {
    if (!bar.out) return;
    if (permille < 0) permille = 0;
    if (permille > 1000) permille = 1000;
    const int step = bar.terminal ? permille / 10 : permille / 100;
    if (step == bar.shown) return;
    bar.shown = step;
    if (!bar.terminal) {
        std::fprintf(bar.out, "%s: %d%%\n", bar.label, step * 10);
    } else {
        char cells[BAR_WIDTH + 1];
        const int filled = permille * BAR_WIDTH / 1000;
        for (int i = 0; i < BAR_WIDTH; ++i) cells[i] = i < filled ? '#' : '.';
        cells[BAR_WIDTH] = '\0';
        std::fprintf(bar.out, "\r%s [%s] %3d%%%s", bar.label, cells, step, permille == 1000 ? "\n" : "");
    }
    std::fflush(bar.out);
}

FlashProgress flash_progress_to(ProgressBar& bar) { return FlashProgress{report, &bar}; }
