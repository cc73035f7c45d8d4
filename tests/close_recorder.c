/*
 * Preloaded into a program under test: records every close() it makes, as
 * "<pid> <fd> <what the descriptor referred to>", in the file named by
 * TOVEFILT_CLOSE_LOG. Lets a test see which descriptors a program closes
 * itself, which the end of the process would otherwise hide.
 */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

/* 'close()' - Log the descriptor and what it refers to, then close it. */
int close(int fd) /* I - Descriptor */
{
  static int (*realClose)(int);
  if (realClose == NULL) {
    void *sym = dlsym(RTLD_NEXT, "close");
    memcpy(&realClose, &sym, sizeof realClose); /* POSIX-sanctioned, ISO C-clean */
  }

  const char *log = getenv("TOVEFILT_CLOSE_LOG");
  if (log != NULL) {
    char link[64], target[1024], line[1200];
    snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    ssize_t n = readlink(link, target, sizeof target - 1);
    target[n > 0 ? n : 0] = '\0';
    int len = snprintf(line, sizeof line, "%d %d %s\n", (int)getpid(), fd, target);
    int logFd = open(log, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
    if (logFd >= 0) {
      if (write(logFd, line, (size_t)len) < 0) {
        /* nothing to report to: the test sees the line missing */
      }
      realClose(logFd);
    }
  }
  return realClose(fd);
}
