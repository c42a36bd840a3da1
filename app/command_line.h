// The program's own command-line answers: --help and --version print and end the
// program before anything needs a display, as Linux programs do.
#pragma once

// With --help (or -h) prints the usage, with --version the version, on standard
// output, and exits 0; otherwise returns.
void answer_help_and_version(int argc, char** argv);
