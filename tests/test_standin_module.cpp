// Tests of the stand-in modules through the real channel: the conversation
// they trace, the job they print, their fault script, and their replies.
#include "channel_test_support.h"
#include "job_params.h"
#include "pjl_output.h"
#include "qzproc_internal.h"

#include <cstring>
#include <regex>

namespace {

constexpr char kParams[] =
    "PageSize=A5;Duplex=DuplexNoTumble;QZColorMode=mono;QZDocName=report;QZCopies=2;";

// A started stand-in with its trace, fault script and output file.
struct Standin {
  TempDir dir;
  std::string trace = dir.file("trace");
  std::string out = dir.file("out");
  pid_t pid = 0;
  ModuleFds fds{-1, -1, -1};
  int outFd = -1;
  IgnoreSigpipe ignore;

  // 'start()' - Start the page description module, or the bidirectional one with opts.
  bool start(const char *faults, const char *opts = nullptr)
  {
    setenv("TOVEFILT_STANDIN_TRACE", trace.c_str(), 1);
    setenv("TOVEFILT_STANDIN_FAULTS", faults, 1);
    outFd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int rc = opts ? qzprocStartBidi(&pid, &fds, 3, outFd, opts)
                  : qzprocStartModule(&pid, &fds, 3, outFd);
    unsetenv("TOVEFILT_STANDIN_FAULTS");
    unsetenv("TOVEFILT_STANDIN_TRACE");
    return rc == 0;
  }
  // 'command()' - One command and its response's result.
  int command(uint16_t code, const void *payload = nullptr, int len = 0)
  {
    if (qzprocWriteCommand(fds, code, payload, len) < 0)
      return -100;
    return qzprocReadResponse(fds, code, nullptr, nullptr);
  }
  int text(uint16_t code, const char *t) { return command(code, t, static_cast<int>(strlen(t)) + 1); }
  // 'data()' - Command 7 with its bytes.
  int data(const std::string &bytes)
  {
    std::string count = std::to_string(bytes.size());
    if (qzprocWriteCommand(fds, CMD_SEND_DATA, count.c_str(), static_cast<int>(count.size()) + 1) < 0 ||
        qzprocWriteData(fds, bytes.data(), static_cast<int>(bytes.size())) < 0)
      return -100;
    return qzprocReadResponse(fds, CMD_SEND_DATA, nullptr, nullptr);
  }
  // 'finish()' - Send 240 (with the bidirectional payload when asked), wait for the end.
  int finish(bool bidi = false)
  {
    static const unsigned char term[4] = {0, 0, 0, 0};
    qzprocWriteCommand(fds, CMD_TERMINATE, bidi ? term : nullptr, bidi ? 4 : 0);
    return waitExit(pid);
  }
  // 'hangUp()' - Close our ends, as a filter that ends does; the module's exit status.
  int hangUp()
  {
    close(fds.cmd_fd);
    close(fds.dat_fd);
    fds.cmd_fd = fds.dat_fd = -1;
    return waitExit(pid);
  }
  std::vector<std::string> traceLines() const { return lines(readFile(trace)); }
  // 'commandLines()' - The trace without its start and argument lines.
  std::vector<std::string> commandLines() const
  {
    std::vector<std::string> out;
    for (const std::string &l : traceLines())
      if (l.rfind("start ", 0) != 0 && l.rfind("arg ", 0) != 0)
        out.push_back(l);
    return out;
  }
  ~Standin()
  {
    for (int fd : {fds.cmd_fd, fds.res_fd, fds.dat_fd, outFd})
      if (fd >= 0)
        close(fd);
  }
};

TEST(StandinModule, WholeJobTraceAndOutput)
{
  Standin m;
  ASSERT_TRUE(m.start(""));
  std::string first = "%PDF-1.7\n" + std::string(4087, 'p');
  std::string second = "tail\n";
  EXPECT_EQ(m.text(CMD_SET_JOB_ATTR, kParams), 0);
  EXPECT_EQ(m.command(CMD_START_OUTPUT), 0);
  EXPECT_EQ(m.data(first), 0);
  EXPECT_EQ(m.data(second), 0);
  EXPECT_EQ(m.command(CMD_END_OUTPUT), 0);
  EXPECT_EQ(m.finish(), 0);

  std::vector<std::string> t = m.traceLines();
  ASSERT_EQ(t.size(), 14u);
  EXPECT_EQ(t[0], "start yxpkmodulelumor");
  EXPECT_EQ(t[1], "arg 0 " TOVEFILT_TEST_MODULE_DIR "yxpkmodulelumor");
  EXPECT_EQ(t[2], "arg 1 --format=3");
  EXPECT_EQ(t[3], "arg 2 --output=" + std::to_string(m.outFd));
  for (int i = 4; i <= 6; i++)
    EXPECT_TRUE(std::regex_match(t[i], std::regex("arg [3-5] --(cmd|res|dat)_fd=[0-9]+"))) << t[i];
  EXPECT_EQ(std::vector<std::string>(t.begin() + 7, t.end()),
            (std::vector<std::string>{
                std::string("cmd 3 len ") + std::to_string(strlen(kParams) + 1) + " payload text:" + kParams,
                "cmd 1 len 0 payload -", "cmd 7 len 5 payload text:4096 data 4096",
                "cmd 7 len 2 payload text:5 data 5", "cmd 2 len 0 payload -",
                "cmd 240 len 0 payload -", "exit 0"}));

  std::string want = pjlHeader(kParams, reinterpret_cast<const unsigned char *>(first.data()),
                               first.size()) +
                     first + second + pjlTrailer(kParams);
  EXPECT_EQ(readFile(m.out), want);
}

TEST(StandinModule, BidiPassesItsOptionTextAsOneArgument)
{
  for (const char *opts : {"", "a b;c=d", "--format=9"}) {
    SCOPED_TRACE(opts);
    Standin m;
    ASSERT_TRUE(m.start("", opts));
    EXPECT_EQ(m.command(CMD_NEXT_PAGE), 0);
    EXPECT_EQ(m.finish(true), 0);
    std::vector<std::string> t = m.traceLines();
    ASSERT_EQ(t.size(), 11u);
    EXPECT_EQ(t[0], "start yxpkbidir");
    EXPECT_EQ(t[1], "arg 0 " TOVEFILT_TEST_MODULE_DIR "yxpkbidir");
    EXPECT_EQ(t[7], std::string("arg 6 --opt_list=") + opts);
    EXPECT_EQ(t[8], "cmd 16 len 0 payload -");
    EXPECT_EQ(t[9], "cmd 240 len 4 payload hex:00000000");
    EXPECT_EQ(t[10], "exit 0");
    EXPECT_TRUE(readFile(m.out).empty());
  }
}

// Every fault script of the table drives one fixed conversation; the results
// the channel reports and the module's own trace must match. Once a module has
// died, a command fails either at its write or at its read, so both show as -1.
TEST(StandinModule, FaultScripts)
{
  enum End { Terminate, HangUp, Dies };
  struct Case {
    const char *faults;
    std::vector<int> want; // results of: 3, 1, 7, 7, 2
    End end;
    int exitStatus;
    const char *lastTrace;
  };
  const Case cases[] = {
      {"", {0, 0, 0, 0, 0}, Terminate, 0, "exit 0"},
      {"7#2:result=-1", {0, 0, 0, -1, 0}, Terminate, 0, "exit 0"},
      {"3:result=5|#2:result=-7", {5, -7, 0, 0, 0}, Terminate, 0, "exit 0"},
      {"1:echo=2", {0, -1, 0, 0, 0}, Terminate, 0, "exit 0"},
      {"*:result=1|7:result=0", {1, 1, 0, 0, 1}, Terminate, 0, "exit 0"},
      {"3:payload=x=y;", {0, 0, 0, 0, 0}, Terminate, 0, "exit 0"},
      {"2:rawpayload=00ff|2:sleep=1", {0, 0, 0, 0, 0}, Terminate, 0, "exit 0"},
      {"#3:exit=9", {0, 0, -1, -1, -1}, Dies, 9, "exit 9"},
      {"7#1:halfdata", {0, 0, -1, -1, -1}, Dies, 1, "exit 1"},
      {"start:exit=4", {-1, -1, -1, -1, -1}, Dies, 4, "exit 4"},
      {"2:signal=9", {0, 0, 0, 0, -1}, Dies, 1000 + SIGKILL, "cmd 2 len 0 payload -"},
      {"1:closeres", {0, -1, -1, -1, -1}, HangUp, 0, "exit 0"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.faults);
    Standin m;
    ASSERT_TRUE(m.start(c.faults));
    std::vector<int> got = {m.text(CMD_SET_JOB_ATTR, kParams), m.command(CMD_START_OUTPUT),
                            m.data(std::string(100, 'd')), m.data("xyz"),
                            m.command(CMD_END_OUTPUT)};
    for (int &r : got)
      r = r == -100 ? -1 : r;
    EXPECT_EQ(got, c.want);
    int status = c.end == Terminate ? m.finish() : c.end == HangUp ? m.hangUp() : waitExit(m.pid);
    EXPECT_EQ(status, c.exitStatus);
    std::vector<std::string> t = m.traceLines();
    ASSERT_FALSE(t.empty());
    EXPECT_EQ(t.back(), c.lastTrace);
  }
}

TEST(StandinModule, FaultTraceShowsWhereTheModuleStopped)
{
  struct Case {
    const char *faults;
    std::vector<std::string> want;
  };
  const Case cases[] = {
      {"7:exit=3", {"cmd 7 len 4 payload text:100 data 0", "exit 3"}},
      {"7:halfdata", {"cmd 7 len 4 payload text:100 data 50", "exit 1"}},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.faults);
    Standin m;
    ASSERT_TRUE(m.start(c.faults));
    m.data(std::string(100, 'd'));
    waitExit(m.pid);
    EXPECT_EQ(m.commandLines(), c.want);
  }
}

