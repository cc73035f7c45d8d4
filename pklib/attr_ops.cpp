// Attribute texts, integer values and the start of output.
#include "qzpk.h"

#include <array>
#include <cstring>

namespace {

// 'exchange()' - Send one command and return the module's result for it.
int exchange(OutputContext *ctx, uint16_t code, const void *payload, int length)
{
  if (qzprocWriteCommand(ctx->fds, code, payload, length) != 0)
    return -1;
  return qzprocReadResponse(ctx->fds, code, nullptr, nullptr);
}

// 'setText()' - Hand a text to the module, or record its pairs in pass-through mode.
int setText(OutputContext *ctx, uint16_t code, const char *text)
{
  if (ctx == nullptr)
    return -1;
  if (ctx->mode == 0)
    return parseAttrText(&ctx->attrs, text) < 0 ? -1 : 0;
  if (text == nullptr)
    return -1;
  // The text travels with its NUL, inside a 16-bit payload length.
  size_t length = strlen(text) + 1;
  if (length > QZPROC_MAX_PAYLOAD)
    return -1;
  return exchange(ctx, code, text, static_cast<int>(length));
}

// 'setValue()' - Hand a 32-bit value to the module, least significant byte first.
int setValue(OutputContext *ctx, uint16_t code, int32_t value)
{
  if (ctx == nullptr)
    return -1;
  if (ctx->mode == 0)
    return 0; // no text form to record
  auto bits = static_cast<uint32_t>(value);
  std::array<unsigned char, 4> payload;
  for (size_t i = 0; i < payload.size(); i++)
    payload[i] = static_cast<unsigned char>(bits >> (8 * i));
  return exchange(ctx, code, payload.data(), static_cast<int>(payload.size()));
}

} // namespace

// 'qzpkSetJobAttr()' - Pass the job parameter string on.
int qzpkSetJobAttr(OutputContext *ctx, const char *text)
{
  return setText(ctx, CMD_SET_JOB_ATTR, text);
}

// 'qzpkSetAttrCmd4()' - Pass an attribute text on as command 4.
int qzpkSetAttrCmd4(OutputContext *ctx, const char *text)
{
  return setText(ctx, CMD_ATTR_4, text);
}

// 'qzpkSetAttrCmd6()' - Pass an attribute text on as command 6.
int qzpkSetAttrCmd6(OutputContext *ctx, const char *text)
{
  return setText(ctx, CMD_ATTR_6, text);
}

// 'qzpkSetValueCmd18()' - Pass a value on as command 18.
int qzpkSetValueCmd18(OutputContext *ctx, int32_t value)
{
  return setValue(ctx, CMD_VALUE_18, value);
}

// 'qzpkSetValueCmd19()' - Pass a value on as command 19.
int qzpkSetValueCmd19(OutputContext *ctx, int32_t value)
{
  return setValue(ctx, CMD_VALUE_19, value);
}

// 'qzpkStartOutput()' - Tell the module that output begins.
int qzpkStartOutput(OutputContext *ctx)
{
  if (ctx == nullptr)
    return -1;
  if (ctx->mode == 0)
    return 0;
  return exchange(ctx, CMD_START_OUTPUT, nullptr, 0);
}
