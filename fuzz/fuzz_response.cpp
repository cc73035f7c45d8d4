// Fuzz target: responses read from a result pipe that holds the fuzzed bytes,
// as a module that sends anything at all would leave them.
#include "qzproc.h"

#include <cstdint>
#include <cstdlib>
#include <unistd.h>

namespace {

// Codes a response may be expected for; the first input byte picks one.
constexpr int kExpected[] = {CMD_START_OUTPUT, CMD_END_OUTPUT, CMD_SET_JOB_ATTR,
                             CMD_SEND_DATA,    CMD_NEXT_PAGE,  CMD_GET_PAGE_ATTR};

// Stays below the smallest pipe capacity, so one write never blocks.
constexpr size_t kMaxBytes = size_t{4096} * 15;

// 'readAll()' - Read responses until the pipe gives no well-formed one.
void readAll(int fd, int expected)
{
  ModuleFds fds = {-1, fd, -1};
  for (int i = 0; i < 64; i++) {
    int len = -1;
    unsigned char *payload = nullptr;
    int rc = qzprocReadResponse(fds, expected, &len, &payload);
    free(payload);
    if (rc < -32768 || rc > 32767)
      abort(); // a result is a widened 16-bit value
    if (rc == -1 && len == -1)
      return; // a failed read or a wrong echo
  }
}

} // namespace

// 'LLVMFuzzerTestOneInput()' - Put the input in a pipe and read responses from it.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
  if (size == 0)
    return 0;
  int expected = kExpected[data[0] % (sizeof(kExpected) / sizeof(kExpected[0]))];
  data++;
  size--;
  if (size > kMaxBytes)
    size = kMaxBytes;
  int p[2];
  if (pipe(p) < 0)
    return 0;
  if (size > 0 && write(p[1], data, size) != static_cast<ssize_t>(size))
    abort();
  close(p[1]);
  readAll(p[0], expected);
  close(p[0]);
  return 0;
}
