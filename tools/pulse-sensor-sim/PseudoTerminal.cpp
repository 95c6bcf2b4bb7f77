#include "PseudoTerminal.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace {

std::string failure(const char *what)
{
    return std::string(what) + ": " + std::strerror(errno);
}

bool makeRaw(int fd)
{
    termios tio {};
    if (::tcgetattr(fd, &tio) != 0)
        return false;
    ::cfmakeraw(&tio);
    ::cfsetispeed(&tio, B9600);
    ::cfsetospeed(&tio, B9600);
    return ::tcsetattr(fd, TCSANOW, &tio) == 0;
}

} // namespace

PseudoTerminal::~PseudoTerminal()
{
    close();
}

bool PseudoTerminal::open(std::string *why)
{
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (master_ < 0) {
        *why = failure("posix_openpt");
        return false;
    }
    if (::grantpt(master_) != 0 || ::unlockpt(master_) != 0) {
        *why = failure("grantpt/unlockpt");
        return false;
    }
    // A new pty cooks its input and echoes it back; a serial line does neither.
    if (!makeRaw(master_)) {
        *why = failure("raw mode");
        return false;
    }
    char name[128];
    if (::ptsname_r(master_, name, sizeof name) != 0) {
        *why = failure("ptsname");
        return false;
    }
    farPath_ = name;
    slave_ = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (slave_ < 0) {
        *why = failure(name);
        return false;
    }
    makeRaw(slave_);
    // Our own open above comes before the watch and is not counted.
    watch_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (watch_ < 0 || ::inotify_add_watch(watch_, name, IN_OPEN | IN_CLOSE) < 0) {
        *why = failure("inotify");
        return false;
    }
    return true;
}

void PseudoTerminal::close()
{
    for (int *fd : {&master_, &slave_, &watch_}) {
        if (*fd >= 0)
            ::close(*fd);
        *fd = -1;
    }
    othersOpen_ = 0;
}

void PseudoTerminal::readWatch()
{
    alignas(inotify_event) char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(watch_, buffer, sizeof buffer);
        if (n <= 0)
            return;
        for (ssize_t at = 0; at < n;) {
            const auto *event = reinterpret_cast<const inotify_event *>(buffer + at);
            if (event->mask & IN_Q_OVERFLOW) {
                // Lost count: assume someone listens, which only costs idle draining.
                othersOpen_ = 1;
            } else if (event->mask & IN_OPEN) {
                ++othersOpen_;
            } else if (event->mask & IN_CLOSE) {
                if (othersOpen_ > 0 && --othersOpen_ == 0)
                    lastOtherClosed();
            }
            at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
        }
    }
}

void PseudoTerminal::lastOtherClosed()
{
    // A program killed with the port open leaves the exclusive-open flag set,
    // and since our handle keeps the line alive, its next open would fail.
    ::ioctl(slave_, TIOCNXCL);
    // A closed port keeps nothing of what arrived meanwhile.
    ::tcflush(slave_, TCIFLUSH);
}
