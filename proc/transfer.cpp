// Command packets, job data and responses on a module child's pipes.
#include "qzproc_internal.h"

#include <array>
#include <cstdlib>

namespace {

constexpr int kHeaderSize = 4;   // code, payload length
constexpr int kResponseSize = 6; // echo, result, payload length

// 'dropBytes()' - Read and discard n bytes so the stream stays in step.
int dropBytes(int fd, size_t n)
{
  std::array<unsigned char, 4096> scratch;
  while (n > 0) {
    size_t k = n < scratch.size() ? n : scratch.size();
    if (qzprocReadAll(fd, scratch.data(), k) < 0)
      return -1;
    n -= k;
  }
  return 0;
}

// 'readPayload()' - Take L payload bytes into a fresh block, or drop them without a place.
int readPayload(int fd, int len, unsigned char **payload)
{
  if (payload == nullptr)
    return dropBytes(fd, static_cast<size_t>(len));
  auto *block = static_cast<unsigned char *>(malloc(static_cast<size_t>(len)));
  if (block == nullptr) { // the payload stays in the pipe
    *payload = nullptr;
    return 0;
  }
  if (qzprocReadAll(fd, block, static_cast<size_t>(len)) < 0) {
    free(block); // a partial payload is never handed out
    return -1;
  }
  *payload = block;
  return 0;
}

} // namespace

// 'qzprocWriteCommand()' - Write one command packet: code, length, payload.
int qzprocWriteCommand(ModuleFds fds, uint16_t code, const void *payload, int length)
{
  // The length field holds 16 bits; a longer payload would desynchronise the module.
  if (length < 0 || length > QZPROC_MAX_PAYLOAD || (length > 0 && payload == nullptr))
    return -1;
  PacketBuffer *buf = pbufCreate(length + kHeaderSize, 0);
  if (buf == nullptr)
    return -1;
  pbufPutShort(buf, static_cast<int16_t>(code));
  pbufPutShort(buf, static_cast<int16_t>(length));
  pbufPutBytes(buf, payload, length);
  int rc = qzprocWriteAll(fds.cmd_fd, pbufData(buf), static_cast<size_t>(pbufPos(buf)));
  if (rc < 0)
    debugTrace("qzprocWriteCommand\n");
  pbufFree(buf);
  return rc;
}

// 'qzprocWriteData()' - Write raw job bytes on the data pipe.
int qzprocWriteData(ModuleFds fds, const void *data, int count)
{
  if (count <= 0)
    return 0;
  if (data == nullptr || qzprocWriteAll(fds.dat_fd, data, static_cast<size_t>(count)) < 0) {
    debugTrace("qzprocWriteData: Error\n");
    return -1;
  }
  return 0;
}

// 'qzprocReadResponse()' - Read one response; its result, or -1 for a bad read or echo.
int qzprocReadResponse(ModuleFds fds, int expected, int *payloadLen,
                       unsigned char **payload)
{
  std::array<unsigned char, kResponseSize> header;
  if (qzprocReadAll(fds.res_fd, header.data(), header.size()) < 0)
    return -1;
  PacketBuffer *buf = pbufCreate(kResponseSize, 0);
  if (buf == nullptr)
    return -1;
  pbufPutBytes(buf, header.data(), kResponseSize);
  pbufSetPos(buf, 0);
  int16_t echo = 0, result = 0, len = 0;
  pbufGetShort(buf, &echo);
  pbufGetShort(buf, &result);
  pbufGetShort(buf, &len);
  pbufFree(buf);
  if (echo != expected)
    return -1; // the rest of that response stays in the pipe
  if (len > 0 && readPayload(fds.res_fd, len, payload) < 0)
    return -1;
  if (payloadLen != nullptr)
    *payloadLen = len;
  return result;
}
