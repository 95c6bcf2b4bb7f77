// Preloaded into the program where no small file system can be mounted: makes
// write() fail with ENOSPC on files in one folder while a flag file exists,
// as a full disk would, and rename() of files there fail with EACCES while
// another one does; and, while a third one does, makes fsync() and
// fdatasync() of session recordings there take 3 s, as a slow stick or a
// network share can; each slow sync's start and end (CLOCK_MONOTONIC seconds)
// go on a line of PULSE_SLOW_SYNCS_LOG, so a test can tell what happened
// during the syncs from what happened between them. Everything else is
// written as usual.
//
//   PULSE_FAIL_WRITES_IN=<folder>  PULSE_FAIL_WRITES_WHILE=<flag file>
//   PULSE_FAIL_RENAMES_WHILE=<flag file>  PULSE_SLOW_SYNCS_WHILE=<flag file>
//   PULSE_SLOW_SYNCS_LOG=<file>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

namespace {

using WriteFn = ssize_t (*)(int, const void *, size_t);
using RenameFn = int (*)(const char *, const char *);
using SyncFn = int (*)(int);

constexpr unsigned SlowSyncSeconds = 3;

bool inFolderWhile(const char *path, const char *flagVariable)
{
    const char *folder = std::getenv("PULSE_FAIL_WRITES_IN");
    const char *flag = std::getenv(flagVariable);
    if (!folder || !flag || ::access(flag, F_OK) != 0)
        return false;
    const size_t length = std::strlen(folder);
    return std::strncmp(path, folder, length) == 0 && path[length] == '/';
}

// Whether the file open as `fd` is in the folder while the flag is there;
// with `recordingOnly`, a session recording's file.
bool fileWhile(int fd, const char *flagVariable, bool recordingOnly = false)
{
    char link[64];
    char path[4096];
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    const ssize_t n = ::readlink(link, path, sizeof path - 1);
    if (n <= 0)
        return false;
    path[n] = '\0';
    const auto endsWith = [&](const char *end) {
        return std::strcmp(path + n - std::min<ssize_t>(n, ssize_t(std::strlen(end))), end) == 0;
    };
    return inFolderWhile(path, flagVariable) && (!recordingOnly || endsWith(".samples") || endsWith(".events"));
}

bool shouldFail(int fd)
{
    return fileWhile(fd, "PULSE_FAIL_WRITES_WHILE");
}

double monotonicSeconds()
{
    timespec now {};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

int slowSync(int fd, SyncFn real)
{
    if (fileWhile(fd, "PULSE_SLOW_SYNCS_WHILE", true)) {
        const double start = monotonicSeconds();
        ::sleep(SlowSyncSeconds);
        if (const char *log = std::getenv("PULSE_SLOW_SYNCS_LOG")) {
            const int out = ::open(log, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
            if (out >= 0) {
                ::dprintf(out, "%.6f %.6f\n", start, monotonicSeconds());
                ::close(out);
            }
        }
    }
    return real(fd);
}

} // namespace

// The C library names these parameters with reserved identifiers.
// NOLINTNEXTLINE(readability-inconsistent-declaration-parameter-name)
extern "C" ssize_t write(int fd, const void *data, size_t size)
{
    static const auto real = reinterpret_cast<WriteFn>(::dlsym(RTLD_NEXT, "write"));
    if (fd > 2 && shouldFail(fd)) {
        errno = ENOSPC;
        return -1;
    }
    return real(fd, data, size);
}

// NOLINTNEXTLINE(readability-inconsistent-declaration-parameter-name)
extern "C" int rename(const char *from, const char *to)
{
    static const auto real = reinterpret_cast<RenameFn>(::dlsym(RTLD_NEXT, "rename"));
    if (inFolderWhile(from, "PULSE_FAIL_RENAMES_WHILE")) {
        errno = EACCES;
        return -1;
    }
    return real(from, to);
}

// NOLINTNEXTLINE(readability-inconsistent-declaration-parameter-name)
extern "C" int fsync(int fd)
{
    static const auto real = reinterpret_cast<SyncFn>(::dlsym(RTLD_NEXT, "fsync"));
    return slowSync(fd, real);
}

// NOLINTNEXTLINE(readability-inconsistent-declaration-parameter-name)
extern "C" int fdatasync(int fd)
{
    static const auto real = reinterpret_cast<SyncFn>(::dlsym(RTLD_NEXT, "fdatasync"));
    return slowSync(fd, real);
}
