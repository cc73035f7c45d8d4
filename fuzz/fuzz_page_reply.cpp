// Fuzz target: a module's reply to the page set-up query, with the fuzzed
// bytes as its payload, read off a result pipe as module mode reads it and
// parsed into the caller's record.
#include "qzpk.h"
#include "qzpk_internal.h"
#include "qzproc.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <unistd.h>

namespace {

// The payload length travels as a signed 16-bit count.
constexpr size_t kMaxPayload = 32767;

// 'putShort()' - Store a little-endian 16-bit value.
void putShort(unsigned char *p, int value)
{
  p[0] = static_cast<unsigned char>(value & 0xff);
  p[1] = static_cast<unsigned char>((value >> 8) & 0xff);
}

} // namespace

// 'LLVMFuzzerTestOneInput()' - Answer command 17 with the input and parse the reply.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
  if (size > kMaxPayload)
    size = kMaxPayload;
  int p[2];
  if (pipe(p) < 0)
    return 0;
  unsigned char header[6];
  putShort(header, CMD_GET_PAGE_ATTR);
  putShort(header + 2, 0);
  putShort(header + 4, static_cast<int>(size));
  if (write(p[1], header, sizeof(header)) != static_cast<ssize_t>(sizeof(header)) ||
      (size > 0 && write(p[1], data, size) != static_cast<ssize_t>(size)))
    abort(); // both fit in an empty pipe
  close(p[1]);

  ModuleFds fds = {-1, p[0], -1};
  int length = 0;
  unsigned char *payload = nullptr;
  PageAttr attr;
  memset(&attr, 0, sizeof(attr));
  if (qzprocReadResponse(fds, CMD_GET_PAGE_ATTR, &length, &payload) == 0)
    qzpkParsePageReply(payload, length, &attr); // payload holds exactly length bytes
  free(payload);
  close(p[0]);
  for (const auto &field :
       {attr.page_name, attr.page_orient, attr.resolution, attr.color_mode, attr.media_type,
        attr.toner_save, attr.bind_edge, attr.bind_edge_shift, attr.duplex})
    if (strnlen(field, 64) == 64)
      abort();
  return 0;
}
