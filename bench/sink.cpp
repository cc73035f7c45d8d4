// A pipe's far end for throughput runs: reads 65536-byte blocks and drops them.
#include <unistd.h>

static char buffer[65536];

// 'main()' - Read standard input to its end.
int main()
{
  ssize_t n;
  while ((n = read(0, buffer, sizeof buffer)) > 0) {
  }
  return n < 0 ? 1 : 0;
}
