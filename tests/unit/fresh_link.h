// The local link as the program starts with it, whatever an earlier test left: no
// device (a handle of an earlier backend is forgotten, not closed), nothing received,
// event texts to the event log as start-up wires them.
#pragma once

#include "device/link.h"
#include "diag/event_log.h"

inline void start_with_fresh_link() {
    reset_link();
    link_hooks.event_text = log_event_text;
}