// A hanging module answers nothing, yet ends once the filter's ends close.
TEST(StandinModule, HangEndsAtEndOfFile)
{
  Standin m;
  ASSERT_TRUE(m.start("3:hang"));
  ASSERT_EQ(qzprocWriteCommand(m.fds, CMD_SET_JOB_ATTR, "a=b;", 5), 0);
  EXPECT_EQ(m.hangUp(), 0);
  EXPECT_EQ(qzprocReadResponse(m.fds, CMD_SET_JOB_ATTR, nullptr, nullptr), -1);
  EXPECT_EQ(m.commandLines(), (std::vector<std::string>{"cmd 3 len 5 payload text:a=b;", "exit 0"}));
}

TEST(StandinModule, EndOfFileWithoutTerminateEndsTheModule)
{
  Standin m;
  ASSERT_TRUE(m.start(""));
  EXPECT_EQ(m.command(CMD_START_OUTPUT), 0);
  EXPECT_EQ(m.hangUp(), 1);
}

TEST(StandinModule, IgnoresSigtermAndServesOn)
{
  Standin m;
  ASSERT_TRUE(m.start(""));
  EXPECT_EQ(m.command(CMD_START_OUTPUT), 0); // past its signal set-up
  EXPECT_EQ(qzprocKill(m.pid), 0);
  EXPECT_EQ(m.command(CMD_NEXT_PAGE), 0);
  EXPECT_EQ(m.finish(), 0);
}

