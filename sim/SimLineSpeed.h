#pragma once

// The line speed that the other side of a pseudo-terminal set, read on the
// master side (on Linux the master reports the slave's settings). Non-standard
// speeds are read through the termios2 interface. Returns 0 when unknown.
int SimHostBaud(int masterFd);
