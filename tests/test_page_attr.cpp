// Tests of the page attribute query: derived from the attribute list in
// pass-through mode, and read from the module's command-17 reply.

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include "attr_list.h"
#include "job_parameter.h"
#include "qzpk.h"
#include "qzpk_internal.h"
#include "standin_run.h"

namespace {

using PageField = char (PageAttr::*)[64];

struct NamedField {
  const char *name;
  PageField field;
};

const NamedField kFields[] = {
    {"page_name", &PageAttr::page_name},
    {"page_orient", &PageAttr::page_orient},
    {"resolution", &PageAttr::resolution},
    {"color_mode", &PageAttr::color_mode},
    {"media_type", &PageAttr::media_type},
    {"toner_save", &PageAttr::toner_save},
    {"bind_edge", &PageAttr::bind_edge},
    {"bind_edge_shift", &PageAttr::bind_edge_shift},
    {"duplex", &PageAttr::duplex},
};

using Pairs = std::vector<std::pair<std::string, std::string>>;

// A field must hold exactly the text, with every byte after it NUL.
void expectField(const PageAttr &attr, const NamedField &f,
                 const std::string &want) {
  SCOPED_TRACE(f.name);
  const char *field = attr.*(f.field);
  ASSERT_LT(want.size(), 64u);
  EXPECT_EQ(std::string(field, strnlen(field, 64)), want);
  for (size_t i = want.size(); i < 64; i++)
    ASSERT_EQ(field[i], '\0') << "byte " << i;
}

// A record whose every field is filled with its own junk, so that a field
// left alone can be told from one that was written.
PageAttr junkRecord() {
  PageAttr attr{}; // every byte is overwritten below
  for (size_t i = 0; i < std::size(kFields); i++) {
    char *field = attr.*(kFields[i].field);
    memset(field, 'a' + static_cast<int>(i), 64);
  }
  return attr;
}

// Every field named in want holds that text; every other one is untouched.
void expectChanged(const PageAttr &got, const Pairs &want) {
  PageAttr junk = junkRecord();
  for (const NamedField &f : kFields) {
    auto it = std::find_if(want.begin(), want.end(),
                           [&](const auto &p) { return p.first == f.name; });
    if (it != want.end()) {
      expectField(got, f, it->second);
    } else {
      SCOPED_TRACE(f.name);
      EXPECT_EQ(memcmp(got.*(f.field), junk.*(f.field), 64), 0) << "touched";
    }
  }
}

// A pass-through context as qzpkNew leaves it, fed with attributes.
struct PassContext {
  OutputContext *ctx =
      static_cast<OutputContext *>(calloc(1, sizeof(OutputContext)));
  ~PassContext() {
    attrFreeAll(ctx->attrs);
    free(ctx);
  }
};

// ---------------------------------------------------------------- pass-through

TEST(PageAttrPassThrough, EmptyListGivesDefaultsAndClearsTheRecord) {
  PassContext pc;
  PageAttr attr = junkRecord();
  ASSERT_EQ(qzpkGetPageAttr(pc.ctx, &attr), 0);
  const char *want[] = {"A4", "portrait", "600", "gray", "",
                        "",   "Left",     "0",   "False"};
  for (size_t i = 0; i < std::size(kFields); i++)
    expectField(attr, kFields[i], want[i]);
}

TEST(PageAttrPassThrough, NullRecordIsRefused) {
  PassContext pc;
  EXPECT_EQ(qzpkGetPageAttr(pc.ctx, nullptr), -1);
}

TEST(PageAttrPassThrough, AttributesAreFoundWhateverTheirCase) {
  PassContext pc;
  ASSERT_GE(parseAttrText(&pc.ctx->attrs,
                          "pagesize=Letter;ORIENTATION=landscape;"
                          "Resolution=1200;bindedge=Top;"),
            0);
  PageAttr attr;
  ASSERT_EQ(qzpkGetPageAttr(pc.ctx, &attr), 0);
  expectField(attr, kFields[0], "Letter");
  expectField(attr, kFields[1], "landscape");
  expectField(attr, kFields[2], "1200");
  expectField(attr, kFields[6], "Top");
}

TEST(PageAttrPassThrough, ModelMethodGatesMediaTypeAndTonerSaving) {
  struct Case {
    const char *text;
    const char *media;
    const char *toner;
  } cases[] = {
      {"QZModelMethod=1;MediaType=Plain;InputSlot=auto;", "Plain", ""},
      {"QZModelMethod=1;MediaType=Plain;InputSlot=MANUAL;", "Plain", ""},
      {"QZModelMethod=1;MediaType=Plain;InputSlot=Tray1;", "", ""},
      {"QZModelMethod=1;MediaType=Plain;InputSlot=AutoSelect;", "", ""},
      {"QZModelMethod=1;MediaType=Plain;", "", ""},
      {"QZModelMethod=1;InputSlot=Auto;", "", ""},
      {"QZModelMethod=3;MediaType=Thick;InputSlot=Manual;", "Thick", ""},
      {"QZModelMethod=2;MediaType=Thick;InputSlot=Auto;QZTonerSaving=On;", "",
       "On"},
      {"QZModelMethod=3;MediaType=Thick;InputSlot=Auto;QZTonerSaving=On;",
       "Thick", "On"},
      {"QZModelMethod=1;QZTonerSaving=On;", "", ""},
      {"MediaType=Thick;InputSlot=Auto;QZTonerSaving=On;", "", ""},
      {"QZModelMethod=none;MediaType=Thick;InputSlot=Auto;QZTonerSaving=On;",
       "", ""},
      {"qzmodelmethod=7;mediatype=Thin;inputslot=Auto;qztonersaving=Off;",
       "Thin", "Off"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.text);
    PassContext pc;
    ASSERT_GE(parseAttrText(&pc.ctx->attrs, c.text), 0);
    PageAttr attr = junkRecord();
    ASSERT_EQ(qzpkGetPageAttr(pc.ctx, &attr), 0);
    expectField(attr, kFields[4], c.media);
    expectField(attr, kFields[5], c.toner);
  }
}

TEST(PageAttrPassThrough, ColourModeAndDuplexFollowExactCase) {
  struct Case {
    const char *text;
    const char *color;
    const char *duplex;
  } cases[] = {
      {"QZColorMode=mono;Duplex=None;", "gray", "False"},
      {"QZColorMode=Mono;Duplex=none;", "color", "True"},
      {"QZColorMode=color;Duplex=False;", "color", "False"},
      {"QZColorMode=;Duplex=false;", "color", "True"},
      {"Duplex=DuplexNoTumble;", "gray", "True"},
      {"Duplex=;", "gray", "True"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.text);
    PassContext pc;
    ASSERT_GE(parseAttrText(&pc.ctx->attrs, c.text), 0);
    PageAttr attr;
    ASSERT_EQ(qzpkGetPageAttr(pc.ctx, &attr), 0);
    expectField(attr, kFields[3], c.color);
    expectField(attr, kFields[8], c.duplex);
  }
}

TEST(PageAttrPassThrough, BindEdgeShiftIsHeldBetweenZeroAndTheMaximum) {
  // Set directly: the text parser would drop the leading blank of " 7".
  struct Case {
    const char *shift; // null: not recorded
    const char *maxGutter;
    const char *want;
  } cases[] = {
      {"45", nullptr, "30"},
      {"30", nullptr, "30"},
      {"12", "10", "10"},
      {"10", "10", "10"},
      {"-3", nullptr, "0"},
      {" 7", nullptr, " 7"},
      {"+8", nullptr, "+8"},
      {"007", nullptr, "007"},
      {"abc", nullptr, "abc"},
      {"5", "none", "0"},
      {"5", "", "0"},
      {"0", "none", "0"},
      {nullptr, "10", "0"},
      // Out of 32-bit range: held at the limit, never wrapped round.
      {"4294967297", nullptr, "30"},
      {"-4294967295", nullptr, "0"},
      {"40", "99999999999", "40"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(std::string(c.shift ? c.shift : "(none)") + " max " +
                 (c.maxGutter ? c.maxGutter : "(none)"));
    PassContext pc;
    if (c.shift)
      attrSet(&pc.ctx->attrs, "QZBindEdgeShift", c.shift, 0);
    if (c.maxGutter)
      attrSet(&pc.ctx->attrs, "QZMaxGutter", c.maxGutter, 0);
    PageAttr attr;
    ASSERT_EQ(qzpkGetPageAttr(pc.ctx, &attr), 0);
    expectField(attr, kFields[7], c.want);
  }
}

TEST(PageAttrPassThrough, LongValuesAreCutAfter63Characters) {
  std::string hundred;
  for (int i = 0; i < 100; i++)
    hundred += static_cast<char>('0' + i % 10);
  const char *names[] = {"PageSize", "Orientation", "Resolution", "BindEdge"};
  PassContext pc;
  for (const char *name : names)
    attrSet(&pc.ctx->attrs, name, hundred.c_str(), 0);
  // Reads as 5, within the maximum, so its own long text is copied.
  const std::string shift = "5" + std::string(99, 'x');
  attrSet(&pc.ctx->attrs, "QZBindEdgeShift", shift.c_str(), 0);
  attrSet(&pc.ctx->attrs, "QZModelMethod", "3", 0);
  attrSet(&pc.ctx->attrs, "InputSlot", "Auto", 0);
  attrSet(&pc.ctx->attrs, "MediaType", hundred.c_str(), 0);
  attrSet(&pc.ctx->attrs, "QZTonerSaving", hundred.c_str(), 0);
  PageAttr attr = junkRecord();
  ASSERT_EQ(qzpkGetPageAttr(pc.ctx, &attr), 0);
  const size_t cut[] = {0, 1, 2, 4, 5, 6};
  for (size_t i : cut)
    expectField(attr, kFields[i], hundred.substr(0, 63));
  expectField(attr, kFields[7], shift.substr(0, 63));
}

TEST(PageAttrPassThrough, JobParameterStringGivesThePageSetUp) {
  // The example PPD enables media type and toner saving (but has no toner
  // saving option) and allows a gutter of 30; the small one has the option,
  // a "Manual" slot and a gutter of 20.
  const std::string example =
      TOVEFILT_SOURCE_DIR "/examples/tovefilt-example.ppd";
  const std::string small =
      TOVEFILT_SOURCE_DIR "/tests/fixtures/page_setup_toner_saving_gutter_20.ppd";
  struct Case {
    const std::string &ppd;
    const char *options;
    const char *want[9];
  } cases[] = {
      {example, "",
       {"A4", "portrait", "600dpi", "color", "Plain", "", "Left", "0",
        "False"}},
      {example,
       "PageSize=Letter InputSlot=ManualFeed MediaType=Thick1 "
       "Duplex=DuplexTumble QZColorMode=mono Resolution=1200dpi BindEdge=Top "
       "QZBindEdgeShift=45",
       {"Letter", "portrait", "1200dpi", "gray", "", "", "Top", "30", "True"}},
      {example, "MediaType=Recycled QZBindEdgeShift=12",
       {"A4", "portrait", "600dpi", "color", "Recycled", "", "Left", "12",
        "False"}},
      {small, "",
       {"A4", "portrait", "600dpi", "color", "Plain", "Off", "Left", "0",
        "False"}},
      {small,
       "PageSize=A3 InputSlot=Manual MediaType=Thick QZTonerSaving=On "
       "Duplex=DuplexNoTumble QZBindEdgeShift=45",
       {"A3", "portrait", "600dpi", "color", "Thick", "On", "Left", "20",
        "True"}},
      {small, "InputSlot=Tray1 MediaType=Thick QZBindEdgeShift=7",
       {"A4", "portrait", "600dpi", "color", "", "Off", "Left", "7",
        "False"}},
  };
  const char *oldPpd = getenv("PPD");
  std::string savedPpd = oldPpd ? oldPpd : "";
  for (const Case &c : cases) {
    SCOPED_TRACE(c.ppd + " with " + c.options);
    setenv("PPD", c.ppd.c_str(), 1);
    cups_option_t *options = nullptr;
    int count = cupsParseOptions(c.options, 0, &options);
    char *params = makeJobParameter(options, count, "alice", "Report", "1");
    cupsFreeOptions(count, options);
    ASSERT_NE(params, nullptr);

    // The module reports itself absent: a pass-through context.
    StandinRun run("probe:exit=44");
    OutputContext *ctx = run.quietly([] { return qzpkNew(3, 1); });
    ASSERT_NE(ctx, nullptr);
    ASSERT_EQ(ctx->mode, 0);
    EXPECT_EQ(qzpkSetJobAttr(ctx, params), 0);
    free(params);
    PageAttr attr = junkRecord();
    EXPECT_EQ(qzpkGetPageAttr(ctx, &attr), 0);
    EXPECT_EQ(qzpkDestroy(ctx), 0);
    for (size_t i = 0; i < std::size(kFields); i++)
      expectField(attr, kFields[i], c.want[i]);
  }
  if (oldPpd)
    setenv("PPD", savedPpd.c_str(), 1);
  else
    unsetenv("PPD");
}

// ------------------------------------------------------------- reply parsing

TEST(PageAttrReply, KnownKeysAreCopiedAndTheRestKept) {
  const std::string hundred(100, 'z');
  struct Case {
    std::string payload; // exactly the bytes the module sent
    Pairs want;
  } cases[] = {
      {std::string("page_name=A3;duplex=True;\0", 26),
       {{"page_name", "A3"}, {"duplex", "True"}}},
      {std::string("Page_Name=A3;DUPLEX=True;\0", 26), {}},
      {std::string("page_name=A3;page_name=A5;\0", 27), {{"page_name", "A5"}}},
      {std::string(" \t\npage_name=\t A3 ;\0", 20), {{"page_name", "A3 "}}},
      {std::string("page_name =A3;\0", 15), {}},
      {std::string("resolution=1200\0", 16), {{"resolution", "1200"}}},
      {std::string("color_mode=;toner_save=a=b;\0", 28),
       {{"color_mode", ""}, {"toner_save", "a=b"}}},
      {std::string("other=1;media_type=Plain;bind_edge=Top;"
                   "bind_edge_shift=4;page_orient=landscape;\0",
                   80),
       {{"media_type", "Plain"},
        {"bind_edge", "Top"},
        {"bind_edge_shift", "4"},
        {"page_orient", "landscape"}}},
      {"page_name=" + hundred + ";" + std::string(1, '\0'),
       {{"page_name", hundred.substr(0, 63)}}},
      // The text ends at its first NUL, even before the payload does.
      {std::string("page_name=A3\0duplex=True;\0", 26), {{"page_name", "A3"}}},
      // No closing NUL: the cut-off last pair is ignored.
      {"page_name=A3;duplex=Tr", {{"page_name", "A3"}}},
      {"page_name=A3;", {{"page_name", "A3"}}},
      // Ending inside a key.
      {std::string("page_name=A3;dupl\0", 18), {{"page_name", "A3"}}},
      {"page_name=A3;dupl", {{"page_name", "A3"}}},
      {std::string("\0", 1), {}},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.payload);
    // An exact-size heap copy lets the sanitizer catch any read past it.
    auto *bytes = static_cast<unsigned char *>(malloc(c.payload.size()));
    memcpy(bytes, c.payload.data(), c.payload.size());
    PageAttr attr = junkRecord();
    qzpkParsePageReply(bytes, static_cast<int>(c.payload.size()), &attr);
    free(bytes);
    expectChanged(attr, c.want);
  }
}

TEST(PageAttrReply, EmptyOrMissingPayloadChangesNothing) {
  PageAttr attr = junkRecord();
  const unsigned char text[] = "page_name=A3;";
  qzpkParsePageReply(nullptr, 5, &attr);
  qzpkParsePageReply(text, 0, &attr);
  qzpkParsePageReply(text, -1, &attr);
  qzpkParsePageReply(text, sizeof text, nullptr);
  expectChanged(attr, {});
}

// ---------------------------------------------------------------- module mode

// Lowercase hex of some bytes, as the stand-in's rawpayload rule takes them.
std::string hex(const std::string &bytes) {
  static const char digits[] = "0123456789abcdef";
  std::string out;
  for (unsigned char c : bytes) {
    out += digits[c >> 4];
    out += digits[c & 15];
  }
  return out;
}

// A module-mode context on the stand-in, or null.
OutputContext *startModule(StandinRun &run) {
  return run.quietly([] { return qzpkNew(3, 1); });
}

TEST(PageAttrModule, ReplySetsItsKeysAndKeepsTheRest) {
  StandinRun run("17:payload=page_name=A3;Page_Name=B5;duplex=True;");
  OutputContext *ctx = startModule(run);
  ASSERT_NE(ctx, nullptr);
  ASSERT_EQ(ctx->mode, 1);
  PageAttr attr = junkRecord();
  EXPECT_EQ(qzpkGetPageAttr(ctx, &attr), 0);
  ASSERT_EQ(qzpkDestroy(ctx), 0);
  expectChanged(attr, {{"page_name", "A3"}, {"duplex", "True"}});
  EXPECT_EQ(run.linesWith("cmd "),
            (std::vector<std::string>{"cmd 17 len 0 payload -",
                                      "cmd 240 len 0 payload -"}));
}

TEST(PageAttrModule, ModuleReportsTheJobItWasGiven) {
  StandinRun run;
  OutputContext *ctx = startModule(run);
  ASSERT_NE(ctx, nullptr);
  ASSERT_EQ(qzpkSetJobAttr(ctx, "PageSize=A3;Duplex=DuplexTumble;"
                                "QZColorMode=mono;BindEdge=Top;"),
            0);
  PageAttr attr = junkRecord();
  EXPECT_EQ(qzpkGetPageAttr(ctx, &attr), 0);
  ASSERT_EQ(qzpkDestroy(ctx), 0);
  // The module leaves out what the job did not name: those fields keep
  // the caller's bytes.
  expectChanged(attr, {{"page_name", "A3"},
                       {"page_orient", "portrait"},
                       {"color_mode", "gray"},
                       {"bind_edge", "Top"},
                       {"duplex", "True"}});
}

TEST(PageAttrModule, RefusedEmptyOrCutRepliesAreHandled) {
  struct Case {
    std::string faults;
    int result;
    Pairs want;
  } cases[] = {
      // A payload that comes with a refusal is dropped (the sanitizer
      // build sees a leak).
      {"17:result=3|17:payload=page_name=A3;", 3, {}},
      {"17:result=-2", -2, {}},
      {"17:echo=16", -1, {}},
      {"17:rawpayload=", 0, {}},
      {"17:rawpayload=" + hex("page_name=A3;duplex=Tr"), 0,
       {{"page_name", "A3"}}},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.faults);
    StandinRun run(c.faults.c_str());
    OutputContext *ctx = startModule(run);
    ASSERT_NE(ctx, nullptr);
    PageAttr attr = junkRecord();
    EXPECT_EQ(qzpkGetPageAttr(ctx, &attr), c.result);
    ASSERT_EQ(qzpkDestroy(ctx), 0);
    expectChanged(attr, c.want);
  }
}

