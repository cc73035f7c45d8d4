// Whole-buffer blocking reads and writes on the channel's pipes.
#include "qzproc_internal.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

// 'qzprocWriteAll()' - Write n bytes, continuing after partial writes.
int qzprocWriteAll(int fd, const void *data, size_t n)
{
  auto *p = static_cast<const unsigned char *>(data);
  while (n > 0) {
    ssize_t w = write(fd, p, n);
    if (w < 0) // an interrupted write is not retried: the caller fails
      return -1;
    if (w == 0) { // no progress would ever follow
      errno = EIO;
      return -1;
    }
    p += w;
    n -= static_cast<size_t>(w);
  }
  return 0;
}

// 'qzprocReadAll()' - Read n bytes, continuing after partial reads; EOF fails.
int qzprocReadAll(int fd, void *data, size_t n)
{
  auto *p = static_cast<unsigned char *>(data);
  while (n > 0) {
    ssize_t r = read(fd, p, n);
    if (r < 0)
      return -1;
    // A module that has ended will never send the rest; say so in errno,
    // which the filter's error line reports, instead of leaving a stale one.
    if (r == 0) {
      errno = EPIPE;
      return -1;
    }
    p += r;
    n -= static_cast<size_t>(r);
  }
  return 0;
}

// 'qzprocJoinPath()' - Return a fresh block holding dir followed by name.
char *qzprocJoinPath(const char *dir, const char *name)
{
  size_t dl = strlen(dir), nl = strlen(name);
  auto *path = static_cast<char *>(calloc(dl + nl + 1, 1));
  if (path == nullptr)
    return nullptr;
  memcpy(path, dir, dl);
  memcpy(path + dl, name, nl);
  return path;
}
