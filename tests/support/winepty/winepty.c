/* Lets Wine serve a pseudo-terminal as a serial port, for the tests only.
 *
 * Loaded with LD_PRELOAD into both wineserver and wine. A pty has no modem
 * lines, and Wine cancels a pending WaitCommEvent when it cannot read them,
 * so this:
 *  - answers TIOCMGET on a pty with CTS, DSR and DCD up, and with EIO once
 *    the other end has closed (the adapter was pulled);
 *  - lets the modem-line set ioctls succeed;
 *  - adds O_NOCTTY to every open, so that the wineserver never takes a pty
 *    as its controlling terminal (it would die of SIGHUP at unplug);
 *  - holds a pty exclusively, as Windows holds a COM port: a second open of
 *    the same pty fails with EACCES (Windows: access denied).
 */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <stdarg.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

enum { MaxHeld = 64 };

static pthread_mutex_t lock = PTHREAD_MUTEX_INITIALIZER;
static struct {
    int fd;
    dev_t device;
} held[MaxHeld];
static int heldCount;

/* Slave sides of Unix 98 ptys. */
static int isPty(int fd, dev_t *device)
{
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISCHR(st.st_mode))
        return 0;
    if (major(st.st_rdev) < 136 || major(st.st_rdev) > 143)
        return 0;
    if (device)
        *device = st.st_rdev;
    return 1;
}

/* Takes a freshly opened pty for this process; closes it and fails if it
 * is held already. */
static int hold(int fd)
{
    dev_t device;
    if (fd < 0 || !isPty(fd, &device))
        return fd;
    pthread_mutex_lock(&lock);
    for (int i = 0; i < heldCount;) {
        /* An entry whose descriptor was closed behind our back is stale. */
        dev_t now;
        if (held[i].fd == fd || !isPty(held[i].fd, &now) || now != held[i].device)
            held[i] = held[--heldCount];
        else
            ++i;
    }
    for (int i = 0; i < heldCount; ++i) {
        if (held[i].device == device) {
            pthread_mutex_unlock(&lock);
            static int (*realClose)(int);
            if (!realClose)
                realClose = (int (*)(int))dlsym(RTLD_NEXT, "close");
            realClose(fd);
            errno = EACCES;
            return -1;
        }
    }
    if (heldCount < MaxHeld) {
        held[heldCount].fd = fd;
        held[heldCount].device = device;
        ++heldCount;
    }
    pthread_mutex_unlock(&lock);
    return fd;
}

static void release(int fd)
{
    pthread_mutex_lock(&lock);
    for (int i = 0; i < heldCount; ++i) {
        if (held[i].fd == fd) {
            held[i] = held[--heldCount];
            break;
        }
    }
    pthread_mutex_unlock(&lock);
}

#define OPEN_WRAPPER(name, ...)                                                                    \
    {                                                                                              \
        mode_t mode = 0;                                                                           \
        if (flags & (O_CREAT | O_TMPFILE)) {                                                       \
            va_list ap;                                                                            \
            va_start(ap, flags);                                                                   \
            mode = va_arg(ap, mode_t);                                                             \
            va_end(ap);                                                                            \
        }                                                                                          \
        static int (*real)();                                                                      \
        if (!real)                                                                                 \
            real = (int (*)())dlsym(RTLD_NEXT, name);                                              \
        return hold(real(__VA_ARGS__, flags | O_NOCTTY, mode));                                    \
    }

int open(const char *path, int flags, ...) OPEN_WRAPPER("open", path)
int open64(const char *path, int flags, ...) OPEN_WRAPPER("open64", path)
int openat(int dir, const char *path, int flags, ...) OPEN_WRAPPER("openat", dir, path)
int openat64(int dir, const char *path, int flags, ...) OPEN_WRAPPER("openat64", dir, path)

int close(int fd)
{
    static int (*real)(int);
    if (!real)
        real = (int (*)(int))dlsym(RTLD_NEXT, "close");
    release(fd);
    return real(fd);
}

int ioctl(int fd, unsigned long request, ...)
{
    va_list ap;
    va_start(ap, request);
    void *arg = va_arg(ap, void *);
    va_end(ap);
    static int (*real)(int, unsigned long, ...);
    if (!real)
        real = (int (*)(int, unsigned long, ...))dlsym(RTLD_NEXT, "ioctl");
    if ((request == TIOCMGET || request == TIOCMSET || request == TIOCMBIS || request == TIOCMBIC)
        && isPty(fd, NULL)) {
        struct pollfd p = {fd, 0, 0};
        if (poll(&p, 1, 0) == 1 && (p.revents & POLLHUP)) {
            errno = EIO;
            return -1;
        }
        if (request == TIOCMGET)
            *(int *)arg = TIOCM_CTS | TIOCM_DSR | TIOCM_CD;
        return 0;
    }
    return real(fd, request, arg);
}
