// The command-line tool's exit statuses, one per kind of outcome a script can act on.
#pragma once

enum ExitStatus {
    EXIT_DONE = 0,              // the module ended as asked
    EXIT_FAILED = 1,            // anything else: the relay connection, an unexpected reply
    EXIT_USAGE = 2,             // bad options or command
    EXIT_NO_MODULE = 3,         // no module found (or none at the fitter's tool)
    EXIT_TRANSFER = 4,          // the module refused or did not answer a transfer
    EXIT_BAD_FILE = 5,          // a file that cannot be read or is not what it claims
    EXIT_VARIANT_DECLINED = 6,  // the configuration needs another firmware variant and
                                // the change was not allowed: nothing written
};
