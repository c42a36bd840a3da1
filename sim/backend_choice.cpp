// Installing the simulated module when QV450_SIMULATOR asks for it.
#include "sim/backend_choice.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#include "sim/sim_backend.h"
#include "sim/sim_serial_port.h"

namespace {
SimModule* module = nullptr;
SimBackend* backend = nullptr;
}

void install_backend_from_environment() {
    const char* value = std::getenv("QV450_SIMULATOR");
    if (!value || !*value) return;

    // Lives until the program ends, like a module on the desk.
    SimSettings demo;
    demo.demo = true;
    module = new SimModule(demo);
    const std::string setting = value;
    if (setting[0] == '/') {
        std::string error;
        if (!module->attach_folder(setting, &error)) {
            std::fprintf(stderr, "qv450: QV450_SIMULATOR: %s; using a module held in memory\n",
                         error.c_str());
        }
    } else if (setting != "1") {
        std::fprintf(stderr,
                     "qv450: QV450_SIMULATOR is neither 1 nor an absolute folder path; "
                     "using a module held in memory\n");
    }
    backend = new SimBackend(*module);
    install_hid_backend(backend);
    install_simulated_serial_port();
}

