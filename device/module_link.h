// The one link the whole program works on: the local module by default, or a module
// reached through the relay when the tool runs as a support console.
#pragma once

#include "device/frame_link.h"

FrameLink& module_link();
// nullptr goes back to the local link. The link must outlive its use.
void set_module_link(FrameLink* link);
// True while the program works on a link other than the local one.
bool module_link_is_remote();

// True while an exchange on the module link lets the GUI handle its events (a relay
// link's wait, or a flash behind its progress window): an action started from such an
// event (a screen reader's gets past the input grab) would run inside that exchange and
// take its answers, so the GUI ignores it, as it ignores a click then.
bool module_link_busy();

// Marks a local exchange that handles events, for the length of its scope.
class ModuleLinkBusy {
public:
    ModuleLinkBusy();
    ~ModuleLinkBusy();
    ModuleLinkBusy(const ModuleLinkBusy&) = delete;
    ModuleLinkBusy& operator=(const ModuleLinkBusy&) = delete;
};
