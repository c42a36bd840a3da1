// The console window: raw commands to the module and the event log view.
#pragma once

// Opens the console, or brings it to the front when it is open.
void open_console();
