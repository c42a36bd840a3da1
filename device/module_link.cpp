// The program-wide choice of the module link.
#include "device/module_link.h"

#include "device/link.h"

namespace {
FrameLink* chosen = nullptr;
int busy_scopes = 0;  // ModuleLinkBusy scopes open
}

FrameLink& module_link() { return chosen ? *chosen : local_link(); }

void set_module_link(FrameLink* link) { chosen = link == &local_link() ? nullptr : link; }

bool module_link_is_remote() { return chosen != nullptr; }

bool module_link_busy() { return busy_scopes > 0 || module_link().busy(); }

ModuleLinkBusy::ModuleLinkBusy() { ++busy_scopes; }

ModuleLinkBusy::~ModuleLinkBusy() { --busy_scopes; }
