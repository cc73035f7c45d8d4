// Tests of the packet buffer: byte order, bounds, accessors.
#include "qzproc.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <vector>

namespace {

using BufPtr = std::unique_ptr<PacketBuffer, decltype(&pbufFree)>;

BufPtr makeBuf(int capacity, int bigEndian)
{
  return BufPtr(pbufCreate(capacity, bigEndian), &pbufFree);
}

std::vector<unsigned char> written(PacketBuffer *b)
{
  return std::vector<unsigned char>(pbufData(b), pbufData(b) + pbufPos(b));
}

TEST(PacketBuffer, CreateZeroFillsAndNormalisesByteOrderFlag)
{
  BufPtr b = makeBuf(8, 7);
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(b->bigEndian, 1);
  EXPECT_EQ(pbufPos(b.get()), 0);
  EXPECT_EQ(pbufCapacity(b.get()), 8);
  for (int i = 0; i < 8; i++)
    EXPECT_EQ(pbufData(b.get())[i], 0) << i;
}

TEST(PacketBuffer, NullBufferAccessorsAndPutsFail)
{
  EXPECT_EQ(pbufData(nullptr), nullptr);
  EXPECT_EQ(pbufPos(nullptr), -1);
  EXPECT_EQ(pbufSetPos(nullptr, 3), -1);
  EXPECT_EQ(pbufCapacity(nullptr), -1);
  pbufFree(nullptr);
  int16_t s = 5;
  EXPECT_EQ(pbufPutShort(nullptr, 1), -1);
  EXPECT_EQ(pbufGetShort(nullptr, &s), -1);
  EXPECT_EQ(s, 5);
}

TEST(PacketBuffer, PutsFollowByteOrder)
{
  struct Case {
    const char *name;
    int bigEndian;
    std::function<int(PacketBuffer *)> put;
    std::vector<unsigned char> want;
  };
  const Case cases[] = {
      {"short 258 little", 0, [](PacketBuffer *b) { return pbufPutShort(b, 258); }, {0x02, 0x01}},
      {"short 258 big", 1, [](PacketBuffer *b) { return pbufPutShort(b, 258); }, {0x01, 0x02}},
      {"short -1", 0, [](PacketBuffer *b) { return pbufPutShort(b, -1); }, {0xff, 0xff}},
      {"long little", 0, [](PacketBuffer *b) { return pbufPutLong(b, 0x01020304); },
       {0x04, 0x03, 0x02, 0x01}},
      {"long big", 1, [](PacketBuffer *b) { return pbufPutLong(b, 0x01020304); },
       {0x01, 0x02, 0x03, 0x04}},
      {"long keeps low 32 bits", 0,
       [](PacketBuffer *b) { return pbufPutLong(b, 0x1234500000002LL); }, {0x02, 0x00, 0x00, 0x00}},
      {"int 1", 0, [](PacketBuffer *b) { return pbufPutInt(b, 1); }, {0x01, 0x00, 0x00, 0x00}},
      {"int -2 big", 1, [](PacketBuffer *b) { return pbufPutInt(b, -2); },
       {0xff, 0xff, 0xff, 0xfe}},
      {"byte keeps low 8 bits", 0, [](PacketBuffer *b) { return pbufPutByte(b, 0x1ab); }, {0xab}},
      {"bytes", 1, [](PacketBuffer *b) { return pbufPutBytes(b, "ab", 2); }, {'a', 'b'}},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    BufPtr b = makeBuf(8, c.bigEndian);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(c.put(b.get()), static_cast<int>(c.want.size()));
    EXPECT_EQ(written(b.get()), c.want);
  }
}

TEST(PacketBuffer, GetsFollowByteOrderAndSignExtend)
{
  const unsigned char ff[4] = {0xff, 0xff, 0xff, 0xff};
  const unsigned char seq[4] = {0x01, 0x02, 0x03, 0x84};
  struct Case {
    const char *name;
    const unsigned char *bytes;
    int bigEndian;
    int64_t wantLong;
    int16_t wantShort;
  };
  const Case cases[] = {
      {"all ones", ff, 0, -1, -1},
      {"little", seq, 0, static_cast<int32_t>(0x84030201u), 0x0201},
      {"big", seq, 1, 0x01020384, 0x0102},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    BufPtr b = makeBuf(4, c.bigEndian);
    ASSERT_EQ(pbufPutBytes(b.get(), c.bytes, 4), 4);
    pbufSetPos(b.get(), 0);
    int64_t l = 0;
    EXPECT_EQ(pbufGetLong(b.get(), &l), 4);
    EXPECT_EQ(l, c.wantLong);
    pbufSetPos(b.get(), 0);
    int i = 0;
    EXPECT_EQ(pbufGetInt(b.get(), &i), 4);
    EXPECT_EQ(i, static_cast<int>(c.wantLong));
    pbufSetPos(b.get(), 0);
    int16_t s = 0;
    EXPECT_EQ(pbufGetShort(b.get(), &s), 2);
    EXPECT_EQ(s, c.wantShort);
    uint8_t by = 0;
    EXPECT_EQ(pbufGetByte(b.get(), &by), 1);
    EXPECT_EQ(by, c.bytes[2]);
    unsigned char last = 0;
    EXPECT_EQ(pbufGetBytes(b.get(), &last, 1), 1);
    EXPECT_EQ(last, c.bytes[3]);
    EXPECT_EQ(pbufPos(b.get()), 4);
  }
}

// Every put and get moves k bytes only when pos + k fits in the capacity;
// a refused one leaves the storage, pos and the caller's variable alone.
TEST(PacketBuffer, BoundsRuleForEveryOperation)
{
  struct Case {
    const char *name;
    int pos;
    std::function<int(PacketBuffer *)> op;
    int want;
  };
  const Case cases[] = {
      {"short at 4 fits", 4, [](PacketBuffer *b) { return pbufPutShort(b, 9); }, 2},
      {"short at 5", 5, [](PacketBuffer *b) { return pbufPutShort(b, 9); }, -1},
      {"short at 6", 6, [](PacketBuffer *b) { return pbufPutShort(b, 9); }, -1},
      {"long at 2 fits", 2, [](PacketBuffer *b) { return pbufPutLong(b, 9); }, 4},
      {"long at 3", 3, [](PacketBuffer *b) { return pbufPutLong(b, 9); }, -1},
      {"int at 3", 3, [](PacketBuffer *b) { return pbufPutInt(b, 9); }, -1},
      {"byte at 5 fits", 5, [](PacketBuffer *b) { return pbufPutByte(b, 9); }, 1},
      {"byte at 6", 6, [](PacketBuffer *b) { return pbufPutByte(b, 9); }, -1},
      {"no bytes at 6 fits", 6, [](PacketBuffer *b) { return pbufPutBytes(b, "", 0); }, 0},
      {"3 bytes at 4", 4, [](PacketBuffer *b) { return pbufPutBytes(b, "xyz", 3); }, -1},
      {"negative count", 0, [](PacketBuffer *b) { return pbufPutBytes(b, "x", -1); }, -1},
      {"get short at 5", 5, [](PacketBuffer *b) { int16_t v = 77; int r = pbufGetShort(b, &v); return v == 77 ? r : 100; }, -1},
      {"get long at 3", 3, [](PacketBuffer *b) { int64_t v = 77; int r = pbufGetLong(b, &v); return v == 77 ? r : 100; }, -1},
      {"get int at 3", 3, [](PacketBuffer *b) { int v = 77; int r = pbufGetInt(b, &v); return v == 77 ? r : 100; }, -1},
      {"get byte at 6", 6, [](PacketBuffer *b) { uint8_t v = 77; int r = pbufGetByte(b, &v); return v == 77 ? r : 100; }, -1},
      {"get 2 bytes at 5", 5, [](PacketBuffer *b) { char v[2] = {'q', 'q'}; int r = pbufGetBytes(b, v, 2); return v[0] == 'q' ? r : 100; }, -1},
      {"get no bytes at 6", 6, [](PacketBuffer *b) { return pbufGetBytes(b, nullptr, 0); }, 0},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    BufPtr b = makeBuf(6, 0);
    ASSERT_NE(b, nullptr);
    memset(pbufData(b.get()), 0x5a, 6);
    pbufSetPos(b.get(), c.pos);
    EXPECT_EQ(c.op(b.get()), c.want);
    EXPECT_EQ(pbufPos(b.get()), c.want < 0 ? c.pos : c.pos + c.want);
    if (c.want < 0) {
      for (int i = 0; i < 6; i++)
        EXPECT_EQ(pbufData(b.get())[i], 0x5a) << i;
    }
  }
}

TEST(PacketBuffer, ThreeShortsFillCapacitySixAndAFourthIsRefused)
{
  BufPtr b = makeBuf(6, 0);
  EXPECT_EQ(pbufPutShort(b.get(), 1), 2);
  EXPECT_EQ(pbufPutShort(b.get(), 2), 2);
  EXPECT_EQ(pbufPutShort(b.get(), 3), 2);
  EXPECT_EQ(pbufPutShort(b.get(), 4), -1);
  EXPECT_EQ(pbufPos(b.get()), 6);
  EXPECT_EQ(written(b.get()), (std::vector<unsigned char>{1, 0, 2, 0, 3, 0}));
}

TEST(PacketBuffer, ZeroCapacityBufferIsValidAndRefusesEveryItem)
{
  BufPtr b = makeBuf(0, 0);
  ASSERT_NE(b, nullptr);
  EXPECT_NE(pbufData(b.get()), nullptr);
  EXPECT_EQ(pbufPutByte(b.get(), 1), -1);
  EXPECT_EQ(pbufPutBytes(b.get(), nullptr, 0), 0);
  EXPECT_EQ(pbufCreate(-1, 0), nullptr);
}

} // namespace
