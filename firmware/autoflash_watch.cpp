// The AUTOFLASH watch's decision.
#include "firmware/autoflash_watch.h"

void autoflash_look(AutoflashState& state, const std::vector<platform::FileStamp>& files, uint64_t now,
                    int (*flash)(const char* path)) {
    uint64_t old = state.newest_time;
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
        state.newest_time = old;
        return;
    }
    if (flash(state.path.c_str()) == 0) state.newest_time = old;
}