TEST(PageAttrModule, NullRecordIsRefusedBeforeAnythingIsSent) {
  StandinRun run;
  OutputContext *ctx = startModule(run);
  ASSERT_NE(ctx, nullptr);
  EXPECT_EQ(qzpkGetPageAttr(ctx, nullptr), -1);
  ASSERT_EQ(qzpkDestroy(ctx), 0);
  EXPECT_EQ(run.linesWith("cmd "),
            std::vector<std::string>{"cmd 240 len 0 payload -"});
}

TEST(PageAttrModule, FailedWriteReadsNoResponse) {
  int cmd[2], res[2];
  ASSERT_EQ(pipe(cmd), 0);
  ASSERT_EQ(pipe(res), 0);
  close(cmd[0]); // the module has gone
  const char response[] = "\x11\0\0\0\x0e\0page_name=A3;";
  ASSERT_EQ(write(res[1], response, sizeof response), 
            static_cast<ssize_t>(sizeof response));
  auto *old = signal(SIGPIPE, SIG_IGN);

  OutputContext ctx{};
  ctx.mode = 1;
  ctx.fds = {cmd[1], res[0], cmd[1]};
  PageAttr attr = junkRecord();
  EXPECT_EQ(qzpkGetPageAttr(&ctx, &attr), -1);
  expectChanged(attr, {});

  // The waiting response is still whole.
  fcntl(res[0], F_SETFL, O_NONBLOCK);
  char buf[64];
  EXPECT_EQ(read(res[0], buf, sizeof buf),
            static_cast<ssize_t>(sizeof response));
  signal(SIGPIPE, old);
  close(cmd[1]);
  close(res[0]);
  close(res[1]);
}

} // namespace
