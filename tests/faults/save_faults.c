/* A library put in front of the C library (LD_PRELOAD) that counts a save's
 * file calls between quillpad_faults_arm() and quillpad_faults_disarm()
 * and kills or fails the Kth, and records what each call did to the disk,
 * for a model of what a power cut keeps.
 *
 * Set in the environment:
 *   QUILLPAD_FAULT_MODE      count (default), kill, fail, fail-from
 *   QUILLPAD_FAULT_AT        K, counted from 1
 *   QUILLPAD_FAULT_ERRNO     the error a failed call gives (a number; EIO by default)
 *   QUILLPAD_FAULT_TRACE     where the record goes
 *   QUILLPAD_FAULT_ROOTS     folders (separated by ':') whose files and names the
 *                            record starts with, as on the disk
 *   QUILLPAD_FAULT_CLOSED    a folder that takes no new names (EACCES)
 *   QUILLPAD_FAULT_NO_SYNC   set: syncs are recorded, not sent to the disk
 *                            (the record is what the test holds to be on it)
 *
 * "fail" fails call K alone; "fail-from" fails every write, truncate and
 * sync from call K on, as a disk that has gone bad. The record has a line
 * for each counted call, "C K kind", and after it what the call changed:
 *   W ino            the file's content or mode changed, not yet synced
 *   F ino hash mode  the file synced: its whole content and its mode on the disk
 *   N ino name=ino…  a folder's names changed (not yet on the disk)
 *   D ino name=ino…  a folder synced: these names are on the disk
 * and "R ino" for each root, whose listing and files start as synced. */
#define _GNU_SOURCE
#include <dirent.h>
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdarg.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

enum Kind { OPEN, READ, WRITE, TRUNCATE, SYNC, NAME, META };
static const char *const kindNames[] = {"open", "read", "write", "truncate", "sync", "name", "meta"};

static int armed;
static __thread int inside; /* the library's own calls are not counted */
static long calls;
static long faultAt;
static int faultErrno = EIO;
static enum { COUNT, KILL, FAIL, FAIL_FROM } mode;
static FILE *trace;
static struct stat closed;
static int hasClosed;
static int noSync;

#define REAL(name) static __typeof__(name) *real_##name; if (!real_##name) real_##name = dlsym(RTLD_NEXT, #name)

/* The inode a descriptor or a name stands for, as "dev:ino". */
static void idOf(const struct stat *s, char *out, size_t size)
{
    snprintf(out, size, "%lx:%lx", (unsigned long)s->st_dev, (unsigned long)s->st_ino);
}

static uint64_t contentHash(int fd)
{
    uint64_t hash = 1469598103934665603ULL; /* FNV-1a */
    char piece[1 << 16];
    off_t at = 0;
    for (;;) {
        ssize_t n = pread(fd, piece, sizeof piece, at);
        if (n <= 0)
            break;
        for (ssize_t i = 0; i < n; ++i)
            hash = (hash ^ (unsigned char)piece[i]) * 1099511628211ULL;
        at += n;
    }
    return hash;
}

static void listFolder(int folder, char tag)
{
    struct stat s;
    char id[64];
    if (fstat(folder, &s) != 0 || !S_ISDIR(s.st_mode))
        return;
    idOf(&s, id, sizeof id);
    fprintf(trace, "%c %s", tag, id);
    int again = openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR *entries = again >= 0 ? fdopendir(again) : NULL;
    struct dirent *entry;
    while (entries && (entry = readdir(entries))) {
        struct stat e;
        if (!strcmp(entry->d_name, ".") || !strcmp(entry->d_name, "..")
            || fstatat(folder, entry->d_name, &e, AT_SYMLINK_NOFOLLOW) != 0)
            continue;
        idOf(&e, id, sizeof id);
        fprintf(trace, " %s=%s%s", entry->d_name, id, S_ISDIR(e.st_mode) ? "/" : "");
    }
    if (entries)
        closedir(entries);
    fputc('\n', trace);
}

/* The folder a name is in, opened: dirfd with a relative name, else the
 * name's own folder. */
static int folderOf(int dirfd, const char *name)
{
    const char *slash = strrchr(name, '/');
    if (!slash)
        return dirfd == AT_FDCWD ? open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC) : dup(dirfd);
    char path[4096];
    size_t length = slash == name ? 1 : (size_t)(slash - name);
    if (length >= sizeof path)
        return -1;
    memcpy(path, name, length);
    path[length] = 0;
    return openat(name[0] == '/' ? AT_FDCWD : dirfd, path, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
}

