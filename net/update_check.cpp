// The update check.
#include "net/update_check.h"

const char* check_for_updates() { return nullptr; }
