// The command-line tool on a module of this computer (--local): USB through hidapi,
// or the simulated module when QV450_SIMULATOR is set.
#pragma once

// Runs one command from the program's arguments; returns the ExitStatus.
int run_local_cli(int argc, char** argv);
