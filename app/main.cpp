// Entry point of the qv450 configuration and programming tool.
#include "app/app.h"

int main(int argc, char** argv) { run_program(argc, argv); }
