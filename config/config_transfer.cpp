// Configuration transfer between the module and the editor.
#include "config/config_transfer.h"

void read_configuration() {}
