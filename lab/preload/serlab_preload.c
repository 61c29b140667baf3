/*
 * Serial lab preload library for Wine processes and wineserver.
 *
 * Loaded with LD_PRELOAD; the lab's shared state file is named by the
 * environment variable KESTRUNE_LAB_STATE (see lab_state.h).
 *
 * In every process:
 *   - TIOCMGET/TIOCMSET/TIOCMBIS/TIOCMBIC on a lab pty are answered from the
 *     shared state (a pty slave has no modem lines of its own);
 *   - each port has a driver personality (lab_state.h, enum lab_driver): the
 *     modem status may lag the far side, an RTS-only request may stay local,
 *     line requests may fail; and the first control request after an open may
 *     stall (stall_ms) in the calling thread only;
 *   - the requests on one port run one at a time, as Windows runs the requests of a
 *     synchronous file object: a request made while another is under way (a stall
 *     included) waits for it, from any thread or process;
 *   - tcsetattr/tcgetattr on a lab pty keep the data bits and parity that the
 *     pty driver cannot hold: the kernel gets CS8 without parity, the caller
 *     reads back what it set;
 *   - the host's own serial devices (/dev/ttyS*, ttyUSB*, ttyACM*, and any
 *     character device of those drivers reached through a link) do not exist:
 *     access/stat/open report ENOENT, so nothing ever opens or drives them.
 * In wineserver only:
 *   - a second open of a lab pty that the server already holds open fails
 *     with EACCES, which Wine reports as ERROR_ACCESS_DENIED;
 *   - when the server first opens a lab pty, the port's DTR and RTS take its
 *     open_lines (a serial driver applying the default control block raises
 *     both); when it closes its last descriptor of it, they drop, as a serial
 *     driver does on close.
 */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <pthread.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/syscall.h>
#include <signal.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include "../include/lab_state.h"

#define EXPORT __attribute__((visibility("default")))

/* ---- real functions ---------------------------------------------------- */

typedef int (*ioctl_fn)(int, unsigned long, ...);
typedef int (*tcsetattr_fn)(int, int, const struct termios *);
typedef int (*tcgetattr_fn)(int, struct termios *);
typedef int (*open_fn)(const char *, int, ...);
typedef int (*openat_fn)(int, const char *, int, ...);
typedef int (*open2_fn)(const char *, int);
typedef int (*openat2_fn)(int, const char *, int);
typedef int (*close_fn)(int);
typedef int (*dup2_fn)(int, int);
typedef int (*dup3_fn)(int, int, int);
typedef int (*access_fn)(const char *, int);
typedef int (*faccessat_fn)(int, const char *, int, int);
typedef int (*stat_fn)(const char *, struct stat *);
typedef int (*fstatat_fn)(int, const char *, struct stat *, int);
typedef FILE *(*fopen_fn)(const char *, const char *);

static struct {
    ioctl_fn ioctl;
    tcsetattr_fn tcsetattr;
    tcgetattr_fn tcgetattr;
    open_fn open, open64;
    openat_fn openat, openat64;
    open2_fn open_2, open64_2;
    openat2_fn openat_2, openat64_2;
    close_fn close;
    dup2_fn dup2;
    dup3_fn dup3;
    access_fn access;
    faccessat_fn faccessat;
    stat_fn stat, stat64, lstat, lstat64;
    fstatat_fn fstatat, fstatat64;
    fopen_fn fopen, fopen64;
#if defined(__i386__)
    ioctl_fn ioctl_t64;
    int (*stat_t64)(const char *, void *);
    int (*lstat_t64)(const char *, void *);
    int (*fstatat_t64)(int, const char *, void *, int);
#endif
} real;

static int is_server;
static int debug_fd = -1;
static int resolved;

