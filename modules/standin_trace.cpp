// Trace file of the stand-in modules: one appended line per event.
#include "standin.h"

#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

// 'standinTraceOpen()' - Open the trace file named by the environment, or -1.
int standinTraceOpen()
{
  const char *path = getenv("TOVEFILT_STANDIN_TRACE");
  if (path == nullptr || *path == '\0')
    return -1;
  return open(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
}

// 'standinTraceLine()' - Append line and a newline in one write.
void standinTraceLine(int fd, std::string_view line)
{
  if (fd < 0)
    return;
  std::string out(line);
  out += '\n';
  ssize_t ignored = write(fd, out.data(), out.size());
  (void)ignored; // tracing never changes the module's behaviour
}

// 'isTracedText()' - True when only the last byte is NUL and no byte is a control.
static bool isTracedText(const unsigned char *p, size_t n)
{
  if (n == 0 || p[n - 1] != 0)
    return false;
  for (size_t i = 0; i + 1 < n; i++)
    if (p[i] < 0x20 || p[i] == 0x7f)
      return false;
  return true;
}

// 'standinTracePayload()' - Render a payload as -, text:<chars> or hex:<bytes>.
std::string standinTracePayload(const unsigned char *p, size_t n)
{
  if (n == 0)
    return "-";
  if (isTracedText(p, n))
    return "text:" + std::string(reinterpret_cast<const char *>(p), n - 1);
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out = "hex:";
  for (size_t i = 0; i < n; i++) {
    out += kHex[p[i] >> 4];
    out += kHex[p[i] & 15];
  }
  return out;
}