TEST(StandinModule, LargestPayloadAndBinaryPayloadTrace)
{
  Standin m;
  ASSERT_TRUE(m.start(""));
  std::string big(65534, 'k');
  EXPECT_EQ(m.text(CMD_ATTR_4, big.c_str()), 0);
  const unsigned char value[4] = {0x2a, 0, 0, 0x80};
  EXPECT_EQ(m.command(CMD_VALUE_19, value, 4), 0);
  EXPECT_EQ(m.text(CMD_ATTR_6, "tab\there"), 0);
  EXPECT_EQ(m.finish(), 0);
  EXPECT_EQ(m.commandLines(),
            (std::vector<std::string>{"cmd 4 len 65535 payload text:" + big,
                                      "cmd 19 len 4 payload hex:2a000080",
                                      "cmd 6 len 9 payload hex:7461620968657265" "00",
                                      "cmd 240 len 0 payload -", "exit 0"}));
}

TEST(StandinModule, PageAttrReplyFromTheJobParameters)
{
  struct Case {
    const char *params;
    const char *want;
  };
  const Case cases[] = {
      {"", "page_orient=portrait;color_mode=color;duplex=False;"},
      {kParams, "page_name=A5;page_orient=portrait;color_mode=gray;duplex=True;"},
      {"PageSize=A4;PageSize=A3;Orientation=landscape;Resolution=1200;QZColorMode=Mono;"
       "MediaType=Thick;QZTonerSaving=On;BindEdge=Top;QZBindEdgeShift=12;Duplex=None;",
       "page_name=A3;page_orient=landscape;resolution=1200;color_mode=color;media_type=Thick;"
       "toner_save=On;bind_edge=Top;bind_edge_shift=12;duplex=False;"},
      {"Duplex=False;XPageSize=B5;", "page_orient=portrait;color_mode=color;duplex=False;"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.params);
    std::string want = std::string(c.want) + '\0';
    EXPECT_EQ(pageAttrReply(c.params), want);

    // The module answers it on the wire, the NUL counted in the length.
    Standin m;
    ASSERT_TRUE(m.start(""));
    EXPECT_EQ(m.text(CMD_SET_JOB_ATTR, c.params), 0);
    ASSERT_EQ(qzprocWriteCommand(m.fds, CMD_GET_PAGE_ATTR, nullptr, 0), 0);
    int len = 0;
    unsigned char *payload = nullptr;
    EXPECT_EQ(qzprocReadResponse(m.fds, CMD_GET_PAGE_ATTR, &len, &payload), 0);
    ASSERT_NE(payload, nullptr);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(payload), static_cast<size_t>(len)), want);
    free(payload);
    EXPECT_EQ(m.finish(), 0);
  }
}

