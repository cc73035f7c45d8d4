// Tests of the job parameter string builder and its PPD text pass.
#include "decimal_separator.h"
#include "job_parameter.h"
#include "process_state.h"
#include "ppd_text_pass.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

namespace {

const std::string kFixtures = TOVEFILT_SOURCE_DIR "/tests/fixtures/";

// Header lines that make libcups accept a file; lines after the work-set
// marker are read by the text pass only, so they may be of any length.
const std::string kPpdHeader = "*PPD-Adobe: \"4.3\"\n"
                               "*FormatVersion: \"4.3\"\n"
                               "*LanguageEncoding: ISOLatin1\n"
                               "*ModelName: \"Tovefilt Generated\"\n"
                               "*NickName: \"Tovefilt Generated\"\n"
                               "*%APLWORKSET START\n";

// Owns the result of makeJobParameter.
struct Text {
  char *p;
  explicit Text(char *text) : p(text) {}
  ~Text() { std::free(p); }
  Text(const Text &) = delete;
  Text &operator=(const Text &) = delete;
};

// Job options as cupsParseOptions makes them; freed at the end of the case.
struct Options {
  cups_option_t *list = nullptr;
  int count = 0;
  explicit Options(const char *text) { count = cupsParseOptions(text, 0, &list); }
  ~Options() { cupsFreeOptions(count, list); }
  Options(const Options &) = delete;
  Options &operator=(const Options &) = delete;
  const char *get(const char *name) const { return cupsGetOption(name, count, list); }
};

// Each case gets its own temporary directory and leaves $PPD as it found it.
class JobParameter : public ::testing::Test {
protected:
  void SetUp() override {
    if (const char *ppd = std::getenv("PPD"))
      savedPpd_ = ppd;
    const char *tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/tovefilt-jp-XXXXXX";
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back('\0');
    ASSERT_NE(mkdtemp(buf.data()), nullptr);
    dir_ = buf.data();
  }

  void TearDown() override {
    for (const std::string &file : files_)
      std::remove(file.c_str());
    if (!dir_.empty())
      rmdir(dir_.c_str());
    if (savedPpd_)
      setenv("PPD", savedPpd_->c_str(), 1);
    else
      unsetenv("PPD");
  }

  // Writes a file into the case's directory and returns its path.
  std::string writeFile(const std::string &name, const std::string &content) {
    std::string path = dir_ + "/" + name;
    std::ofstream(path, std::ios::binary) << content;
    files_.push_back(path);
    return path;
  }

  static void usePpd(const std::string &path) { setenv("PPD", path.c_str(), 1); }

