/* Preloaded into quadrell, makes each opening of a file under
 * QUADRELL_SLOW_FOLDER, and each read of such a file, wait 1 ms first, as a
 * network share or a card does: storage whose cost is its latency. With
 * QUADRELL_SLOW_VARIES set, each wait is drawn evenly from 0 to 2 ms instead
 * (1 ms on average), as a disk's seeks and a share's round trips vary.
 * quadrell is built with 64-bit file offsets, so openat64, pread64 and
 * preadv64v2 are what it calls (__openat64_2 where _FORTIFY_SOURCE is on, as
 * in the package's build); the header walk floor calls open and pread.
 * A read that may not wait (RWF_NOWAIT) finds nothing in the cache, as on
 * such storage. Files elsewhere are read at the page cache's pace. Built as
 * a shared library by bench/read_ahead_bench.sh. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <fcntl.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <errno.h>
#include <sys/types.h>
#include <sys/uio.h>
#include <time.h>
#include <unistd.h>

static void wait_a_millisecond(void) {
  static __thread unsigned seed;
  if (seed == 0) seed = (unsigned)(size_t)&seed ^ (unsigned)time(NULL);
  const long nanoseconds =
      getenv("QUADRELL_SLOW_VARIES") != NULL ? (long)(rand_r(&seed) % 2000001) : 1000000L;
  const struct timespec pause = {0, nanoseconds};
  nanosleep(&pause, NULL);
}

static int under_slow_folder(const char* path) {
  const char* slow = getenv("QUADRELL_SLOW_FOLDER");
  return slow != NULL && strncmp(path, slow, strlen(slow)) == 0;
}

/* Only the reads of files under the slow folder wait, so that a run over a
 * tree meets slow and fast storage in turn; a descriptor is known by the
 * path the system gives for it. */
static int slow_reads(int fd) {
  char link[64];
  char where[4096];
  snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
  const ssize_t length = readlink(link, where, sizeof where - 1);
  if (length < 0) return 0;
  where[length] = '\0';
  return under_slow_folder(where);
}

/* A path under the slow folder, given whole or relative to an open folder. */
static int slow_path(int folder, const char* path) {
  if (folder == AT_FDCWD || path[0] == '/') return under_slow_folder(path);
  return slow_reads(folder);
}

int openat64(int folder, const char* path, int flags, ...) {
  static int (*real)(int, const char*, int, ...);
  if (!real) real = (int (*)(int, const char*, int, ...))dlsym(RTLD_NEXT, "openat64");
  va_list rest;
  va_start(rest, flags);
  const mode_t mode = (flags & O_CREAT) ? va_arg(rest, mode_t) : 0;
  va_end(rest);
  if (slow_path(folder, path)) wait_a_millisecond();
  return real(folder, path, flags, mode);
}

/* What a build with _FORTIFY_SOURCE calls for an opening without a mode. */
int __openat64_2(int folder, const char* path, int flags) {
  static int (*real)(int, const char*, int);
  if (!real) real = (int (*)(int, const char*, int))dlsym(RTLD_NEXT, "__openat64_2");
  if (slow_path(folder, path)) wait_a_millisecond();
  return real(folder, path, flags);
}

int __open64_2(const char* path, int flags) {
  static int (*real)(const char*, int);
  if (!real) real = (int (*)(const char*, int))dlsym(RTLD_NEXT, "__open64_2");
  if (slow_path(AT_FDCWD, path)) wait_a_millisecond();
  return real(path, flags);
}

ssize_t pread64(int fd, void* data, size_t size, off64_t offset) {
  static ssize_t (*real)(int, void*, size_t, off64_t);
  if (!real) real = (ssize_t (*)(int, void*, size_t, off64_t))dlsym(RTLD_NEXT, "pread64");
  if (slow_reads(fd)) wait_a_millisecond();
  return real(fd, data, size, offset);
}

int open(const char* path, int flags, ...) {
  static int (*real)(const char*, int, ...);
  if (!real) real = (int (*)(const char*, int, ...))dlsym(RTLD_NEXT, "open");
  va_list rest;
  va_start(rest, flags);
  const mode_t mode = (flags & O_CREAT) ? va_arg(rest, mode_t) : 0;
  va_end(rest);
  if (slow_path(AT_FDCWD, path)) wait_a_millisecond();
  return real(path, flags, mode);
}

ssize_t pread(int fd, void* data, size_t size, off_t offset) {
  static ssize_t (*real)(int, void*, size_t, off_t);
  if (!real) real = (ssize_t (*)(int, void*, size_t, off_t))dlsym(RTLD_NEXT, "pread");
  if (slow_reads(fd)) wait_a_millisecond();
  return real(fd, data, size, offset);
}

static ssize_t slow_preadv2(const char* name, int fd, const struct iovec* parts, int count,
                            off64_t offset, int flags) {
  ssize_t (*real)(int, const struct iovec*, int, off64_t, int) =
      (ssize_t (*)(int, const struct iovec*, int, off64_t, int))dlsym(RTLD_NEXT, name);
  if (slow_reads(fd)) {
    if (flags & RWF_NOWAIT) {
      errno = EAGAIN;
      return -1;
    }
    wait_a_millisecond();
  }
  return real(fd, parts, count, offset, flags);
}

ssize_t preadv64v2(int fd, const struct iovec* parts, int count, off64_t offset, int flags) {
  return slow_preadv2("preadv64v2", fd, parts, count, offset, flags);
}

ssize_t preadv2(int fd, const struct iovec* parts, int count, off_t offset, int flags) {
  return slow_preadv2("preadv2", fd, parts, count, offset, flags);
}
