// Test shim, preloaded into a converter run: the reads of one file pause once, after a number of
// its bytes were read, as a slow disk or a network share does. The programs the run starts read at
// full speed (the preload is not passed on).
//   TARN_SLOW_READ_PATH     the file's full path
//   TARN_SLOW_READ_AFTER    bytes read before the pause
//   TARN_SLOW_READ_SECONDS  length of the pause
#define _GNU_SOURCE
#include <dlfcn.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

static ssize_t (*realRead)(int, void*, size_t);
static char* slowPath;
static long long pauseAfter;
static unsigned pauseSeconds;
static long long bytesRead;
static int paused;

__attribute__((constructor)) static void setUp(void) {
  realRead = (ssize_t(*)(int, void*, size_t))dlsym(RTLD_NEXT, "read");
  const char* path = getenv("TARN_SLOW_READ_PATH");
  const char* after = getenv("TARN_SLOW_READ_AFTER");
  const char* seconds = getenv("TARN_SLOW_READ_SECONDS");
  if (path && after && seconds) {
    slowPath = strdup(path);
    pauseAfter = atoll(after);
    pauseSeconds = (unsigned)atoi(seconds);
  }
  unsetenv("LD_PRELOAD");
}

static int isSlowFile(int fd) {
  char link[64];
  char target[PATH_MAX];
  snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
  const ssize_t length = readlink(link, target, sizeof target - 1);
  if (length <= 0) return 0;
  target[length] = '\0';
  return strcmp(target, slowPath) == 0;
}

ssize_t read(int fd, void* buffer, size_t count) {
  if (!realRead) realRead = (ssize_t(*)(int, void*, size_t))dlsym(RTLD_NEXT, "read");
  const ssize_t got = realRead(fd, buffer, count);
  if (slowPath && got > 0 && !__atomic_load_n(&paused, __ATOMIC_SEQ_CST) && isSlowFile(fd)) {
    if (__atomic_add_fetch(&bytesRead, got, __ATOMIC_SEQ_CST) >= pauseAfter &&
        !__atomic_exchange_n(&paused, 1, __ATOMIC_SEQ_CST)) {
      sleep(pauseSeconds);
    }
  }
  return got;
}
