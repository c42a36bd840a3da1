// The usage and version texts.
#include "app/command_line.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "i18n/languages.h"

namespace {

const char USAGE[] =
    "usage: qv450 [--lang CODE]\n"
    "       qv450 --relay HOST[:PORT] --session CODE [--token-file FILE] [--ca-file FILE | --insecure]\n"
    "             [--lang CODE]\n"
    "       qv450 --help | --version\n"
    "The QV450 configuration and programming tool. With --relay it is a support console on\n"
    "the module of a remote-access session whose fitter has logged in.\n"
    "options:\n"
    "  --lang CODE           the language of the tool:";

const char OPTIONS[] =
    "  --relay HOST[:PORT]   the relay server's operator port (55556 when none is given)\n"
    "  --session CODE        the session's code, the one the fitter's tool logged in with\n"
    "  --token-file FILE     the operator token: the file's first line (else QV450_OPERATOR_TOKEN)\n"
    "  --ca-file FILE        trust the relay's certificate as signed by this CA (else the\n"
    "                        system's store)\n"
    "  --insecure            plain text, for a relay server without a certificate\n"
    "  --help, --version     this text; the version\n"
    "environment: QV450_SIMULATOR (a simulated module), QV450_RELAY_SERVER (the relay for\n"
    "remote access), QV450_UPDATE_SERVER (the update check's server)\n";

}  // namespace

void answer_help_and_version(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("qv450 %s\n", QV450_VERSION);
            std::exit(0);
        }
        if (std::strcmp(argv[i], "--help") != 0 && std::strcmp(argv[i], "-h") != 0) continue;
        std::fputs(USAGE, stdout);
        for (int l = 0; languages[l].code; ++l) std::printf(" %s", languages[l].code);
        std::printf("\n%s", OPTIONS);
        std::exit(0);
    }
}
