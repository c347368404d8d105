#include "SimLineSpeed.h"

// termios2 and the classic termios header cannot share a translation unit.
#include <asm/termbits.h>
#include <sys/ioctl.h>

int SimHostBaud(int masterFd)
{
    struct termios2 settings {};
    if (ioctl(masterFd, TCGETS2, &settings) != 0)
        return 0;
    return static_cast<int>(settings.c_ospeed);
}
