// Whether remote access is active: while it is, the relay owns the module and event
// texts go to the remote side instead of the event log.
#pragma once

bool remote_access_active();
void set_remote_access_active(bool active);
