// Waiting for the next module on a link, so that a script can program modules one
// after the other as they are plugged in.
#pragma once

#include <cstdio>

#include "device/frame_link.h"

// Waits until a module is plugged in; a module present at the call counts only after
// it has been unplugged. Looks every `look_ms`; says once on `notes` (when not null)
// what it waits for. Returns with the link closed: the caller opens it. False when
// `stop` (may be null) turns true, after `limit_ms` (0: no limit), or when a module is
// there that this user may not open (link.refused_node() names it): at once for one
// there at the call, after a few seconds for one plugged in meanwhile, which the
// system may still be opening to the user.
bool wait_for_next_module(FrameLink& link, FILE* notes, int look_ms, long limit_ms = 0,
                          const volatile bool* stop = nullptr);
