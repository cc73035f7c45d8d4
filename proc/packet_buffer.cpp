// Fixed-capacity byte buffer with one cursor, used to build and parse packets.
#include "qzproc.h"

#include <cstdlib>
#include <cstring>

namespace {

// 'fits()' - Tell whether k more bytes fit between pos and the capacity.
bool fits(const PacketBuffer *buf, int k)
{
  return buf != nullptr && k >= 0 && buf->pos >= 0 &&
         static_cast<int64_t>(buf->pos) + k <= buf->capacity;
}

// 'putUnsigned()' - Write the low k bytes of value in the buffer's byte order.
int putUnsigned(PacketBuffer *buf, uint32_t value, int k)
{
  if (!fits(buf, k))
    return -1;
  unsigned char *p = buf->data + buf->pos;
  for (int i = 0; i < k; i++) {
    int shift = buf->bigEndian ? 8 * (k - 1 - i) : 8 * i;
    p[i] = static_cast<unsigned char>(value >> shift);
  }
  buf->pos += k;
  return k;
}

// 'getUnsigned()' - Read k bytes in the buffer's byte order; -1 when they do not fit.
int getUnsigned(PacketBuffer *buf, uint32_t *value, int k)
{
  if (!fits(buf, k))
    return -1;
  const unsigned char *p = buf->data + buf->pos;
  uint32_t v = 0;
  for (int i = 0; i < k; i++) {
    int shift = buf->bigEndian ? 8 * (k - 1 - i) : 8 * i;
    v |= static_cast<uint32_t>(p[i]) << shift;
  }
  *value = v;
  buf->pos += k;
  return k;
}

} // namespace

// 'pbufCreate()' - Allocate a buffer with zero-filled storage and pos 0.
PacketBuffer *pbufCreate(int capacity, int bigEndian)
{
  if (capacity < 0)
    return nullptr;
  auto *buf = static_cast<PacketBuffer *>(calloc(1, sizeof(PacketBuffer)));
  if (buf == nullptr)
    return nullptr;
  // calloc(0) may give null; one spare byte keeps an empty buffer valid.
  buf->data = static_cast<unsigned char *>(calloc(static_cast<size_t>(capacity) + 1, 1));
  if (buf->data == nullptr) {
    free(buf);
    return nullptr;
  }
  buf->capacity = capacity;
  buf->bigEndian = bigEndian ? 1 : 0;
  buf->pos = 0;
  return buf;
}

// 'pbufFree()' - Free the storage and the record; null is ignored.
void pbufFree(PacketBuffer *buf)
{
  if (buf == nullptr)
    return;
  free(buf->data);
  free(buf);
}

// 'pbufData()' - Return the storage pointer, or null for a null buffer.
unsigned char *pbufData(PacketBuffer *buf)
{
  return buf ? buf->data : nullptr;
}

// 'pbufPos()' - Return the cursor, or -1 for a null buffer.
int pbufPos(const PacketBuffer *buf)
{
  return buf ? buf->pos : -1;
}

// 'pbufSetPos()' - Move the cursor without a bounds test; -1 for a null buffer.
int pbufSetPos(PacketBuffer *buf, int pos)
{
  if (buf == nullptr)
    return -1;
  buf->pos = pos;
  return pos;
}

// 'pbufCapacity()' - Return the capacity, or -1 for a null buffer.
int pbufCapacity(const PacketBuffer *buf)
{
  return buf ? buf->capacity : -1;
}

// 'pbufPutByte()' - Append the low 8 bits of value.
int pbufPutByte(PacketBuffer *buf, int value)
{
  return putUnsigned(buf, static_cast<uint32_t>(value), 1);
}

// 'pbufPutShort()' - Append a 16-bit value.
int pbufPutShort(PacketBuffer *buf, int16_t value)
{
  return putUnsigned(buf, static_cast<uint16_t>(value), 2);
}

// 'pbufPutLong()' - Append the low 32 bits of value.
int pbufPutLong(PacketBuffer *buf, int64_t value)
{
  return putUnsigned(buf, static_cast<uint32_t>(value), 4);
}

// 'pbufPutInt()' - Append an int as 32 bits.
int pbufPutInt(PacketBuffer *buf, int value)
{
  return pbufPutLong(buf, value);
}

// 'pbufPutBytes()' - Append n bytes from src.
int pbufPutBytes(PacketBuffer *buf, const void *src, int n)
{
  if (!fits(buf, n) || (n > 0 && src == nullptr))
    return -1;
  if (n > 0)
    memcpy(buf->data + buf->pos, src, static_cast<size_t>(n));
  buf->pos += n;
  return n;
}

// 'pbufGetByte()' - Read one byte.
int pbufGetByte(PacketBuffer *buf, uint8_t *value)
{
  uint32_t v = 0;
  if (value == nullptr || getUnsigned(buf, &v, 1) < 0)
    return -1;
  *value = static_cast<uint8_t>(v);
  return 1;
}

// 'pbufGetShort()' - Read a 16-bit value.
int pbufGetShort(PacketBuffer *buf, int16_t *value)
{
  uint32_t v = 0;
  if (value == nullptr || getUnsigned(buf, &v, 2) < 0)
    return -1;
  *value = static_cast<int16_t>(static_cast<uint16_t>(v));
  return 2;
}

// 'pbufGetLong()' - Read 32 bits and store them sign-extended.
int pbufGetLong(PacketBuffer *buf, int64_t *value)
{
  uint32_t v = 0;
  if (value == nullptr || getUnsigned(buf, &v, 4) < 0)
    return -1;
  *value = static_cast<int32_t>(v);
  return 4;
}

// 'pbufGetInt()' - Read 32 bits into an int; the int changes only on success.
int pbufGetInt(PacketBuffer *buf, int *value)
{
  int64_t v = 0;
  if (value == nullptr || pbufGetLong(buf, &v) < 0)
    return -1;
  *value = static_cast<int>(v);
  return 4;
}

// 'pbufGetBytes()' - Copy n bytes out to dst.
int pbufGetBytes(PacketBuffer *buf, void *dst, int n)
{
  if (!fits(buf, n) || (n > 0 && dst == nullptr))
    return -1;
  if (n > 0)
    memcpy(dst, buf->data + buf->pos, static_cast<size_t>(n));
  buf->pos += n;
  return n;
}
