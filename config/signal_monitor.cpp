// The signal monitor window.
#include "config/signal_monitor.h"

void open_signal_monitor() {}

bool signal_monitor_open() { return false; }

void update_signal_monitor() {}

void destroy_signal_monitor() {}
