// Job data: the batch, its chunks to the module, and the closing commands.
#include "qzpk.h"
#include "qzproc_internal.h"

#include <cerrno>
#include <charconv>
#include <cstring>

namespace {

// What became of one chunk offered to the module.
enum class Chunk {
  Accepted,    // answered with result 0
  Refused,     // answered with another result, or no readable answer
  Unannounced, // command 7 could not be written: nothing else was sent
  Unsent       // the data could not be written: an answer may never come
};

// 'sendChunk()' - Announce n bytes with command 7, write them and read the answer.
Chunk sendChunk(OutputContext *ctx, const unsigned char *bytes, int32_t n)
{
  char text[16];
  auto end = std::to_chars(text, text + sizeof(text) - 1, n).ptr;
  *end = '\0';
  int length = static_cast<int>(end - text) + 1;
  if (qzprocWriteCommand(ctx->fds, CMD_SEND_DATA, text, length) != 0)
    return Chunk::Unannounced;
  // A module short of its announced bytes may never answer: do not wait.
  if (qzprocWriteData(ctx->fds, bytes, n) != 0)
    return Chunk::Unsent;
  if (qzprocReadResponse(ctx->fds, CMD_SEND_DATA, nullptr, nullptr) != 0)
    return Chunk::Refused;
  return Chunk::Accepted;
}

// 'sendBatch()' - Send the waiting bytes as one chunk; empty the batch once accepted.
Chunk sendBatch(OutputContext *ctx)
{
  Chunk outcome = sendChunk(ctx, ctx->batch, ctx->batchLen);
  if (outcome == Chunk::Accepted)
    ctx->batchLen = 0;
  return outcome;
}

// 'batchData()' - Module mode: gather data and send it in chunks of at most 4096 bytes.
int batchData(OutputContext *ctx, const unsigned char *p, int32_t length)
{
  if (static_cast<int64_t>(ctx->batchLen) + length < QZPK_BATCH_SIZE) {
    memcpy(ctx->batch + ctx->batchLen, p, static_cast<size_t>(length));
    ctx->batchLen += length;
    return 0;
  }
  // The earlier batch goes out alone; full chunks carry only new data.
  if (ctx->batchLen > 0 && sendBatch(ctx) != Chunk::Accepted)
    return -1;
  for (; length >= QZPK_BATCH_SIZE; p += QZPK_BATCH_SIZE, length -= QZPK_BATCH_SIZE) {
    if (sendChunk(ctx, p, QZPK_BATCH_SIZE) != Chunk::Accepted)
      return -1;
  }
  memcpy(ctx->batch, p, static_cast<size_t>(length));
  ctx->batchLen = length;
  return 0;
}

// 'closeCommand()' - Send the batch, then a closing command; report a lost batch.
int closeCommand(OutputContext *ctx, uint16_t code, const char *message)
{
  bool batchLost = ctx->batchLen > 0 && sendBatch(ctx) != Chunk::Accepted;
  // The module expects the closing command even after a refused batch.
  if (qzprocWriteCommand(ctx->fds, code, nullptr, 0) != 0) {
    printError("%s", message);
    return -1;
  }
  int result = qzprocReadResponse(ctx->fds, code, nullptr, nullptr);
  if (result < 0)
    return result;
  return batchLost ? -1 : result;
}

} // namespace

// 'qzpkSendData()' - Queue job data for the module, sending full 4 KiB chunks.
int qzpkSendData(OutputContext *ctx, const void *data, int32_t length)
{
  if (ctx == nullptr || length < 0 || (data == nullptr && length > 0)) {
    errno = EINVAL;
    return -1;
  }
  if (length == 0)
    return 0;
  const auto *p = static_cast<const unsigned char *>(data);
  if (ctx->mode == 0)
    return qzprocWriteAll(ctx->outFd, p, static_cast<size_t>(length));
  return batchData(ctx, p, length);
}

// 'qzpkFlushSendData()' - Send the batch, then command 8.
int qzpkFlushSendData(OutputContext *ctx)
{
  if (ctx == nullptr)
    return -1;
  if (ctx->mode == 0)
    return 0;
  return closeCommand(ctx, CMD_FLUSH_SEND_DATA, "qzpklib -->qzpkFlushSendData\n");
}

// 'qzpkEndOutput()' - Send the batch, then command 2.
int qzpkEndOutput(OutputContext *ctx)
{
  if (ctx == nullptr)
    return -1;
  if (ctx->mode == 0)
    return 0;
  return closeCommand(ctx, CMD_END_OUTPUT, "qzpklib -->qzpkEndOutput\n");
}

// 'qzpkNextPage()' - Send the batch, then command 16; count pages in pass-through mode.
int qzpkNextPage(OutputContext *ctx)
{
  if (ctx == nullptr)
    return -1;
  if (ctx->mode == 0) {
    ctx->pageCount++;
    return 0;
  }
  if (ctx->batchLen > 0) {
    Chunk outcome = sendBatch(ctx);
    // A refused page must not be broken; an unannounced batch waits for later.
    if (outcome == Chunk::Refused || outcome == Chunk::Unsent)
      return -1;
  }
  if (qzprocWriteCommand(ctx->fds, CMD_NEXT_PAGE, nullptr, 0) != 0) {
    printError("%s", "qzpklib -->qzpkNextPage\n");
    return -1;
  }
  return qzprocReadResponse(ctx->fds, CMD_NEXT_PAGE, nullptr, nullptr);
}
