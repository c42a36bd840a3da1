// The AUTOFLASH watch's decision.
#include "firmware/autoflash_watch.h"

bool autoflash_due(const AutoflashState& state, bool folder_changed, uint64_t now) {
    return folder_changed || state.newest_time == 0 || (state.due_time != 0 && now >= state.due_time);
}

void autoflash_look(AutoflashState& state, const std::vector<platform::FileStamp>& files, uint64_t now,
                    AutoflashFlash flash) {
    uint64_t old = state.newest_time;
    state.due_time = 0;
    for (const platform::FileStamp& file : files) {
        if (file.write_time > state.newest_time) {
            state.newest_time = file.write_time;
            state.path = state.folder + "/" + file.name;
        }
    }
    // An empty folder at the first look: remember that it was looked at, so that the
    // first file to arrive counts as new.
    if (state.newest_time == 0) old = state.newest_time = 1;
    if (state.newest_time == old || old == 0) return;
    if (now < state.newest_time || now - state.newest_time <= AUTOFLASH_SETTLE_TIME) {
        // Nothing may change in the folder meanwhile: come back when it has settled.
        state.due_time = state.newest_time + AUTOFLASH_SETTLE_TIME + 1;
        state.newest_time = old;
        return;
    }
    const bool reported = state.path == state.unreadable_path && state.newest_time == state.unreadable_time;
    switch (flash(state.path.c_str(), !reported)) {
    case AutoflashTry::DONE:
        return;
    case AutoflashTry::NOT_OPENED:
        state.unreadable_path = state.path;
        state.unreadable_time = state.newest_time;
        break;
    case AutoflashTry::BAD_FILE:
        break;
    }
    state.newest_time = old;
}