static void namesChanged(int dirfd, const char *name)
{
    if (!trace)
        return;
    int folder = folderOf(dirfd, name);
    if (folder >= 0) {
        listFolder(folder, 'N');
        close(folder);
    }
}

static void contentChanged(int fd)
{
    struct stat s;
    char id[64];
    if (trace && fstat(fd, &s) == 0 && S_ISREG(s.st_mode)) {
        idOf(&s, id, sizeof id);
        fprintf(trace, "W %s\n", id);
    }
}

static void synced(int fd)
{
    struct stat s;
    char id[64];
    if (!trace || fstat(fd, &s) != 0)
        return;
    if (S_ISDIR(s.st_mode)) {
        listFolder(fd, 'D');
    } else if (S_ISREG(s.st_mode)) {
        idOf(&s, id, sizeof id);
        fprintf(trace, "F %s %016llx %o\n", id, (unsigned long long)contentHash(fd), (unsigned)(s.st_mode & 07777));
    }
}

/* A folder's names and files as they stand, all taken as on the disk. */
static void dumpTree(int folder)
{
    struct stat s;
    listFolder(folder, 'D');
    int again = openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR *entries = again >= 0 ? fdopendir(again) : NULL;
    struct dirent *entry;
    while (entries && (entry = readdir(entries))) {
        if (!strcmp(entry->d_name, ".") || !strcmp(entry->d_name, ".."))
            continue;
        int fd = openat(folder, entry->d_name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            continue;
        if (fstat(fd, &s) == 0 && S_ISDIR(s.st_mode))
            dumpTree(fd);
        else
            synced(fd);
        close(fd);
    }
    if (entries)
        closedir(entries);
}

void quillpad_faults_arm(void)
{
    inside = 1;
    const char *value = getenv("QUILLPAD_FAULT_MODE");
    mode = !value ? COUNT : !strcmp(value, "kill") ? KILL : !strcmp(value, "fail") ? FAIL
        : !strcmp(value, "fail-from") ? FAIL_FROM : COUNT;
    faultAt = (value = getenv("QUILLPAD_FAULT_AT")) ? atol(value) : 0;
    if ((value = getenv("QUILLPAD_FAULT_ERRNO")))
        faultErrno = atoi(value);
    noSync = getenv("QUILLPAD_FAULT_NO_SYNC") != NULL;
    if ((value = getenv("QUILLPAD_FAULT_CLOSED")))
        hasClosed = stat(value, &closed) == 0;
    if ((value = getenv("QUILLPAD_FAULT_TRACE")) && (trace = fopen(value, "we"))) {
        const char *roots = getenv("QUILLPAD_FAULT_ROOTS");
        char path[4096];
        while (roots && *roots) {
            size_t length = strcspn(roots, ":");
            if (length < sizeof path) {
                memcpy(path, roots, length);
                path[length] = 0;
                int folder = open(path, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
                struct stat root;
                char id[64];
                if (folder >= 0 && fstat(folder, &root) == 0) {
                    idOf(&root, id, sizeof id);
                    fprintf(trace, "R %s\n", id);
                    dumpTree(folder);
                }
                if (folder >= 0)
                    close(folder);
            }
            roots += length + (roots[length] == ':');
        }
        fflush(trace);
    }
    calls = 0;
    armed = 1;
    inside = 0;
}

void quillpad_faults_disarm(void)
{
    inside = 1;
    armed = 0;
    if (trace) {
        fprintf(trace, "E %ld\n", calls);
        fclose(trace);
        trace = NULL;
    }
    inside = 0;
}

/* Before a call: 0 to go on, or -1 with errno set to fail it; *counted
 * says whether it is one of the save's own (not the library's). */
static int before(enum Kind kind, int *counted)
{
    *counted = armed && !inside;
    if (!*counted)
        return 0;
    ++calls;
    if (trace) {
        fprintf(trace, "C %ld %s\n", calls, kindNames[kind]);
        fflush(trace);
    }
    const int changesData = kind == WRITE || kind == TRUNCATE || kind == SYNC;
    if (mode == KILL && calls == faultAt) {
        raise(SIGKILL);
    } else if ((mode == FAIL && calls == faultAt) || (mode == FAIL_FROM && calls >= faultAt && changesData)) {
        if (trace)
            fprintf(trace, "X %ld\n", calls);
        errno = faultErrno;
        return -1;
    }
    return 0;
}

#define COUNTED(kind, failed) \
    int counted; \
    if (before(kind, &counted) != 0) \
        return failed; \
    inside++

#define DONE(result) \
    do { \
        int saved = errno; \
        inside--; \
        errno = saved; \
        return result; \
    } while (0)

static int createsIn(int dirfd, const char *name)
{
    if (!hasClosed || !armed || inside)
        return 0;
    int folder = folderOf(dirfd, name);
    struct stat s;
    int in = folder >= 0 && fstat(folder, &s) == 0 && s.st_dev == closed.st_dev && s.st_ino == closed.st_ino;
    if (folder >= 0)
        close(folder);
    return in;
}

static int openCommon(int dirfd, const char *name, int flags, mode_t perm)
{
    REAL(openat);
    if ((flags & O_CREAT) && createsIn(dirfd, name) && faccessat(dirfd, name, F_OK, AT_SYMLINK_NOFOLLOW) != 0) {
        errno = EACCES;
        return -1;
    }
    COUNTED(OPEN, -1);
    int fd = real_openat(dirfd, name, flags, perm);
    if (fd >= 0 && (flags & O_CREAT) && counted) {
        namesChanged(dirfd, name);
        contentChanged(fd);
    }
    if (fd >= 0 && (flags & O_TRUNC) && counted)
        contentChanged(fd);
    DONE(fd);
}

static mode_t modeArgument(int flags, va_list args)
{
    return (flags & (O_CREAT | O_TMPFILE)) ? va_arg(args, mode_t) : 0;
}

int open(const char *name, int flags, ...)
{
    va_list args;
    va_start(args, flags);
    mode_t perm = modeArgument(flags, args);
    va_end(args);
    return openCommon(AT_FDCWD, name, flags, perm);
}

int open64(const char *name, int flags, ...)
{
    va_list args;
    va_start(args, flags);
    mode_t perm = modeArgument(flags, args);
    va_end(args);
    return openCommon(AT_FDCWD, name, flags, perm);
}

int openat(int dirfd, const char *name, int flags, ...)
{
    va_list args;
    va_start(args, flags);
    mode_t perm = modeArgument(flags, args);
    va_end(args);
    return openCommon(dirfd, name, flags, perm);
}

int openat64(int dirfd, const char *name, int flags, ...)
{
    va_list args;
    va_start(args, flags);
    mode_t perm = modeArgument(flags, args);
    va_end(args);
    return openCommon(dirfd, name, flags, perm);
}

int __open_2(const char *name, int flags) { return openCommon(AT_FDCWD, name, flags, 0); }
int __open64_2(const char *name, int flags) { return openCommon(AT_FDCWD, name, flags, 0); }
int __openat_2(int dirfd, const char *name, int flags) { return openCommon(dirfd, name, flags, 0); }
int __openat64_2(int dirfd, const char *name, int flags) { return openCommon(dirfd, name, flags, 0); }

ssize_t read(int fd, void *buffer, size_t size)
{
    REAL(read);
    COUNTED(READ, -1);
    DONE(real_read(fd, buffer, size));
}

ssize_t pread(int fd, void *buffer, size_t size, off_t at)
{
    REAL(pread);
    COUNTED(READ, -1);
    DONE(real_pread(fd, buffer, size, at));
}

ssize_t pread64(int fd, void *buffer, size_t size, off_t at)
{
    REAL(pread64);
    COUNTED(READ, -1);
    DONE(real_pread64(fd, buffer, size, at));
}

ssize_t write(int fd, const void *buffer, size_t size)
{
    REAL(write);
    COUNTED(WRITE, -1);
    ssize_t n = real_write(fd, buffer, size);
    if (n > 0 && counted)
        contentChanged(fd);
    DONE(n);
}

ssize_t pwrite(int fd, const void *buffer, size_t size, off_t at)
{
    REAL(pwrite);
    COUNTED(WRITE, -1);
    ssize_t n = real_pwrite(fd, buffer, size, at);
    if (n > 0 && counted)
        contentChanged(fd);
    DONE(n);
}

ssize_t pwrite64(int fd, const void *buffer, size_t size, off_t at)
{
    REAL(pwrite64);
    COUNTED(WRITE, -1);
    ssize_t n = real_pwrite64(fd, buffer, size, at);
    if (n > 0 && counted)
        contentChanged(fd);
    DONE(n);
}

int ftruncate(int fd, off_t size)
{
    REAL(ftruncate);
    COUNTED(TRUNCATE, -1);
    int result = real_ftruncate(fd, size);
    if (result == 0 && counted)
        contentChanged(fd);
    DONE(result);
}

int ftruncate64(int fd, off_t size)
{
    REAL(ftruncate64);
    COUNTED(TRUNCATE, -1);
    int result = real_ftruncate64(fd, size);
    if (result == 0 && counted)
        contentChanged(fd);
    DONE(result);
}

int fallocate(int fd, int flags, off_t at, off_t size)
{
    REAL(fallocate);
    COUNTED(TRUNCATE, -1);
    DONE(real_fallocate(fd, flags, at, size));
}

int fallocate64(int fd, int flags, off_t at, off_t size)
{
    REAL(fallocate64);
    COUNTED(TRUNCATE, -1);
    DONE(real_fallocate64(fd, flags, at, size));
}

int fsync(int fd)
{
    REAL(fsync);
    COUNTED(SYNC, -1);
    int result = noSync && counted ? fcntl(fd, F_GETFD) < 0 ? -1 : 0 : real_fsync(fd);
    if (result == 0 && counted)
        synced(fd);
    DONE(result);
}

int fdatasync(int fd)
{
    REAL(fdatasync);
    COUNTED(SYNC, -1);
    int result = noSync && counted ? fcntl(fd, F_GETFD) < 0 ? -1 : 0 : real_fdatasync(fd);
    if (result == 0 && counted)
        synced(fd);
    DONE(result);
}

int renameat2(int fromFolder, const char *from, int toFolder, const char *to, unsigned int flags)
{
    REAL(renameat2);
    if (createsIn(toFolder, to)) {
        errno = EACCES;
        return -1;
    }
    COUNTED(NAME, -1);
    int result = real_renameat2(fromFolder, from, toFolder, to, flags);
    if (result == 0 && counted) {
        namesChanged(fromFolder, from);
        namesChanged(toFolder, to);
    }
    DONE(result);
}

int renameat(int fromFolder, const char *from, int toFolder, const char *to)
{
    return renameat2(fromFolder, from, toFolder, to, 0);
}

int rename(const char *from, const char *to)
{
    return renameat2(AT_FDCWD, from, AT_FDCWD, to, 0);
}

int unlinkat(int folder, const char *name, int flags)
{
    REAL(unlinkat);
    COUNTED(NAME, -1);
    int result = real_unlinkat(folder, name, flags);
    if (result == 0 && counted)
        namesChanged(folder, name);
    DONE(result);
}

int unlink(const char *name) { return unlinkat(AT_FDCWD, name, 0); }
int rmdir(const char *name) { return unlinkat(AT_FDCWD, name, AT_REMOVEDIR); }

int mkdirat(int folder, const char *name, mode_t perm)
{
    REAL(mkdirat);
    if (createsIn(folder, name)) {
        errno = EACCES;
        return -1;
    }
    COUNTED(NAME, -1);
    int result = real_mkdirat(folder, name, perm);
    if (result == 0 && counted)
        namesChanged(folder, name);
    DONE(result);
}

int mkdir(const char *name, mode_t perm) { return mkdirat(AT_FDCWD, name, perm); }

char *mkdtemp(char *pattern)
{
    REAL(mkdtemp);
    if (createsIn(AT_FDCWD, pattern)) {
        errno = EACCES;
        return NULL;
    }
    COUNTED(NAME, NULL);
    char *made = real_mkdtemp(pattern);
    if (made && counted)
        namesChanged(AT_FDCWD, made);
    DONE(made);
}

int fchmod(int fd, mode_t perm)
{
    REAL(fchmod);
    COUNTED(META, -1);
    int result = real_fchmod(fd, perm);
    if (result == 0 && counted)
        contentChanged(fd);
    DONE(result);
}

int fchown(int fd, uid_t owner, gid_t group)
{
    REAL(fchown);
    COUNTED(META, -1);
    int result = real_fchown(fd, owner, group);
    if (result == 0 && counted)
        contentChanged(fd);
    DONE(result);
}
