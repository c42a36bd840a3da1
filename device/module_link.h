// The one link the whole program works on: the local module by default, or a module
// reached through the relay when the tool runs as a support console.
#pragma once

#include "device/frame_link.h"

FrameLink& module_link();
// nullptr goes back to the local link. The link must outlive its use.
void set_module_link(FrameLink* link);
// True while the program works on a link other than the local one.
bool module_link_is_remote();
