// Tests of the attribute list and the parameter text parser.
#include "attr_internal.h"
#include "attr_list.h"
#include "media_size.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <ostream>
#include <random>
#include <string>
#include <vector>

// The test executable is linked with --wrap=malloc, so every malloc that
// the attribute code makes passes through here; an armed countdown makes
// exactly one of them fail.
extern "C" void *__real_malloc(size_t size);
static long mallocFailIn = 0;	// 0: never fail; n: the n-th call fails
static long mallocCalls = 0;

// '__wrap_malloc()' - Count allocations and fail the chosen one.
extern "C" void *__wrap_malloc(size_t size)
{
  mallocCalls++;
  if (mallocFailIn > 0 && --mallocFailIn == 0)
    return nullptr;
  return __real_malloc(size);
}

namespace {

struct Row {
  std::string name;
  std::string value;
  int updated;
  int origin;
  bool operator==(const Row &) const = default;
};

// 'operator<<()' - Show a row in failure messages.
std::ostream &operator<<(std::ostream &os, const Row &r)
{
  return os << "{\"" << r.name << "\", \"" << r.value << "\", upd " << r.updated
            << ", origin " << r.origin << "}";
}

// 'rows()' - Snapshot a list from the head, for whole-list comparison.
std::vector<Row> rows(const AttrNode *head)
{
  std::vector<Row> out;
  for (; head; head = head->next)
    out.push_back({head->name, head->value, head->updated, head->origin});
  return out;
}

// 'exactText()' - Copy a text into a buffer of exactly its size, so that
//                 the sanitizer catches a read past its NUL.
std::vector<char> exactText(const std::string &s)
{
  return std::vector<char>(s.c_str(), s.c_str() + s.size() + 1);
}

// 'parse()' - Parse a text into a list, from an exact-size buffer.
int parse(AttrNode **head, const std::string &text)
{
  std::vector<char> buf = exactText(text);
  return parseAttrText(head, buf.data());
}

struct ListGuard {
  AttrNode *head = nullptr;
  ~ListGuard() { attrFreeAll(head); }
};

struct ParseCase {
  const char *label;
  std::string text;
  int count;
  std::vector<Row> want;	// newest first
};

const std::vector<ParseCase> &parseCases()
{
  static const std::vector<ParseCase> cases = {
    {"empty text", "", 0, {}},
    {"white space only", " \t\r\n", 0, {}},
    {"piece without =", "noequals", 0, {}},
    {"one pair", "a=1;", 1, {{"a", "1", 0, 0}}},
    {"last pair without ;", "a=1;b=2", 2, {{"b", "2", 0, 0}, {"a", "1", 0, 0}}},
    {"white space after last ;", "a=1;  \n", 1, {{"a", "1", 0, 0}}},
    {"tail without = dropped", "a=1;tail", 1, {{"a", "1", 0, 0}}},
    {"repeated key in other case", "Key=1;KEY=2;", 2, {{"Key", "2", 1, 0}}},
    {"blanks around key and value", "  a =\t 1 ;", 1, {{"a ", "1 ", 0, 0}}},
    {"every isspace byte skipped", "\t\n\v\f\r a=\t\n\v\f\r 1", 1,
     {{"a", "1", 0, 0}}},
    {"byte above 0x7F is no white space", "\xa0k=\xa0v", 1,
     {{"\xa0k", "\xa0v", 0, 0}}},
    {"empty key", "=v;", 1, {{"", "v", 0, 0}}},
    {"empty value", "k=;", 1, {{"k", "", 0, 0}}},
    {"value runs to end after blanks", "k=   ", 1, {{"k", "", 0, 0}}},
    {"= inside value", "k=a=b;c=d", 2, {{"c", "d", 0, 0}, {"k", "a=b", 0, 0}}},
    {"; inside key", "x;y=1;", 1, {{"x;y", "1", 0, 0}}},
    {"plain MediaSize untranslated", "MediaSize=iso_a4_210x297mm;", 1,
     {{"MediaSize", "iso_a4_210x297mm", 0, 0}}},
    {"plain MediaPageRotation untranslated", "MediaPageRotation=90;", 1,
     {{"MediaPageRotation", "90", 0, 0}}},
    {"updf pair", "updf:k=v;", 1, {{"k", "v", 0, 1}}},
    {"ps pair", "ps:k=v;", 1, {{"k", "v", 0, 0}}},
    {"no white space skipped after prefix", "ps: k=v", 1, {{" k", "v", 0, 0}}},
    {"prefix has exact case", "UPDF:k=v;", 1, {{"UPDF:k", "v", 0, 0}}},
    {"one prefix only", "ps:updf:k=v;", 1, {{"updf:k", "v", 0, 0}}},
    {"prefix after blanks", "  updf:k=v;", 1, {{"k", "v", 0, 1}}},
    {"mode carries over until next prefix", "updf:a=1;b=2;ps:c=3;d=4;", 4,
     {{"d", "4", 0, 0}, {"c", "3", 0, 0}, {"b", "2", 0, 1}, {"a", "1", 0, 1}}},
    {"update takes the later origin", "updf:k=1;ps:K=2;", 2, {{"k", "2", 1, 0}}},
    {"MediaPageRotation becomes Orientation", "updf:MediaPageRotation=90;", 1,
     {{"Orientation", "90", 0, 1}}},
    {"table name", "updf:MediaSize=iso_a4_210x297mm;", 1, {{"PageSize", "A4", 0, 1}}},
    {"table name with fraction", "updf:MediaSize=na_letter_8.5x11in", 1,
     {{"PageSize", "Letter", 0, 1}}},
    {"last table row", "updf:MediaSize=na_arch-b_12x18in", 1,
     {{"PageSize", "12x18", 0, 1}}},
    {"table name needs exact case", "updf:MediaSize=ISO_A4_210x297mm", 1, {}},
    {"table name keeps trailing blank", "updf:MediaSize=iso_a4_210x297mm ;", 1, {}},
    {"translated size updates PageSize", "updf:PageSize=Letter;MediaSize=iso_a3_297x420mm",
     2, {{"PageSize", "A3", 1, 1}}},
    {"key differing in case untranslated", "updf:mediasize=iso_a4_210x297mm;", 1,
     {{"mediasize", "iso_a4_210x297mm", 0, 1}}},
    {"custom matched", "updf:MediaSize=custom_450x320mm", 1, {{"PageSize", "SRA3", 0, 1}}},
    {"custom never swapped", "updf:MediaSize=custom_320x450mm;a=1", 2,
     {{"a", "1", 0, 1}}},
    {"custom with _ in its middle", "updf:MediaSize=custom_min_x_200x296mm", 1,
     {{"PageSize", "4x_postcard", 0, 1}}},
    {"custom last row", "updf:MediaSize=custom_162x114mm", 1,
     {{"PageSize", "jenv_you2", 0, 1}}},
    {"custom 482x330mm", "updf:MediaSize=custom_482x330mm", 1,
     {{"PageSize", "13x19", 0, 1}}},
    {"custom inches round to 483x330", "updf:MediaSize=custom_19x13in", 1, {}},
    {"fraction in second number", "updf:MediaSize=custom_450x320.0mm", 1, {}},
    {"fraction in first number dropped", "updf:MediaSize=custom_450.7x320mm", 1,
     {{"PageSize", "SRA3", 0, 1}}},
    {"unit in capitals", "updf:MediaSize=custom_450x320MM", 1, {}},
    {"no unit", "updf:MediaSize=custom_450x320", 1, {}},
    {"unit with trailing blank", "updf:MediaSize=custom_450x320mm ", 1, {}},
    {"no _ in custom", "updf:MediaSize=custom450x320mm", 1, {}},
    {"no x in size part", "updf:MediaSize=custom_450X320mm", 1, {}},
    {"Custom needs exact case", "updf:MediaSize=Custom_450x320mm", 1, {}},
    {"first number read like strtol", "updf:MediaSize=custom_ +450x320mm", 1,
     {{"PageSize", "SRA3", 0, 1}}},
    {"sign before second number is unit", "updf:MediaSize=custom_450x+320mm", 1, {}},
    {"huge numbers in inches", "updf:MediaSize=custom_99999999999999999999x-1in", 1,
     {}},
    {"x only in the ignored middle", "updf:MediaSize=custom_4x4_450", 1, {}},
  };
  return cases;
}

TEST(ParseAttrText, Cases)
{
  for (const ParseCase &c : parseCases()) {
    SCOPED_TRACE(c.label);
    ListGuard list;
    std::vector<char> buf = exactText(c.text);
    EXPECT_EQ(parseAttrText(&list.head, buf.data()), c.count);
    EXPECT_EQ(rows(list.head), c.want);
    EXPECT_EQ(std::string(buf.data()), c.text) << "caller's text changed";
  }
}

TEST(ParseAttrText, NullTextLeavesListAlone)
{
  ListGuard list;
  attrSet(&list.head, "k", "v", 0);
  AttrNode *before = list.head;
  EXPECT_EQ(parseAttrText(&list.head, nullptr), -1);
  EXPECT_EQ(list.head, before);
  EXPECT_EQ(rows(list.head), (std::vector<Row>{{"k", "v", 0, 0}}));
  EXPECT_EQ(parseAttrText(nullptr, "a=1;"), -1);
}

TEST(ParseAttrText, AddsToExistingList)
{
  ListGuard list;
  attrSet(&list.head, "PageSize", "Letter", 0);
  attrSet(&list.head, "Copies", "1", 0);
  EXPECT_EQ(parse(&list.head, "copies=3;updf:MediaSize=iso_a5_148x210mm;Duplex=on"), 3);
  EXPECT_EQ(rows(list.head), (std::vector<Row>{{"Duplex", "on", 0, 1},
                                               {"Copies", "3", 1, 0},
                                               {"PageSize", "A5", 1, 1}}));
}

TEST(AttrList, GetFindsWithoutCaseAndHandsOutCopy)
{
  ListGuard list;
  attrSet(&list.head, "PageSize", "A4", 0);
  attrSet(&list.head, "Duplex", "None", 0);
  attrUpdate(list.head, "pagesize", "A3", 1);

  int16_t flag = 7;
  char *value = attrGet(list.head, "PAGESIZE", &flag);
  ASSERT_NE(value, nullptr);
  EXPECT_STREQ(value, "A3");
  EXPECT_EQ(flag, 1);
  EXPECT_NE(value, list.head->next->value) << "must be a copy";
  free(value);

  value = attrGet(list.head, "duplex", &flag);
  ASSERT_NE(value, nullptr);
  EXPECT_EQ(flag, 0);
  free(value);

  value = attrGet(list.head, "Duplex", nullptr);
  EXPECT_STREQ(value, "None");
  free(value);
}

TEST(AttrList, GetMissStoresNoFlag)
{
  ListGuard list;
  int16_t flag = 7;
  EXPECT_EQ(attrGet(nullptr, "a", &flag), nullptr);
  EXPECT_EQ(flag, 7);
  attrSet(&list.head, "a", "1", 0);
  EXPECT_EQ(attrGet(list.head, "ab", &flag), nullptr);
  EXPECT_EQ(attrGet(list.head, "", &flag), nullptr);
  EXPECT_EQ(flag, 7);
}

// 'handNode()' - Build a node by hand, since attrSet never duplicates a name.
AttrNode *handNode(const char *name, const char *value, AttrNode *next)
{
  AttrNode *node = static_cast<AttrNode *>(malloc(sizeof(AttrNode)));
  *node = {strdup(name), strdup(value), 0, 0, next};
  return node;
}

TEST(AttrList, UpdateReachesEveryMatchingNode)
{
  ListGuard list;
  list.head = handNode("Media", "a", handNode("other", "b", handNode("MEDIA", "c", nullptr)));
  attrUpdate(list.head, "media", "c", 1);
  EXPECT_EQ(rows(list.head), (std::vector<Row>{{"Media", "c", 1, 1},
                                               {"other", "b", 0, 0},
                                               {"MEDIA", "c", 1, 1}}));
  attrClearUpdated(list.head);
  for (const Row &r : rows(list.head))
    EXPECT_EQ(r.updated, 0) << r;

  attrUpdate(nullptr, "media", "x", 0);	// a null list does nothing
}

TEST(AttrList, SetCreatesInFrontOrUpdates)
{
  ListGuard list;
  attrSet(&list.head, "A", "1", 1);
  attrSet(&list.head, "B", "2", 0);
  AttrNode *head = list.head;
  attrSet(&list.head, "a", "1", 0);	// equal text still counts as an update
  EXPECT_EQ(list.head, head);
  EXPECT_EQ(rows(list.head), (std::vector<Row>{{"B", "2", 0, 0}, {"A", "1", 1, 0}}));

  std::string name = "C", value = "3";
  attrSet(&list.head, name.c_str(), value.c_str(), 0);
  name[0] = 'X';
  value[0] = 'Y';
  EXPECT_EQ(rows(list.head).front(), (Row{"C", "3", 0, 0})) << "node must own copies";
}

TEST(AttrList, FreeAndClearOfEmptyList)
{
  attrFreeAll(nullptr);
  attrClearUpdated(nullptr);
  AttrNode *head = nullptr;
  attrSet(&head, nullptr, "v", 0);
  attrSet(&head, "n", nullptr, 0);
  EXPECT_EQ(head, nullptr);
  attrSet(nullptr, "n", "v", 0);
}

// Every allocation of each operation is made to fail in turn: the result
// must report it, the list must stay whole, and nothing may leak (the
// sanitizer build checks the leaks).
TEST(AttrList, OutOfMemory)
{
  const std::string text = "a=1;updf:MediaSize=custom_450x320mm;A=2;b=;c=3";
  bool succeeded = false;
  for (long failAt = 1; !succeeded && failAt < 100; failAt++) {
    SCOPED_TRACE("failing allocation " + std::to_string(failAt));
    ListGuard list;
    attrSet(&list.head, "c", "0", 0);
    std::vector<char> buf = exactText(text);

    mallocFailIn = failAt;
    int n = parseAttrText(&list.head, buf.data());
    bool failed = mallocFailIn == 0;
    mallocFailIn = 0;

    EXPECT_EQ(n, failed ? -1 : 5);
    succeeded = !failed;
    for (const Row &r : rows(list.head))
      EXPECT_FALSE(r.name.empty()) << r;
  }
  EXPECT_TRUE(succeeded);

  ListGuard list;
  attrSet(&list.head, "k", "old", 0);
  for (const char *name : {"K", "new"}) {
    SCOPED_TRACE(name);
    std::vector<Row> before = rows(list.head);
    bool failed = true;
    for (long failAt = 1; failed && failAt < 10; failAt++) {
      mallocFailIn = failAt;
      attrSet(&list.head, name, "v", 1);
      failed = mallocFailIn == 0;
      mallocFailIn = 0;
      if (failed) {
        EXPECT_EQ(rows(list.head), before) << "allocation " << failAt;
      }
    }
    EXPECT_FALSE(failed);
  }
  EXPECT_EQ(rows(list.head), (std::vector<Row>{{"new", "v", 0, 1}, {"k", "v", 1, 1}}));

  int16_t flag = 7;
  mallocFailIn = 1;
  char *value = attrGet(list.head, "k", &flag);
  mallocFailIn = 0;
  EXPECT_EQ(value, nullptr);
  EXPECT_EQ(flag, 7);
}

TEST(MediaReadDecimal, ReadsLikeStrtol)
{
  const char *texts[] = {"", "x", "  42x", "+7", "-7", "- 7", "8.5", "\t-0",
                         "9223372036854775807", "9223372036854775808",
                         "-9223372036854775808", "-9223372036854775809",
                         "123456789012345678901234567890", "\xa0" "5"};
  for (const char *t : texts) {
    SCOPED_TRACE(t);
    EXPECT_EQ(mediaReadDecimal(t), strtol(t, nullptr, 10));
  }
}

// 'randomText()' - A text of fragments that the parser treats specially.
std::string randomText(std::mt19937 &rng)
{
  static const char *const pieces[] = {
    "=", ";", " ", "\t", "\xff", "ps:", "updf:", "MediaSize=", "MediaPageRotation=",
    "custom_", "x", "in", "mm", "_", ".", "-", "450", "320", "19", "a", "A", "k",
    "iso_a4_210x297mm", "999999999999999999999", ""};
  constexpr size_t pieceCount = sizeof(pieces) / sizeof(pieces[0]);
  std::string text;
  size_t n = rng() % 24;
  for (size_t i = 0; i < n; i++)
    text += pieces[rng() % pieceCount];
  return text;
}

// 'sameNameAscii()' - Names equal without regard to ASCII case.
bool sameNameAscii(const std::string &a, const std::string &b)
{
  return a.size() == b.size() && strncasecmp(a.c_str(), b.c_str(), a.size()) == 0;
}

// Seeded, so that a failure repeats: random texts must parse without
// crash, over-read or leak, keep each name once and count no more pairs
// than they hold "=" signs.
TEST(ParseAttrText, RandomTexts)
{
  std::mt19937 rng(20240611);
  for (int round = 0; round < 3000; round++) {
    ListGuard list;
    std::string text = randomText(rng);
    SCOPED_TRACE(text);
    std::vector<char> buf = exactText(text);
    int n = parseAttrText(&list.head, buf.data());
    ASSERT_GE(n, 0);
    ASSERT_LE(static_cast<size_t>(n), std::count(text.begin(), text.end(), '='));
    ASSERT_EQ(std::string(buf.data()), text);

    std::vector<Row> got = rows(list.head);
    ASSERT_LE(got.size(), static_cast<size_t>(n));
    for (size_t i = 0; i < got.size(); i++)
      for (size_t j = i + 1; j < got.size(); j++)
        ASSERT_FALSE(sameNameAscii(got[i].name, got[j].name)) << got[i] << got[j];

    std::string tail = text.substr(text.size() / 2);
    ASSERT_EQ(mediaReadDecimal(tail), strtol(tail.c_str(), nullptr, 10)) << tail;
  }
}

} // namespace