TEST(StandinModule, PageAttrReplyCanBeOverridden)
{
  Standin m;
  ASSERT_TRUE(m.start("17:payload=page_name=Letter;"));
  ASSERT_EQ(qzprocWriteCommand(m.fds, CMD_GET_PAGE_ATTR, nullptr, 0), 0);
  int len = 0;
  unsigned char *payload = nullptr;
  EXPECT_EQ(qzprocReadResponse(m.fds, CMD_GET_PAGE_ATTR, &len, &payload), 0);
  ASSERT_EQ(len, 18);
  EXPECT_EQ(std::string(reinterpret_cast<char *>(payload), 18), std::string("page_name=Letter;") + '\0');
  free(payload);
  EXPECT_EQ(m.finish(), 0);
}

TEST(StandinModule, PjlEnvelope)
{
  struct Case {
    const char *name;
    const char *params;
    std::string data;
    std::string want;
  };
  const std::string uel = "\x1b%-12345X";
  const Case cases[] = {
      {"postscript, defaults", "", "%!PS", uel + "@PJL\r\n@PJL JOB NAME=\"\"\r\n@PJL SET COPIES=1\r\n"
                                               "@PJL ENTER LANGUAGE=POSTSCRIPT\r\n"},
      {"pdf, duplex, paper", "QZDocName=a\"b;QZCopies=3;Duplex=DuplexTumble;PageSize=a4;",
       "%PDF-1.4", uel + "@PJL\r\n@PJL JOB NAME=\"a_b\"\r\n@PJL SET COPIES=3\r\n"
                         "@PJL SET DUPLEX=ON\r\n@PJL SET BINDING=SHORTEDGE\r\n"
                         "@PJL SET PAPER=A4\r\n@PJL ENTER LANGUAGE=PDF\r\n"},
      {"long-edge duplex", "Duplex=DuplexNoTumble;", "%!PS",
       uel + "@PJL\r\n@PJL JOB NAME=\"\"\r\n@PJL SET COPIES=1\r\n"
             "@PJL SET DUPLEX=ON\r\n@PJL SET BINDING=LONGEDGE\r\n"
             "@PJL ENTER LANGUAGE=POSTSCRIPT\r\n"},
      {"unknown language, simplex, odd copies", "Duplex=None;QZCopies=2x;", "raw",
       uel + "@PJL\r\n@PJL JOB NAME=\"\"\r\n@PJL SET COPIES=1\r\n@PJL SET DUPLEX=OFF\r\n"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(pjlHeader(c.params, reinterpret_cast<const unsigned char *>(c.data.data()),
                        c.data.size()),
              c.want);
  }
  EXPECT_EQ(pjlTrailer("QZDocName=x;"), uel + "@PJL EOJ NAME=\"x\"\r\n" + uel);
}

// A stopped job (240 without 2) still gets a closed envelope; a job that
// never started output prints nothing.
TEST(StandinModule, EnvelopeClosedOnTerminate)
{
  {
    Standin m;
    ASSERT_TRUE(m.start(""));
    EXPECT_EQ(m.text(CMD_SET_JOB_ATTR, "QZDocName=s;"), 0);
    EXPECT_EQ(m.command(CMD_START_OUTPUT), 0);
    EXPECT_EQ(m.data("%!x"), 0);
    EXPECT_EQ(m.finish(), 0);
    const unsigned char *d = reinterpret_cast<const unsigned char *>("%!x");
    EXPECT_EQ(readFile(m.out), pjlHeader("QZDocName=s;", d, 3) + "%!x" + pjlTrailer("QZDocName=s;"));
  }
  {
    Standin m;
    ASSERT_TRUE(m.start(""));
    EXPECT_EQ(m.text(CMD_SET_JOB_ATTR, "QZDocName=s;"), 0);
    EXPECT_EQ(m.finish(), 0);
    EXPECT_TRUE(readFile(m.out).empty());
  }
}

} // namespace
