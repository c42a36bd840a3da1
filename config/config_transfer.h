// Reading, resetting and writing the module's configuration.
#pragma once

// Reads the header and the pin area from the module and shows them in the editor.
void read_configuration();
