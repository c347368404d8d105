#pragma once

// Line speeds that the classic termios interface cannot name (56000,
// 128000, 256000 baud and any other rate without a Bxxx constant), set
// through the Linux termios2 interface with BOTHER. Kept apart from
// <termios.h>, whose definitions clash with the kernel's termios2 header.
class CLineSpeed {
public:
    // Sets input and output speed of the open terminal fd to baud exactly,
    // keeping every other setting. Returns 0 or the errno of the failure.
    static int SetExact(int fd, int baud);
};