  std::string dir_;

private:
  std::optional<std::string> savedPpd_;
  std::vector<std::string> files_;
};

// What the fixture PPD gives before the job options: its text entries (the
// UI option that shares a driver key's name gives one entry per choice line)
// and the choices marked by its defaults.
const std::string kFixtureText = "QZTblFormat=PDL1;QZModelMethod=M2;"
                                 "QZDriverRootPath=/opt/tove;x;QZMaxCopies=999;"
                                 "QZPDLType=first line only;"
                                 "QZ_PdlWrapper_DebugMode=0/Off: ;"
                                 "QZ_PdlWrapper_DebugMode=1/On: ;";

TEST_F(JobParameter, BuildsExactStringForFixtureWithLfAndCrLf) {
  for (const char *fixture : {"job_parameter_lf.ppd", "job_parameter_crlf.ppd"}) {
    SCOPED_TRACE(fixture);
    usePpd(kFixtures + fixture);
    Options opts("Duplex=DuplexNoTumble QZBindEdgeShift=1,5 Collate=True "
                 "QZJobNote=hello zeta=1 QZCopies=3");
    Text got(makeJobParameter(opts.list, opts.count, "alice", "Report", "2"));
    ASSERT_NE(got.p, nullptr);
    EXPECT_STREQ(got.p, (kFixtureText +
                         "PageSize=A4;Duplex=DuplexNoTumble;QZTonerSaving=False;"
                         "QZ_PdlWrapper_DebugMode=0;"
                         "QZCollate=True;QZBindEdgeShift=1.5;QZCopies=3;QZJobNote=hello;"
                         "QZUsrName=alice;QZJobUser=alice;QZPDEUserName=alice;"
                         "QZHomeUser=alice;QZDocName=Report;QZCopies=2;")
                            .c_str());
    // The buffer holds the text and four zero bytes (ASan proves the size).
    std::size_t length = std::strlen(got.p);
    for (std::size_t i = 0; i < 4; ++i)
      EXPECT_EQ(got.p[length + i], '\0');
  }
}

TEST_F(JobParameter, ArgumentsAndOptionsGiveTheirEntries) {
  usePpd(kFixtures + "job_parameter_lf.ppd");
  const std::string marks = "PageSize=A4;Duplex=None;QZTonerSaving=False;"
                            "QZ_PdlWrapper_DebugMode=0;";
  struct Case {
    const char *name;
    const char *options; // null: no array, count 0
    const char *user, *title, *copies;
    std::string want; // after the PPD text part
  };
  const Case cases[] = {
      {"no options, no arguments", nullptr, nullptr, nullptr, nullptr, marks},
      {"empty arguments keep their entries", nullptr, "", "", "",
       marks + "QZUsrName=;QZJobUser=;QZPDEUserName=;QZHomeUser=;QZDocName=;QZCopies=;"},
      {"job option before argument of the same key",
       "QZCopies=5 QZDocName=opt QZUsrName=ou QZPDEUserName=op", "u", "t", "1",
       marks + "QZCopies=5;QZDocName=opt;QZPDEUserName=op;QZUsrName=ou;"
               "QZUsrName=u;QZJobUser=u;QZPDEUserName=u;QZHomeUser=u;"
               "QZDocName=t;QZCopies=1;"},
      {"options outside the tables act only through the marks",
       "PageSize=Letter QZTonerSaving=True qzcopies=9 collate=true Unknown=1", nullptr,
       nullptr, nullptr, "PageSize=Letter;Duplex=None;QZTonerSaving=True;"
                         "QZ_PdlWrapper_DebugMode=0;"},
      {"IPP sides maps onto the Duplex choice", "sides=two-sided-short-edge number-up=2",
       nullptr, nullptr, nullptr,
       "PageSize=A4;Duplex=DuplexTumble;QZTonerSaving=False;QZ_PdlWrapper_DebugMode=0;"
       "number-up=2;"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    Options opts(c.options ? c.options : "");
    Text got(makeJobParameter(c.options ? opts.list : nullptr, c.options ? opts.count : 0,
                              c.user, c.title, c.copies));
    ASSERT_NE(got.p, nullptr);
    EXPECT_EQ(std::string(got.p), kFixtureText + c.want);
  }
}

TEST_F(JobParameter, FailsWithNothingLeftOpenAndOptionsUnchanged) {
  struct Case {
    const char *name;
    std::optional<std::string> ppd; // nullopt: PPD unset
  };
  const Case cases[] = {
      {"PPD unset", std::nullopt},
      {"PPD names a missing file", kFixtures + "no-such-file.ppd"},
      {"PPD is empty", std::string()},
      {"valid PPD without driver keys", kFixtures + "no_driver_keys.ppd"},
      {"driver keys but libcups refuses the file", kFixtures + "driver_keys_not_a_ppd.txt"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    if (c.ppd)
      usePpd(*c.ppd);
    else
      unsetenv("PPD");
    Options opts("QZBindEdgeShift=1,5");
    int before = countOpenFds();
    EXPECT_EQ(makeJobParameter(opts.list, opts.count, "u", "t", "1"), nullptr);
    EXPECT_EQ(countOpenFds(), before);
    EXPECT_STREQ(opts.get("QZBindEdgeShift"), "1,5");
  }
}

TEST_F(JobParameter, SucceedsWithNothingLeftOpen) {
  usePpd(kFixtures + "job_parameter_lf.ppd");
  int before = countOpenFds();
  Text got(makeJobParameter(nullptr, 0, nullptr, nullptr, nullptr));
  ASSERT_NE(got.p, nullptr);
  EXPECT_EQ(countOpenFds(), before);
}

TEST_F(JobParameter, AdaptsDecimalSeparatorInCallersArray) {
  // The test process keeps the default C locale, whose point turns commas into points.
  ASSERT_EQ(probeSeparatorMode(), SeparatorMode::CommaToPoint);
  usePpd(kFixtures + "job_parameter_lf.ppd");
  Options opts("QZBindEdgeShift=1,5 QZShiftFrShortEdge=1,2,3 QZGutterShiftNum=7 "
               "QZAdjustTrimNum=0.5 QZJobNote=4,5");
  Text got(makeJobParameter(opts.list, opts.count, nullptr, nullptr, nullptr));
  ASSERT_NE(got.p, nullptr);
  EXPECT_NE(std::strstr(got.p, "QZAdjustTrimNum=0.5;QZBindEdgeShift=1.5;QZGutterShiftNum=7;"
                               "QZJobNote=4,5;QZShiftFrShortEdge=1.2,3;"),
            nullptr)
      << got.p;
  EXPECT_STREQ(opts.get("QZBindEdgeShift"), "1.5");
  EXPECT_STREQ(opts.get("QZShiftFrShortEdge"), "1.2,3");
  EXPECT_STREQ(opts.get("QZJobNote"), "4,5"); // not a decimal option
}

TEST(DecimalSeparator, ChangesOnlyTheFirstSeparatorOfTheMode) {
  struct Case {
    SeparatorMode mode;
    const char *in, *want;
  };
  const Case cases[] = {
      {SeparatorMode::CommaToPoint, "1,5", "1.5"},
      {SeparatorMode::CommaToPoint, "1,5,7", "1.5,7"},
      {SeparatorMode::CommaToPoint, "1.5", "1.5"},
      {SeparatorMode::PointToComma, "1.5.7", "1,5.7"},
      {SeparatorMode::PointToComma, "1,5", "1,5"},
      {SeparatorMode::None, "1,5.7", "1,5.7"},
      {SeparatorMode::CommaToPoint, "", ""},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.in);
    std::string value = c.in;
    adaptDecimalSeparator(value.data(), c.mode);
    EXPECT_EQ(value, c.want);
  }
}

TEST_F(JobParameter, SubmitterValuesCannotEndTheirEntryEarly) {
  usePpd(kFixtures + "job_parameter_lf.ppd");
  Options opts("QZJobNote=a;QZDriverRootPath=/tmp/evil Collate=x;y QZBindEdgeShift=1,5;2");
  Text got(makeJobParameter(opts.list, opts.count, "u;QZHomeUser=root",
                            "x;QZDriverRootPath=/tmp/evil", "1;2"));
  ASSERT_NE(got.p, nullptr);
  // The administrator's PPD value keeps its ";"; the submitter's ones become ",".
  EXPECT_EQ(std::string(got.p),
            kFixtureText + "PageSize=A4;Duplex=None;QZTonerSaving=False;"
                           "QZ_PdlWrapper_DebugMode=0;"
                           "QZCollate=x,y;QZBindEdgeShift=1.5,2;"
                           "QZJobNote=a,QZDriverRootPath=/tmp/evil;"
                           "QZUsrName=u,QZHomeUser=root;QZJobUser=u,QZHomeUser=root;"
                           "QZPDEUserName=u,QZHomeUser=root;QZHomeUser=u,QZHomeUser=root;"
                           "QZDocName=x,QZDriverRootPath=/tmp/evil;QZCopies=1,2;");
  // Only the decimal adaptation reaches the caller's array.
  EXPECT_STREQ(opts.get("QZJobNote"), "a;QZDriverRootPath=/tmp/evil");
  EXPECT_STREQ(opts.get("QZBindEdgeShift"), "1.5;2");
}

TEST(RenameOption, OnlyCollateIsRenamed) {
  EXPECT_STREQ(renameOption("Collate"), "QZCollate");
  for (const char *name : {"collate", "Collate ", "QZCollate", "QZCopies", ""}) {
    SCOPED_TRACE(name);
    EXPECT_EQ(renameOption(name), nullptr);
  }
}

TEST(PpdPiece, ReadsKeyAndValue) {
  const std::string k255(255, 'K');
  const std::string v300 = std::string(255, 'v') + std::string(45, 'w');
  struct Case {
    std::string piece;
    bool gives;
    std::string key, value;
  };
  const Case cases[] = {
      // Keyword form.
      {"*QZTblFormat: \"PDL1\"\n", true, "QZTblFormat", "PDL1"},
      {"*QZTblFormat: \"PDL1\"\r\n", true, "QZTblFormat", "PDL1"},
      {"*QZTblFormat PDL1\n", true, "QZTblFormat", "PDL1"},
      {"*QZTblFormat::  \t\"PDL1\" trailing\n", true, "QZTblFormat", "PDL1"},
      {"*QZTblFormat \t : PDL1", true, "QZTblFormat", "PDL1"},
      {"*QZTblFormat: \"\"\"\"\n", false, "QZTblFormat", ""},
      {"*QZTblFormat: \"\n", false, "QZTblFormat", ""},
      {"*QZTblFormat:\n", false, "QZTblFormat", ""},
      {"*QZTblFormat Opt/Text: \"x\"\n", true, "QZTblFormat", "Opt/Text: "},
      {"*QZTbl*Format: a:b=c;d\n", true, "QZTblFormat", "a:b=c;d"},
      {"**QZTblFormat: x\n", true, "QZTblFormat", "x"},
      {"*QZ**Tbl: x\n", true, "QZ*Tbl", "x"},
      {"* QZTblFormat: x\n", false, "", "QZTblFormat: x"},
      {"*QZTblFormat: " + v300 + "\n", true, "QZTblFormat", v300.substr(0, 255)},
      {"*" + k255 + "X: v\n", true, k255, "X: v"},
      {" *QZTblFormat: x\n", false, "", ""},
      {"QZTblFormat: x\n", false, "", ""},
      // Comment form.
      {"*%QZUIValue: QZMaxCopies (999)\n", true, "QZMaxCopies", "999"},
      {"*%QZUIValue: QZMaxCopies (999)\r\n", true, "QZMaxCopies", "999"},
      {"*%QZUIValue:QZMaxCopies(999", true, "QZMaxCopies", "999"},
      {"*%QZUIValue: QZMaxCopies  (999)\n", true, "QZMaxCopies ", "999"},
      {"*%QZUIValue:\t*QZMax Copies\t*(9 9) x\n", true, "QZMaxCopies", "9 9"},
      {"*%QZUIValue: * QZMaxCopies (1)\n", true, " QZMaxCopies", "1"},
      {"*%QZUIValue: QZMaxCopies (999\r\n", true, "QZMaxCopies", "999"},
      {"*%QZUIValue: QZMaxCopies ()\n", false, "QZMaxCopies", ""},
      {"*%QZUIValue: (999)\n", false, "", "999"},
      {"*%QZUIValue:\n", false, "", ""},
      {"*%QZUIValue: QZMaxCopies\n", false, "", ""},
      {"*%QZUIValue: QZMaxCopies \n", false, "", ""},
      {"*%QZUIValue: " + k255 + "(v)\n", true, k255, "v"},
      {"*%QZUIValue: " + k255 + "X(v)\n", false, "", ""},
      {"*%QZUIValue: Q (" + v300 + ")\n", true, "Q", v300.substr(0, 255)},
      {"*%qzuivalue: QZMaxCopies (999)\n", true, "%qzuivalue", "QZMaxCopies (999)"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.piece);
    PpdPieceFields f;
    EXPECT_EQ(readPpdPiece(c.piece.c_str(), &f), c.gives);
    EXPECT_EQ(std::string(f.key), c.key);
    EXPECT_EQ(std::string(f.value), c.value);
  }
}

TEST_F(JobParameter, TextPassAdmitsKnownKeysInFileOrderWithinItsLimit) {
  // Fourteen entries of 268 characters and one of 248 bring the part to 4000.
  std::string fill, fillEntries;
  for (int i = 0; i < 15; ++i) {
    std::string value(i < 14 ? 255 : 235, static_cast<char>('a' + i));
    fill += "*QZMaxDocStr: " + value + "\n";
    fillEntries += "QZMaxDocStr=" + value + ";";
  }
  const std::string long1023 = "*QZMaxBoxNum: " + std::string(1023 - 14, 'b');
  struct Case {
    const char *name;
    std::string lines;
    std::string want;
    int matches;
  };
  const Case cases[] = {
      {"keys of several lines, in file order, with repeats",
       "*QZTblFormat: \"A\"\n*QZTblformat: \"case\"\n*%QZUIValue: QZTblFormat (B)\n"
       "*QZUnknown: \"u\"\n*QZTblFormat: \"C\"\n",
       "QZTblFormat=A;QZTblFormat=B;QZTblFormat=C;", 3},
      {"a value spanning lines gives its first line only",
       "*QZPDLType: \"one\ntwo\"\n*QZMaxGutter: \"\n*QZTblDuplex: \"\"\n", "QZPDLType=one;", 1},
      {"entry that does not fit is dropped yet counted; a shorter one still fits",
       fill + "*QZTblDuplex: " + std::string(82, 'y') + "\n" + // 4000 + 11 + 82 > 4092
           "*QZTblDuplex: " + std::string(81, 'x') + "\n" +     // exactly 4092: fits
           "*QZMaxGutter: z\n",                                 // part is full
       fillEntries + "QZTblDuplex=" + std::string(81, 'x') + ";", 18},
      {"a line of 1023 characters and more goes on in a piece of its own",
       long1023 + "*QZTblFormat: \"second piece\"\n" + long1023 + "x*QZTblInputSlot: x\n" +
           std::string(1023, ' ') + "*QZTblMediaType: m\n" + "  *QZTblOutputBin: o\n",
       "QZMaxBoxNum=" + std::string(255, 'b') + ";QZTblFormat=second piece;" + "QZMaxBoxNum=" +
           std::string(255, 'b') + ";QZTblMediaType=m;",
       4},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    std::string path = writeFile("pass.ppd", kPpdHeader + c.lines);
    PpdTextPart part;
    ASSERT_EQ(readPpdText(path.c_str(), &part), 0);
    EXPECT_EQ(std::string(part.text), c.want);
    EXPECT_EQ(part.length, c.want.size());
    EXPECT_EQ(part.matches, c.matches);
  }
}

TEST_F(JobParameter, TextPartNeverExceeds4094Characters) {
  // A part of 3826 characters takes one more 255-character value: 11 + 3826 + 255 = 4092.
  std::string path = writeFile("full.ppd", kPpdHeader + "*QZMaxDocStr: " +
                                               std::string(255, 'a') + "\n");
  PpdTextPart part{};
  part.length = 4092 - 11 - 255;
  std::memset(part.text, 'p', part.length);
  part.text[part.length] = '\0';
  admitPpdEntry(&part, "QZMaxDocStr", std::string(255, 'a').c_str());
  EXPECT_EQ(part.length, 4094u);
  EXPECT_EQ(part.text[4093], ';');
  EXPECT_EQ(part.text[4094], '\0');
  admitPpdEntry(&part, "QZTblFormat", "x");
  EXPECT_EQ(part.length, 4094u);
  EXPECT_EQ(part.matches, 2);

  // The generated file passes libcups too, and its long line reaches the builder cut.
  usePpd(path);
  Text got(makeJobParameter(nullptr, 0, nullptr, nullptr, nullptr));
  ASSERT_NE(got.p, nullptr);
  EXPECT_EQ(std::string(got.p), "QZMaxDocStr=" + std::string(255, 'a') + ";");
}

} // namespace
