// The console window.
#include "diag/console.h"

void open_console() {}
