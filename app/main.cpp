// Entry point of the qv450 configuration and programming tool.
#include "device/link.h"

int main() {
    link_init();
    return 0;
}
