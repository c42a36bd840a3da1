// Entry point of the qv450 configuration and programming tool.
#include "device/link.h"
#include "sim/backend_choice.h"

int main() {
    install_backend_from_environment();
    link_init();
    return 0;
}
