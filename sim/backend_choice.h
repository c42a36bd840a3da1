// Chooses the HID backend at start-up: a real module through hidapi, or the simulated
// module when QV450_SIMULATOR is set.
#pragma once

// QV450_SIMULATOR unset or empty: hidapi. "1": a factory-new simulated module held
// in memory. An absolute folder path: a simulated module kept in that folder.
// Anything else is reported on stderr and treated as "1".
void install_backend_from_environment();
