// The bare pass-through loop: 65536-byte reads, each block written out
// whole, nothing else. It is the ceiling that pass-through mode is held to.
#include <fcntl.h>
#include <unistd.h>

static char buffer[65536];

// 'writeAll()' - Write every byte of a block, continuing after partial writes.
static bool writeAll(const char *data, ssize_t len)
{
  while (len > 0) {
    ssize_t n = write(1, data, static_cast<size_t>(len));
    if (n < 0)
      return false;
    data += n;
    len -= n;
  }
  return true;
}

// 'main()' - Copy the named file (or standard input) to standard output.
int main(int argc, char **argv)
{
  int fd = 0;
  if (argc > 1 && (fd = open(argv[1], O_RDONLY)) < 0)
    return 2;
  for (;;) {
    ssize_t n = read(fd, buffer, sizeof buffer);
    if (n == 0)
      return 0;
    if (n < 0 || !writeAll(buffer, n))
      return 1;
  }
}
