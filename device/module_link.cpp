// The program-wide choice of the module link.
#include "device/module_link.h"

#include "device/link.h"

namespace {
FrameLink* chosen = nullptr;
}

FrameLink& module_link() { return chosen ? *chosen : local_link(); }

void set_module_link(FrameLink* link) { chosen = link == &local_link() ? nullptr : link; }

bool module_link_is_remote() { return chosen != nullptr; }
