// The wait for the next module, by looking for one at a steady pace.
#include "cli/module_wait.h"

#include "platform/clock.h"

namespace {

bool present(FrameLink& link) {
    const bool found = link.open() != 0;
    link.close();
    return found;
}

// The module opened at the start still answers on the same handle. One unplugged and
// plugged back between two looks comes back on a new handle, and the old one's next
// write fails and closes the link: a short unplug counts too.
bool still_open(FrameLink& link) {
    if (link.mode() == LINK_BOOTLOADER) link.boot_read(2);
    else link.poll_frame();
    return link.is_open();
}

// A module that this user may not open will not become usable by waiting; but one just
// plugged in gets its node first and the user's access to it a moment later, when the
// system's device manager has applied its rules (seconds on a busy machine).
constexpr uint64_t ACCESS_GRACE_MS = 5000;

bool refused(FrameLink& link) { return *link.refused_node() != '\0'; }

}  // namespace

bool wait_for_next_module(FrameLink& link, FILE* notes, int look_ms, long limit_ms, const volatile bool* stop) {
    long waited = 0;
    // A refusal ends the wait at once at the first look, and after ACCESS_GRACE_MS for a
    // module that came while waiting.
    bool first_look = true;
    bool refusal_seen = false;
    uint64_t refusal_final_ms = 0;
    const auto refused_for_good = [&] {
        const bool refused_now = refused(link);
        if (refused_now && !refusal_seen)
            refusal_final_ms = platform::monotonic_ms() + (first_look ? 0 : ACCESS_GRACE_MS);
        refusal_seen = refused_now;
        first_look = false;
        return refused_now && platform::monotonic_ms() >= refusal_final_ms;
    };
    const auto out_of_time = [&] {
        return (stop && *stop) || (limit_ms > 0 && waited >= limit_ms) || refused_for_good();
    };
    const auto pause = [&] {
        platform::sleep_ms(look_ms);
        waited += look_ms;
    };
    const auto note = [notes](const char* text) {
        if (!notes) return;
        std::fprintf(notes, "%s\n", text);
        std::fflush(notes);
    };
    if (link.open() != 0) {
        note("waiting for the module to be unplugged");
        while (still_open(link)) {
            if (out_of_time()) {
                link.close();
                return false;
            }
            pause();
        }
        link.close();
    }
    note("waiting for a module to be plugged in");
    while (!present(link)) {
        if (out_of_time()) return false;
        pause();
    }
    return true;
}