/* Other libraries' constructors may call into us before ours ran: resolve lazily. */
static void resolve(void)
{
#define R(field, name) real.field = (typeof(real.field))dlsym(RTLD_NEXT, name)
    R(ioctl, "ioctl");
    R(tcsetattr, "tcsetattr");
    R(tcgetattr, "tcgetattr");
    R(open, "open");
    R(open64, "open64");
    R(openat, "openat");
    R(openat64, "openat64");
    R(open_2, "__open_2");
    R(open64_2, "__open64_2");
    R(openat_2, "__openat_2");
    R(openat64_2, "__openat64_2");
    R(close, "close");
    R(dup2, "dup2");
    R(dup3, "dup3");
    R(access, "access");
    R(faccessat, "faccessat");
    R(stat, "stat");
    R(stat64, "stat64");
    R(lstat, "lstat");
    R(lstat64, "lstat64");
    R(fstatat, "fstatat");
    R(fstatat64, "fstatat64");
    R(fopen, "fopen");
    R(fopen64, "fopen64");
#if defined(__i386__)
    R(ioctl_t64, "__ioctl_time64");
    R(stat_t64, "__stat64_time64");
    R(lstat_t64, "__lstat64_time64");
    R(fstatat_t64, "__fstatat64_time64");
#endif
#undef R
    __atomic_store_n(&resolved, 1, __ATOMIC_RELEASE);
}

#define REAL(field) (__builtin_expect(!__atomic_load_n(&resolved, __ATOMIC_ACQUIRE), 0) ? resolve() : (void)0, real.field)

static void debug(const char *fmt, ...)
{
    if (debug_fd < 0) return;
    char buf[512];
    int n = snprintf(buf, sizeof buf, "[%d%s] ", (int)getpid(), is_server ? " server" : "");
    va_list ap;
    va_start(ap, fmt);
    n += vsnprintf(buf + n, sizeof buf - (size_t)n, fmt, ap);
    va_end(ap);
    if (n > (int)sizeof buf - 2) n = (int)sizeof buf - 2;
    buf[n++] = '\n';
    ssize_t ignored = write(debug_fd, buf, (size_t)n);
    (void)ignored;
}

