#pragma once

// The exit statuses of torv-cli.
namespace CliExit {
enum : int {
    Ok = 0,
    Differs = 1,        // diff found a difference, or the device did not do what was asked
                        // (also: it did not confirm the return to 19200 baud at the end)
    Usage = 2,          // wrong usage, or a value (or a mismatching file without --force) refused
    NoDevice = 3,       // the port is missing, held or not permitted, or no ESC answered
    FileError = 4,      // a file that cannot be read or written
    Network = 5,        // library update: the server cannot be reached or the download broke off
    Interrupted = 130,  // SIGINT, SIGTERM or SIGHUP
};
}
