// The serial command on a module of this computer: standard input to the module's own
// USB serial port, what the port sends back to standard output.
#pragma once

#include <cstdio>
#include <string>

// Passes `input_fd` to the port until the input ends, then copies what the port sends
// until it has been quiet for `quiet_ms`. An ExitStatus: EXIT_NO_MODULE when no port
// opens, EXIT_TRANSFER when a write fails (with a reason in *error).
int pass_local_serial(int input_fd, FILE* out, int quiet_ms, std::string* error);
