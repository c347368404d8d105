// Reads the slave's line speed through the master with termios2; kept apart
// from <termios.h>, which clashes with the kernel's termios2 header.
#include "LinkTestSupport.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

SlaveSpeed ReadSlaveSpeed(int master)
{
    struct termios2 tio {};
    SlaveSpeed result;
    if (ioctl(master, TCGETS2, &tio) != 0)
        return result;
    result.speed = tio.c_ospeed;
    result.other = (tio.c_cflag & CBAUD) == BOTHER;
    return result;
}
