/* Bench rig: LD_PRELOAD shim for Wine processes (32-bit Linux).
 *
 * Wine asks a serial port for its modem lines (TIOCMGET and friends) before
 * an overlapped WaitCommEvent; a pseudo-terminal refuses those ioctls, and
 * the wait then ends at once with an empty mask.  The shim answers them for
 * ptys so the wait blocks until a byte arrives, as on a real port.
 *
 * It also makes the DTR line visible to the controller side: when
 * HALCYRA_RIG_MODEM_DIR is set, every change of the modem lines of
 * /dev/pts/N is written to the file <dir>/ptsN as "DTR=0|1 RTS=0|1".
 * Runs in whatever thread of the Wine process issues the ioctl. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

typedef int (*ioctl_fn)(int, unsigned long, void *);

#define PTY_SLAVE_MAJOR_FIRST 136
#define PTY_SLAVE_MAJOR_LAST 143
#define MAX_PTYS 4096

/* Modem bits per pty index; DTR and RTS start low, as on a closed port. */
static int modem_bits[MAX_PTYS];

static int pty_index(int fd)
{
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISCHR(st.st_mode))
        return -1;
    unsigned maj = major(st.st_rdev);
    if (maj < PTY_SLAVE_MAJOR_FIRST || maj > PTY_SLAVE_MAJOR_LAST)
        return -1;
    unsigned idx = (maj - PTY_SLAVE_MAJOR_FIRST) * 256 + minor(st.st_rdev);
    return idx < MAX_PTYS ? (int)idx : -1;
}

static void publish(int idx)
{
    const char *dir = getenv("HALCYRA_RIG_MODEM_DIR");
    if (!dir || !*dir)
        return;
    char path[512], tmp[520], text[64];
    snprintf(path, sizeof path, "%s/pts%d", dir, idx);
    snprintf(tmp, sizeof tmp, "%s.%d", path, (int)getpid());
    int len = snprintf(text, sizeof text, "DTR=%d RTS=%d\n",
                       (modem_bits[idx] & TIOCM_DTR) ? 1 : 0,
                       (modem_bits[idx] & TIOCM_RTS) ? 1 : 0);
    int fd = open(tmp, O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0)
        return;
    ssize_t written = write(fd, text, (size_t)len);
    close(fd);
    if (written == len)
        rename(tmp, path);
    else
        unlink(tmp);
}

/* Returns 1 when the request was answered here. */
static int answer_modem_request(int fd, unsigned long request, void *arg, int *result)
{
    if (request != TIOCMGET && request != TIOCMBIS && request != TIOCMBIC && request != TIOCMSET)
        return 0;
    int idx = pty_index(fd);
    if (idx < 0 || !arg)
        return 0;
    int bits = *(int *)arg;
    int before = modem_bits[idx];
    switch (request) {
    case TIOCMGET:
        *(int *)arg = modem_bits[idx] | TIOCM_CTS | TIOCM_DSR | TIOCM_CAR;
        break;
    case TIOCMBIS:
        modem_bits[idx] |= bits & (TIOCM_DTR | TIOCM_RTS);
        break;
    case TIOCMBIC:
        modem_bits[idx] &= ~(bits & (TIOCM_DTR | TIOCM_RTS));
        break;
    case TIOCMSET:
        modem_bits[idx] = bits & (TIOCM_DTR | TIOCM_RTS);
        break;
    }
    if (modem_bits[idx] != before)
        publish(idx);
    *result = 0;
    return 1;
}

static int forward(const char *name, int fd, unsigned long request, void *arg)
{
    ioctl_fn next = (ioctl_fn)dlsym(RTLD_NEXT, name);
    if (!next) {
        errno = ENOSYS;
        return -1;
    }
    return next(fd, request, arg);
}

int ioctl(int fd, unsigned long request, ...)
{
    va_list ap;
    va_start(ap, request);
    void *arg = va_arg(ap, void *);
    va_end(ap);
    int result;
    if (answer_modem_request(fd, request, arg, &result))
        return result;
    return forward("ioctl", fd, request, arg);
}

int __ioctl_time64(int fd, unsigned long request, ...)
{
    va_list ap;
    va_start(ap, request);
    void *arg = va_arg(ap, void *);
    va_end(ap);
    int result;
    if (answer_modem_request(fd, request, arg, &result))
        return result;
    return forward("__ioctl_time64", fd, request, arg);
}
