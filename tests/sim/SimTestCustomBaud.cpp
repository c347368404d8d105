// termios2 cannot share a translation unit with <termios.h>.
#include <asm/termbits.h>
#include <sys/ioctl.h>

namespace simtest {

bool SetCustomBaud(int fd, int baud)
{
    struct termios2 settings {};
    if (ioctl(fd, TCGETS2, &settings) != 0)
        return false;
    settings.c_cflag &= ~static_cast<tcflag_t>(CBAUD | (CBAUD << IBSHIFT));
    settings.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
    settings.c_ispeed = settings.c_ospeed = static_cast<speed_t>(baud);
    return ioctl(fd, TCSETS2, &settings) == 0;
}

} // namespace simtest