__attribute__((constructor)) static void lab_init(void)
{
    if (!resolved) resolve();
    char exe[512];
    ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (n > 0) {
        exe[n] = 0;
        const char *base = strrchr(exe, '/');
        base = base ? base + 1 : exe;
        is_server = strncmp(base, "wineserver", 10) == 0;
    }
    const char *log = getenv("KESTRUNE_LAB_LOG");
    if (log && *log && REAL(open))
        debug_fd = REAL(open)(log, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
}

/* ---- shared state ------------------------------------------------------ */

static struct lab_state *state;
static pthread_once_t state_once = PTHREAD_ONCE_INIT;

static void map_state(void)
{
    const char *path = getenv(LAB_STATE_ENV);
    if (!path || !*path || !REAL(open)) return;
    int fd = REAL(open)(path, O_RDWR | O_CLOEXEC);
    if (fd < 0) return;
    void *p = mmap(NULL, sizeof(struct lab_state), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    REAL(close)(fd);
    if (p == MAP_FAILED) return;
    struct lab_state *s = p;
    if (s->magic != LAB_STATE_MAGIC || s->version != LAB_STATE_VERSION) {
        munmap(p, sizeof(struct lab_state));
        return;
    }
    state = s;
}

static struct lab_state *get_state(void)
{
    pthread_once(&state_once, map_state);
    return state;
}

static uint32_t load32(const uint32_t *p) { return __atomic_load_n(p, __ATOMIC_SEQ_CST); }
static void store32(uint32_t *p, uint32_t v) { __atomic_store_n(p, v, __ATOMIC_SEQ_CST); }

/* pty number of a Unix98 pty slave, or -1. */
static long pty_number(const struct stat *st)
{
    if (!S_ISCHR(st->st_mode)) return -1;
    unsigned maj = major(st->st_rdev), min = minor(st->st_rdev);
    if (maj < 136 || maj > 143) return -1;
    return (long)(maj - 136) * 256 + min;
}

static int slot_of_pty(long pty)
{
    struct lab_state *s = get_state();
    if (!s || pty < 0) return -1;
    for (unsigned i = 0; i < LAB_MAX_PORTS; i++)
        if (load32(&s->ports[i].in_use) && load32(&s->ports[i].pty) == (uint32_t)pty) return (int)i;
    return -1;
}

static int slot_of_fd(int fd, struct stat *st_out)
{
    struct stat st;
    if (fd < 0 || fstat(fd, &st) != 0) return -1;
    if (st_out) *st_out = st;
    return slot_of_pty(pty_number(&st));
}

/* ---- host serial devices ----------------------------------------------- */

static int is_host_serial_name(const char *path)
{
    static const char *const prefixes[] = { "/dev/ttyS", "/dev/ttyUSB", "/dev/ttyACM" };
    if (!path) return 0;
    for (unsigned i = 0; i < sizeof prefixes / sizeof prefixes[0]; i++) {
        size_t n = strlen(prefixes[i]);
        if (strncmp(path, prefixes[i], n) == 0) {
            const char *p = path + n;
            if (!*p) return 0;
            while (*p >= '0' && *p <= '9') p++;
            if (!*p) return 1;
        }
    }
    return 0;
}

static int is_host_serial_dev(const struct stat *st)
{
    if (!S_ISCHR(st->st_mode)) return 0;
    unsigned maj = major(st->st_rdev), min = minor(st->st_rdev);
    return (maj == 4 && min >= 64) /* ttyS */ || maj == 188 /* ttyUSB */ || maj == 166 /* ttyACM */;
}

/* Nonzero when path (relative to dirfd) names a host serial device. */
static int hidden_at(int dirfd, const char *path)
{
    if (!path) return 0;
    if (is_host_serial_name(path)) return 1;
    if (!REAL(fstatat)) return 0;
    struct stat st;
    if (REAL(fstatat)(dirfd, path, &st, 0) != 0) return 0;
    return is_host_serial_dev(&st);
}

#define HIDE_OR(dirfd, path)                                                                       \
    do {                                                                                           \
        if (hidden_at(dirfd, path)) {                                                              \
            debug("hide %s", path);                                                                \
            errno = ENOENT;                                                                        \
            return -1;                                                                             \
        }                                                                                          \
    } while (0)

/* ---- driven lines ------------------------------------------------------- */

static uint32_t now_ms(void)
{
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (uint32_t)((uint64_t)ts.tv_sec * 1000u + (uint64_t)ts.tv_nsec / 1000000u);
}

/* What reaches the far side: the old value and the time are kept first, so a lagging
 * reader sees either the old or the new lines, never a mix. */
static void set_out(struct lab_state *s, int slot, uint32_t lines)
{
    struct lab_port *p = &s->ports[slot];
    uint32_t old = load32(&p->out_lines);
    if (old == lines) return;
    store32(&p->prev_out, old);
    store32(&p->changed_ms, now_ms());
    store32(&p->out_lines, lines);
}

static void open_lines(struct lab_state *s, int slot)
{
    uint32_t lines = load32(&s->ports[slot].open_lines) & (LAB_LINE_DTR | LAB_LINE_RTS);
    store32(&s->ports[slot].req_lines, lines);
    set_out(s, slot, lines);
}

static void drop_lines(struct lab_state *s, int slot)
{
    store32(&s->ports[slot].req_lines, 0);
    set_out(s, slot, 0);
}

/* The source slot's lines as a reader with the given latency sees them. */
static uint32_t lagged_out(struct lab_state *s, int src, uint32_t latency)
{
    struct lab_port *p = &s->ports[src];
    uint32_t out = load32(&p->out_lines);
    if (latency && now_ms() - load32(&p->changed_ms) < latency) return load32(&p->prev_out);
    return out;
}

/* ---- exclusive opens in wineserver ------------------------------------- */

#define MAX_TRACKED 512
static struct tracked {
    int fd;
    int slot;
    dev_t rdev;
} tracked[MAX_TRACKED];
static int tracked_count;
static pthread_mutex_t track_lock = PTHREAD_MUTEX_INITIALIZER;

static int tracked_still_open(const struct tracked *t)
{
    struct stat st;
    return fstat(t->fd, &st) == 0 && S_ISCHR(st.st_mode) && st.st_rdev == t->rdev;
}

/* Called with the lock held; drops entries whose descriptor no longer is the pty. */
static int holders_of(int slot, dev_t rdev, int except_fd)
{
    int n = 0;
    for (int i = 0; i < tracked_count;) {
        if (tracked[i].slot == slot && tracked[i].rdev == rdev && tracked[i].fd != except_fd) {
            if (!tracked_still_open(&tracked[i])) {
                tracked[i] = tracked[--tracked_count];
                continue;
            }
            n++;
        }
        i++;
    }
    return n;
}

static void publish_opens(int slot, dev_t rdev)
{
    struct lab_state *s = get_state();
    if (!s) return;
    int n = holders_of(slot, rdev, -1);
    store32(&s->ports[slot].opens, (uint32_t)n);
    if (n == 0) drop_lines(s, slot); /* lines drop when the port is closed */
}

/* After a successful open in the server: enforce exclusivity. Returns fd or -1. */
static int server_after_open(int fd)
{
    if (!is_server || fd < 0) return fd;
    struct stat st;
    int slot = slot_of_fd(fd, &st);
    if (slot < 0) return fd;
    pthread_mutex_lock(&track_lock);
    if (holders_of(slot, st.st_rdev, fd) > 0) {
        pthread_mutex_unlock(&track_lock);
        REAL(close)(fd);
        debug("refuse second open of lab pty slot %d", slot);
        errno = EACCES;
        return -1;
    }
    for (int i = 0; i < tracked_count; i++)
        if (tracked[i].fd == fd) tracked[i] = tracked[--tracked_count];
    if (tracked_count < MAX_TRACKED) tracked[tracked_count++] = (struct tracked){ fd, slot, st.st_rdev };
    publish_opens(slot, st.st_rdev);
    struct lab_state *s = get_state();
    if (s) {
        __atomic_fetch_add(&s->ports[slot].opened, 1u, __ATOMIC_SEQ_CST);
        if (load32(&s->ports[slot].opens) == 1) open_lines(s, slot); /* the first open of the port */
    }
    pthread_mutex_unlock(&track_lock);
    debug("open lab pty slot %d fd %d", slot, fd);
    return fd;
}

/* Before a descriptor is closed (or replaced) in the server. */
static void server_forget(int fd)
{
    if (!is_server || fd < 0) return;
    pthread_mutex_lock(&track_lock);
    for (int i = 0; i < tracked_count; i++) {
        if (tracked[i].fd == fd) {
            struct tracked t = tracked[i];
            tracked[i] = tracked[--tracked_count];
            /* the descriptor is still open here: count the others only */
            struct lab_state *s = get_state();
            if (s) {
                int n = holders_of(t.slot, t.rdev, fd);
                store32(&s->ports[t.slot].opens, (uint32_t)n);
                if (n == 0) drop_lines(s, t.slot);
            }
            debug("close lab pty slot %d fd %d", t.slot, fd);
            break;
        }
    }
    pthread_mutex_unlock(&track_lock);
}

/* ---- open family --------------------------------------------------------- */

static int needs_mode(int flags) { return (flags & O_CREAT) || (flags & O_TMPFILE) == O_TMPFILE; }

EXPORT int open(const char *path, int flags, ...)
{
    mode_t mode = 0;
    if (needs_mode(flags)) {
        va_list ap;
        va_start(ap, flags);
        mode = va_arg(ap, mode_t);
        va_end(ap);
    }
    HIDE_OR(AT_FDCWD, path);
    return server_after_open(REAL(open)(path, flags, mode));
}

EXPORT int open64(const char *path, int flags, ...)
{
    mode_t mode = 0;
    if (needs_mode(flags)) {
        va_list ap;
        va_start(ap, flags);
        mode = va_arg(ap, mode_t);
        va_end(ap);
    }
    HIDE_OR(AT_FDCWD, path);
    return server_after_open((REAL(open64) ? REAL(open64) : REAL(open))(path, flags, mode));
}

EXPORT int openat(int dirfd, const char *path, int flags, ...)
{
    mode_t mode = 0;
    if (needs_mode(flags)) {
        va_list ap;
        va_start(ap, flags);
        mode = va_arg(ap, mode_t);
        va_end(ap);
    }
    HIDE_OR(dirfd, path);
    return server_after_open(REAL(openat)(dirfd, path, flags, mode));
}

EXPORT int openat64(int dirfd, const char *path, int flags, ...)
{
    mode_t mode = 0;
    if (needs_mode(flags)) {
        va_list ap;
        va_start(ap, flags);
        mode = va_arg(ap, mode_t);
        va_end(ap);
    }
    HIDE_OR(dirfd, path);
    return server_after_open((REAL(openat64) ? REAL(openat64) : REAL(openat))(dirfd, path, flags, mode));
}

EXPORT int __open_2(const char *path, int flags)
{
    HIDE_OR(AT_FDCWD, path);
    return server_after_open(REAL(open_2) ? REAL(open_2)(path, flags) : REAL(open)(path, flags));
}

EXPORT int __open64_2(const char *path, int flags)
{
    HIDE_OR(AT_FDCWD, path);
    return server_after_open(REAL(open64_2) ? REAL(open64_2)(path, flags) : REAL(open)(path, flags));
}

EXPORT int __openat_2(int dirfd, const char *path, int flags)
{
    HIDE_OR(dirfd, path);
    return server_after_open(REAL(openat_2) ? REAL(openat_2)(dirfd, path, flags) : REAL(openat)(dirfd, path, flags));
}

EXPORT int __openat64_2(int dirfd, const char *path, int flags)
{
    HIDE_OR(dirfd, path);
    return server_after_open(REAL(openat64_2) ? REAL(openat64_2)(dirfd, path, flags)
                                             : REAL(openat)(dirfd, path, flags));
}

EXPORT FILE *fopen(const char *path, const char *mode)
{
    if (hidden_at(AT_FDCWD, path)) {
        errno = ENOENT;
        return NULL;
    }
    return REAL(fopen)(path, mode);
}

EXPORT FILE *fopen64(const char *path, const char *mode)
{
    if (hidden_at(AT_FDCWD, path)) {
        errno = ENOENT;
        return NULL;
    }
    return (REAL(fopen64) ? REAL(fopen64) : REAL(fopen))(path, mode);
}

EXPORT int close(int fd)
{
    server_forget(fd);
    return REAL(close)(fd);
}

EXPORT int dup2(int oldfd, int newfd)
{
    if (oldfd != newfd) server_forget(newfd);
    return REAL(dup2)(oldfd, newfd);
}

EXPORT int dup3(int oldfd, int newfd, int flags)
{
    if (oldfd != newfd) server_forget(newfd);
    return REAL(dup3)(oldfd, newfd, flags);
}

/* ---- access / stat family ------------------------------------------------ */

EXPORT int access(const char *path, int mode)
{
    HIDE_OR(AT_FDCWD, path);
    return REAL(access)(path, mode);
}

EXPORT int faccessat(int dirfd, const char *path, int mode, int flags)
{
    HIDE_OR(dirfd, path);
    return REAL(faccessat)(dirfd, path, mode, flags);
}

static int filter_stat(int rc, const char *path, const struct stat *st)
{
    if (rc == 0 && (is_host_serial_dev(st) || is_host_serial_name(path))) {
        debug("hide %s", path);
        errno = ENOENT;
        return -1;
    }
    return rc;
}

EXPORT int stat(const char *path, struct stat *st) { return filter_stat(REAL(stat)(path, st), path, st); }

EXPORT int stat64(const char *path, struct stat64 *st)
{
    stat_fn f = REAL(stat64) ? REAL(stat64) : REAL(stat);
    return filter_stat(f(path, (struct stat *)st), path, (struct stat *)st);
}

EXPORT int lstat(const char *path, struct stat *st) { return filter_stat(REAL(lstat)(path, st), path, st); }

EXPORT int lstat64(const char *path, struct stat64 *st)
{
    stat_fn f = REAL(lstat64) ? REAL(lstat64) : REAL(lstat);
    return filter_stat(f(path, (struct stat *)st), path, (struct stat *)st);
}

EXPORT int fstatat(int dirfd, const char *path, struct stat *st, int flags)
{
    return filter_stat(REAL(fstatat)(dirfd, path, st, flags), path, st);
}

EXPORT int fstatat64(int dirfd, const char *path, struct stat64 *st, int flags)
{
    fstatat_fn f = REAL(fstatat64) ? REAL(fstatat64) : REAL(fstatat);
    return filter_stat(f(dirfd, path, (struct stat *)st, flags), path, (struct stat *)st);
}

/* ---- modem lines ----------------------------------------------------------- */

static uint32_t input_lines(struct lab_state *s, int slot)
{
    struct lab_port *p = &s->ports[slot];
    uint32_t latency = __atomic_load_n(&p->latency_ms, __ATOMIC_SEQ_CST);
    uint32_t own = lagged_out(s, slot, latency);
    uint32_t dtr = 0, rts = 0, ri = 0, dcd_follows = 1, cts_follows = 1;
    switch (load32(&p->wiring)) {
    case LAB_WIRE_LOOPBACK:
        dtr = own & LAB_LINE_DTR;
        rts = own & LAB_LINE_RTS;
        break;
    case LAB_WIRE_NULL_MODEM: {
        int32_t peer = (int32_t)load32((const uint32_t *)&p->peer);
        if (peer >= 0 && peer < (int32_t)LAB_MAX_PORTS && load32(&s->ports[peer].in_use)) {
            /* a lagging adapter at either end delays what crosses the cable */
            uint32_t theirs_latency = __atomic_load_n(&s->ports[peer].latency_ms, __ATOMIC_SEQ_CST);
            uint32_t theirs = lagged_out(s, peer, latency > theirs_latency ? latency : theirs_latency);
            dtr = theirs & LAB_LINE_DTR;
            rts = theirs & LAB_LINE_RTS;
        }
        break;
    }
    case LAB_WIRE_DEVICE: {
        uint32_t far = load32(&p->far_lines);
        dtr = far & LAB_LINE_DTR;
        rts = far & LAB_LINE_RTS;
        ri = far & LAB_LINE_RI;
        break;
    }
    case LAB_WIRE_DSR_ONLY:
        dtr = own & LAB_LINE_DTR;
        dcd_follows = 0;
        cts_follows = 0;
        break;
    default:
        break;
    }
    uint32_t in = 0;
    if (dtr) in |= TIOCM_DSR | (dcd_follows ? TIOCM_CAR : 0);
    if (rts && cts_follows) in |= TIOCM_CTS;
    if (ri) in |= TIOCM_RNG;
    return in;
}

/* A refused line request: Wine turns an errno it has no status for into
 * STATUS_UNSUCCESSFUL, which Win32 reports as ERROR_GEN_FAILURE (31). Measured: EPROTO. */
#ifndef NOLINES_ERRNO
#define NOLINES_ERRNO EPROTO
#endif

/* Stall: the first control request of each open (per process) blocks stall_ms, in the
 * calling thread only. Never in wineserver: the server opens files for every client, so
 * blocking there would stop every Wine process at once. */
static uint32_t stalled_open[LAB_MAX_PORTS];

static void maybe_stall(int slot)
{
    struct lab_state *s = state;
    if (is_server || !s || slot < 0) return;
    uint32_t ms = load32(&s->ports[slot].stall_ms);
    if (!ms) return;
    uint32_t open_no = load32(&s->ports[slot].opened) + 1; /* 0 means never stalled */
    if (__atomic_exchange_n(&stalled_open[slot], open_no, __ATOMIC_SEQ_CST) == open_no) return;
    debug("stall slot %d for %u ms", slot, ms);
    struct timespec ts = { (time_t)(ms / 1000u), (long)(ms % 1000u) * 1000000L };
    while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
    }
}

/* Requests on one port run one at a time (clients only: the server never stalls). The lock
 * word holds the thread running a request; the same thread may nest. A holder that died
 * without letting go is found by its thread id and the lock taken over. */
static __thread uint32_t lock_depth[LAB_MAX_PORTS];

static int thread_alive(uint32_t tid)
{
    return kill((pid_t)tid, 0) == 0 || errno == EPERM;
}

static void lock_port(struct lab_state *s, int slot)
{
    if (is_server || !s || slot < 0) return;
    uint32_t me = (uint32_t)syscall(SYS_gettid);
    uint32_t *word = &s->ports[slot].busy_tid;
    if (lock_depth[slot] && load32(word) == me) {
        lock_depth[slot]++;
        return;
    }
    for (unsigned tries = 1;; tries++) {
        uint32_t holder = 0;
        if (__atomic_compare_exchange_n(word, &holder, me, 0, __ATOMIC_SEQ_CST, __ATOMIC_SEQ_CST)) break;
        if (tries % 256 == 0 && holder && !thread_alive(holder))
            __atomic_compare_exchange_n(word, &holder, 0u, 0, __ATOMIC_SEQ_CST, __ATOMIC_SEQ_CST);
        struct timespec ts = { 0, 200000L };
        nanosleep(&ts, NULL);
    }
    lock_depth[slot] = 1;
}

static void unlock_port(struct lab_state *s, int slot)
{
    if (is_server || !s || slot < 0 || !lock_depth[slot]) return;
    if (--lock_depth[slot] == 0) store32(&s->ports[slot].busy_tid, 0);
}

/* A line request as the port's driver takes it. Returns 0 or -1 with errno. */
static int drive_lines(struct lab_state *s, int slot, uint32_t want)
{
    struct lab_port *p = &s->ports[slot];
    uint32_t mask = LAB_LINE_DTR | LAB_LINE_RTS;
    want &= mask;
    switch (__atomic_load_n(&p->driver, __ATOMIC_SEQ_CST)) {
    case LAB_DRIVER_NOLINES:
        errno = NOLINES_ERRNO;
        return -1;
    case LAB_DRIVER_USBSER: {
        /* Wine turns each request into one TIOCMSET of the whole word: one that changes RTS
         * alone stays in the driver; one that changes DTR, or changes nothing (a repeated
         * request), sends the whole line state. */
        uint32_t old = load32(&p->req_lines) & mask;
        store32(&p->req_lines, want);
        if ((old ^ want) == LAB_LINE_RTS) return 0;
        set_out(s, slot, want);
        return 0;
    }
    default:
        store32(&p->req_lines, want);
        set_out(s, slot, want);
        return 0;
    }
}

static int lab_request(ioctl_fn next, struct lab_state *s, int slot, int fd, unsigned long request, void *arg);

static int lab_ioctl(ioctl_fn next, int fd, unsigned long request, void *arg)
{
    if ((request & 0xFF00u) != 0x5400u) return next(fd, request, arg); /* not a tty request */
    int slot = slot_of_fd(fd, NULL);
    struct lab_state *s = state;
    if (slot < 0 || !s) return next(fd, request, arg);
    lock_port(s, slot);
    int rc = lab_request(next, s, slot, fd, request, arg);
    int saved = errno;
    unlock_port(s, slot);
    errno = saved;
    return rc;
}

static int lab_request(ioctl_fn next, struct lab_state *s, int slot, int fd, unsigned long request, void *arg)
{
    maybe_stall(slot);
    if (request == TIOCMGET || request == TIOCMSET || request == TIOCMBIS || request == TIOCMBIC) {
        int *bits = arg;
        if (!bits) {
            errno = EFAULT;
            return -1;
        }
        uint32_t mask = LAB_LINE_DTR | LAB_LINE_RTS;
        uint32_t req = load32(&s->ports[slot].req_lines) & mask;
        switch (request) {
        case TIOCMGET:
            *bits = (int)(req | input_lines(s, slot));
            return 0;
        case TIOCMSET:
            return drive_lines(s, slot, (uint32_t)*bits);
        case TIOCMBIS:
            return drive_lines(s, slot, req | ((uint32_t)*bits & mask));
        default:
            return drive_lines(s, slot, req & ~((uint32_t)*bits & mask));
        }
    }
    return next(fd, request, arg);
}

EXPORT int ioctl(int fd, unsigned long request, ...)
{
    va_list ap;
    va_start(ap, request);
    void *arg = va_arg(ap, void *);
    va_end(ap);
    return lab_ioctl(REAL(ioctl), fd, request, arg);
}

#if defined(__i386__)
/* A 32-bit program built with 64-bit time (the 32-bit Wine is) calls these forms instead. Their
 * stat buffer has its own layout: the decision to hide looks at the path itself. */
EXPORT int __ioctl_time64(int fd, unsigned long request, ...)
{
    va_list ap;
    va_start(ap, request);
    void *arg = va_arg(ap, void *);
    va_end(ap);
    return lab_ioctl(REAL(ioctl_t64) ? REAL(ioctl_t64) : REAL(ioctl), fd, request, arg);
}

static int filter_stat_t64(int rc, int dirfd, const char *path)
{
    if (rc == 0 && hidden_at(dirfd, path)) {
        debug("hide %s", path);
        errno = ENOENT;
        return -1;
    }
    return rc;
}

EXPORT int __stat64_time64(const char *path, void *st)
{
    return filter_stat_t64(REAL(stat_t64)(path, st), AT_FDCWD, path);
}

EXPORT int __lstat64_time64(const char *path, void *st)
{
    return filter_stat_t64(REAL(lstat_t64)(path, st), AT_FDCWD, path);
}

EXPORT int __fstatat64_time64(int dirfd, const char *path, void *st, int flags)
{
    return filter_stat_t64(REAL(fstatat_t64)(dirfd, path, st, flags), dirfd, path);
}
#endif

/* ---- line settings --------------------------------------------------------- */

EXPORT int tcsetattr(int fd, int action, const struct termios *t)
{
    if (!t) return REAL(tcsetattr)(fd, action, t);
    int slot = slot_of_fd(fd, NULL);
    if (slot < 0 || !state) return REAL(tcsetattr)(fd, action, t);
    lock_port(state, slot);
    maybe_stall(slot);
    struct termios k = *t;
    uint32_t kept = (uint32_t)t->c_cflag & LAB_CFLAG_KEPT;
    k.c_cflag = (k.c_cflag & ~(tcflag_t)LAB_CFLAG_KEPT) | CS8;
    int rc = REAL(tcsetattr)(fd, action, &k);
    int saved = errno;
    if (rc == 0) {
        store32(&state->ports[slot].cflag, kept);
        store32(&state->ports[slot].cflag_set, 1);
    }
    unlock_port(state, slot);
    errno = saved;
    return rc;
}

EXPORT int tcgetattr(int fd, struct termios *t)
{
    int slot = slot_of_fd(fd, NULL);
    if (slot >= 0) lock_port(state, slot);
    maybe_stall(slot);
    int rc = REAL(tcgetattr)(fd, t);
    int saved = errno;
    if (rc == 0 && t && slot >= 0 && state && load32(&state->ports[slot].cflag_set))
        t->c_cflag = (t->c_cflag & ~(tcflag_t)LAB_CFLAG_KEPT) | (tcflag_t)load32(&state->ports[slot].cflag);
    if (slot >= 0) unlock_port(state, slot);
    errno = saved;
    return rc;
}
