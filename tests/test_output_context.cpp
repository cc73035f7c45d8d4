// Output context: batching, closing commands and results against the
// stand-in module (its trace shows what reached the module), and
// pass-through mode against pipes.
#include "process_state.h"
#include "qzpk.h"
#include "qzpk_internal.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace {

using Lines = std::vector<std::string>;

// 'chunkLine()' - The trace line of a command 7 that carried n bytes.
std::string chunkLine(int n)
{
  std::string digits = std::to_string(n);
  return "cmd 7 len " + std::to_string(digits.size() + 1) + " payload text:" + digits +
         " data " + digits;
}

// 'bareLine()' - The trace line of a command without payload.
std::string bareLine(int code)
{
  return "cmd " + std::to_string(code) + " len 0 payload -";
}

const std::string kTerminate = bareLine(CMD_TERMINATE);

// 'sigpipePending()' - Whether a SIGPIPE waits for delivery.
bool sigpipePending()
{
  sigset_t set;
  sigpending(&set);
  return sigismember(&set, SIGPIPE) == 1;
}

// 'childBlocksSigpipe()' - Whether process pid's mask holds SIGPIPE (from /proc).
bool childBlocksSigpipe(pid_t pid)
{
  std::ifstream in("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind("SigBlk:", 0) == 0)
      return (std::stoull(line.substr(7), nullptr, 16) >> (SIGPIPE - 1)) & 1;
  }
  ADD_FAILURE() << "no SigBlk line for " << pid;
  return false;
}

// A temporary directory with the stand-in's trace file and an output file
// that the module gets as its output descriptor.
class OutputContextTest : public ::testing::Test {
protected:
  void SetUp() override
  {
    const char *tmp = getenv("TMPDIR");
    std::string tmpl = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") +
                       "/qzpk-test-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl.data()), nullptr);
    dir_ = tmpl;
    tracePath_ = dir_ + "/trace";
    setenv("TOVEFILT_STANDIN_TRACE", tracePath_.c_str(), 1);
    unsetenv("TOVEFILT_STANDIN_FAULTS");
    outFd_ = open((dir_ + "/out").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ASSERT_GE(outFd_, 0);
  }

  void TearDown() override
  {
    unsetenv("TOVEFILT_STANDIN_TRACE");
    unsetenv("TOVEFILT_STANDIN_FAULTS");
    if (outFd_ >= 0)
      close(outFd_);
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }

  // 'module()' - A module-mode context whose stand-in applies the given faults.
  OutputContext *module(const std::string &faults = "")
  {
    std::filesystem::remove(tracePath_);
    if (faults.empty())
      unsetenv("TOVEFILT_STANDIN_FAULTS");
    else
      setenv("TOVEFILT_STANDIN_FAULTS", faults.c_str(), 1);
    OutputContext *ctx = qzpkNew(3, outFd_);
    EXPECT_NE(ctx, nullptr);
    if (ctx != nullptr) {
      EXPECT_EQ(ctx->mode, 1);
    }
    return ctx;
  }

  // 'passThrough()' - A pass-through context (the stand-in reports itself absent).
  OutputContext *passThrough(int output)
  {
    std::filesystem::remove(tracePath_);
    setenv("TOVEFILT_STANDIN_FAULTS", "probe:exit=44", 1);
    OutputContext *ctx = qzpkNew(3, output);
    EXPECT_NE(ctx, nullptr);
    if (ctx != nullptr) {
      EXPECT_EQ(ctx->mode, 0);
      EXPECT_EQ(ctx->outFd, output);
    }
    return ctx;
  }

  // 'trace()' - The trace lines that begin with prefix.
  Lines trace(const std::string &prefix = "cmd ") const
  {
    Lines lines;
    std::ifstream in(tracePath_);
    std::string line;
    while (std::getline(in, line)) {
      if (line.rfind(prefix, 0) == 0)
        lines.push_back(line);
    }
    return lines;
  }

  std::string dir_;
  std::string tracePath_;
  int outFd_ = -1;
};

// ---- module mode: batching ----

TEST_F(OutputContextTest, BatchesIntoChunksAsTheModuleSeesThem)
{
  struct Case {
    const char *name;
    std::vector<int> sends;
    std::vector<int> chunks; // sizes of the command-7 chunks, in order
    int kept;                // bytes left in the batch
  };
  const Case cases[] = {
      {"below a chunk, nothing sent", {4095}, {}, 4095},
      {"one byte more sends the batch alone", {4095, 1}, {4095}, 1},
      {"exactly one chunk", {4096}, {4096}, 0},
      {"one driver block", {65536}, std::vector<int>(16, 4096), 0},
      {"earlier batch never joins new data", {10, 10000}, {10, 4096, 4096}, 1808},
      {"small pieces gather", {1000, 1000, 2095, 1}, {4095}, 1},
      {"empty piece", {0}, {}, 0},
  };
  std::vector<unsigned char> data(65536, 0x5a);
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    OutputContext *ctx = module();
    ASSERT_NE(ctx, nullptr);
    for (int n : c.sends)
      EXPECT_EQ(qzpkSendData(ctx, data.data(), n), 0);
    EXPECT_EQ(ctx->batchLen, c.kept);
    // The kept bytes are never sent by destroy.
    EXPECT_EQ(qzpkDestroy(ctx), 0);
    Lines want;
    for (int n : c.chunks)
      want.push_back(chunkLine(n));
    want.push_back(kTerminate);
    EXPECT_EQ(trace(), want);
  }
}

TEST_F(OutputContextTest, RefusedChunkStopsSendData)
{
  struct Case {
    const char *faults;
    std::vector<int> sends;
    int wantLast; // result of the last send
    std::vector<int> chunks;
    int kept;
  };
  const Case cases[] = {
      // The batch is refused: kept, and none of the new data taken.
      {"7#1:result=-1", {10, 10000}, -1, {10}, 10},
      // A full chunk is refused: the rest of the data is dropped.
      {"7#2:result=-1", {10, 10000}, -1, {10, 4096}, 0},
      // Any non-zero result counts as a refusal inside qzpkSendData.
      {"7#1:result=5", {4096}, -1, {4096}, 0},
      {"7#17:result=-1", {65536, 4096}, -1, std::vector<int>(17, 4096), 0},
  };
  std::vector<unsigned char> data(65536, 1);
  for (const Case &c : cases) {
    SCOPED_TRACE(c.faults);
    OutputContext *ctx = module(c.faults);
    ASSERT_NE(ctx, nullptr);
    int rc = 0;
    for (int n : c.sends)
      rc = qzpkSendData(ctx, data.data(), n);
    EXPECT_EQ(rc, c.wantLast);
    EXPECT_EQ(ctx->batchLen, c.kept);
    EXPECT_EQ(qzpkDestroy(ctx), 0);
    Lines want;
    for (int n : c.chunks)
      want.push_back(chunkLine(n));
    want.push_back(kTerminate);
    EXPECT_EQ(trace(), want);
  }
}

// ---- module mode: closing commands ----

TEST_F(OutputContextTest, FlushEndAndNextPageSendTheBatchFirst)
{
  using Op = int (*)(OutputContext *);
  struct Case {
    const char *name;
    Op op;
    int code;
    const char *faults;
    int waiting; // bytes in the batch beforehand
    int want;
    bool ownCommandSent;
    int kept;
  };
  const Case cases[] = {
      {"end, empty batch", qzpkEndOutput, CMD_END_OUTPUT, "", 0, 0, true, 0},
      {"end, 5 bytes", qzpkEndOutput, CMD_END_OUTPUT, "", 5, 0, true, 0},
      {"flush, 5 bytes", qzpkFlushSendData, CMD_FLUSH_SEND_DATA, "", 5, 0, true, 0},
      {"next page, 5 bytes", qzpkNextPage, CMD_NEXT_PAGE, "", 5, 0, true, 0},
      // A positive module result passes through unchanged.
      {"end answered 5", qzpkEndOutput, CMD_END_OUTPUT, "2:result=5", 0, 5, true, 0},
      {"next page answered 5", qzpkNextPage, CMD_NEXT_PAGE, "16:result=5", 3, 5, true, 0},
      // A refused batch: end and flush still send their command, but the
      // lost data shows in the result.
      {"end, batch refused", qzpkEndOutput, CMD_END_OUTPUT, "7:result=-1", 5, -1, true, 5},
      {"flush, batch answered 3", qzpkFlushSendData, CMD_FLUSH_SEND_DATA, "7:result=3", 5, -1,
       true, 5},
      {"end answered 5, batch refused", qzpkEndOutput, CMD_END_OUTPUT,
       "7:result=-1|2:result=5", 5, -1, true, 5},
      {"end answered -7, batch refused", qzpkEndOutput, CMD_END_OUTPUT,
       "7:result=-1|2:result=-7", 5, -7, true, 5},
      // A refused batch stops a page break before its command.
      {"next page, batch refused", qzpkNextPage, CMD_NEXT_PAGE, "7:result=-1", 5, -1, false, 5},
  };
  const unsigned char bytes[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    OutputContext *ctx = module(c.faults);
    ASSERT_NE(ctx, nullptr);
    ASSERT_EQ(qzpkSendData(ctx, bytes, c.waiting), 0);
    testing::internal::CaptureStderr();
    EXPECT_EQ(c.op(ctx), c.want);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(ctx->batchLen, c.kept);
    EXPECT_EQ(qzpkDestroy(ctx), 0);
    Lines want;
    if (c.waiting > 0)
      want.push_back(chunkLine(c.waiting));
    if (c.ownCommandSent)
      want.push_back(bareLine(c.code));
    want.push_back(kTerminate);
    EXPECT_EQ(trace(), want);
  }
}

// ---- module mode: simple commands ----

TEST_F(OutputContextTest, SimpleCommandsCarryTheirPayloadAndPassResultsThrough)
{
  using Op = std::function<int(OutputContext *)>;
  struct Case {
    const char *name;
    Op op;
    const char *faults;
    int want;
    std::string line;
  };
  const Case cases[] = {
      {"job attributes", [](OutputContext *c) { return qzpkSetJobAttr(c, "a=1;b=2;"); }, "", 0,
       "cmd 3 len 9 payload text:a=1;b=2;"},
      {"job attributes answered 5", [](OutputContext *c) { return qzpkSetJobAttr(c, "a=1;"); },
       "3:result=5", 5, "cmd 3 len 5 payload text:a=1;"},
      {"command 4", [](OutputContext *c) { return qzpkSetAttrCmd4(c, "x=1;"); }, "4:result=5", 5,
       "cmd 4 len 5 payload text:x=1;"},
      {"command 6", [](OutputContext *c) { return qzpkSetAttrCmd6(c, ""); }, "6:result=-3", -3,
       "cmd 6 len 1 payload text:"},
      {"value 18", [](OutputContext *c) { return qzpkSetValueCmd18(c, 1); }, "", 0,
       "cmd 18 len 4 payload hex:01000000"},
      {"value 19", [](OutputContext *c) { return qzpkSetValueCmd19(c, -2); }, "19:result=5", 5,
       "cmd 19 len 4 payload hex:feffffff"},
      {"start output", qzpkStartOutput, "1:result=5", 5, bareLine(CMD_START_OUTPUT)},
      {"answer to another command", qzpkStartOutput, "1:echo=2", -1, bareLine(CMD_START_OUTPUT)},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    OutputContext *ctx = module(c.faults);
    ASSERT_NE(ctx, nullptr);
    EXPECT_EQ(c.op(ctx), c.want);
    EXPECT_EQ(qzpkDestroy(ctx), 0);
    EXPECT_EQ(trace(), (Lines{c.line, kTerminate}));
  }
}

TEST_F(OutputContextTest, TextsThatCannotTravelAreRefusedUnsent)
{
  std::string longest(QZPROC_MAX_PAYLOAD - 1, 'k');
  std::string tooLong(QZPROC_MAX_PAYLOAD, 'k');
  OutputContext *ctx = module();
  ASSERT_NE(ctx, nullptr);
  EXPECT_EQ(qzpkSetJobAttr(ctx, nullptr), -1);
  EXPECT_EQ(qzpkSetAttrCmd4(ctx, tooLong.c_str()), -1);
  EXPECT_EQ(qzpkSetAttrCmd6(ctx, longest.c_str()), 0);
  EXPECT_EQ(qzpkDestroy(ctx), 0);
  Lines cmds = trace();
  ASSERT_EQ(cmds.size(), 2u);
  EXPECT_EQ(cmds[0].rfind("cmd 6 len 65535 payload text:kkk", 0), 0u);
  EXPECT_EQ(cmds[1], kTerminate);
}

// ---- module mode: destruction and a module that has gone ----

TEST_F(OutputContextTest, DestroyWaitsForTheChildAndClosesItsPipes)
{
  int before = countOpenFds();
  OutputContext *ctx = module();
  ASSERT_NE(ctx, nullptr);
  pid_t child = ctx->childPid;
  EXPECT_EQ(countOpenFds(), before + 3);
  EXPECT_EQ(qzpkDestroy(ctx), 0);
  // Already reaped: the call returned only after the child had ended.
  errno = 0;
  EXPECT_EQ(waitpid(child, nullptr, WNOHANG), -1);
  EXPECT_EQ(errno, ECHILD);
  Lines all = trace("");
  ASSERT_FALSE(all.empty());
  EXPECT_EQ(all.back(), "exit 0");
  EXPECT_EQ(countOpenFds(), before);
}

TEST_F(OutputContextTest, ModuleGoneMidJobFailsWithoutHangingOrDying)
{
  OutputContext *ctx = module("1:exit=3");
  ASSERT_NE(ctx, nullptr);
  EXPECT_EQ(qzpkSetJobAttr(ctx, "a=1;"), 0);
  EXPECT_EQ(qzpkStartOutput(ctx), -1);
  // Reaped here, so every later write meets a pipe without reader.
  ASSERT_EQ(waitpid(ctx->childPid, nullptr, 0), ctx->childPid);
  unsigned char bytes[5000] = {};
  ASSERT_EQ(qzpkSendData(ctx, bytes, 5), 0);
  testing::internal::CaptureStderr();
  EXPECT_EQ(qzpkEndOutput(ctx), -1);
  EXPECT_EQ(qzpkNextPage(ctx), -1);
  EXPECT_EQ(qzpkFlushSendData(ctx), -1);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "ERROR: qzpklib -->qzpkEndOutput\n\n"
            "ERROR: qzpklib -->qzpkNextPage\n\n"
            "ERROR: qzpklib -->qzpkFlushSendData\n\n");
  EXPECT_EQ(qzpkSendData(ctx, bytes, sizeof(bytes)), -1);
  EXPECT_EQ(ctx->batchLen, 5);
  EXPECT_EQ(qzpkSetValueCmd18(ctx, 1), -1);
  // Without command 240 written the context stays with the caller.
  EXPECT_EQ(qzpkDestroy(ctx), -1);
  EXPECT_EQ(ctx->mode, 1);
  EXPECT_EQ(trace(), (Lines{"cmd 3 len 5 payload text:a=1;", bareLine(CMD_START_OUTPUT)}));
  close(ctx->fds.cmd_fd);
  close(ctx->fds.res_fd);
  close(ctx->fds.dat_fd);
  free(ctx);
  qzpkSigpipeRelease();
  EXPECT_FALSE(sigpipeBlocked());
}

// A module that stops answering (here: closes its result pipe and keeps
// reading commands) must not keep destroy waiting for ever.
TEST_F(OutputContextTest, DestroyEndsAModuleThatStoppedAnswering)
{
  int before = countOpenFds();
  OutputContext *ctx = module("3:closeres");
  ASSERT_NE(ctx, nullptr);
  pid_t child = ctx->childPid;
  EXPECT_EQ(qzpkSetJobAttr(ctx, "a=1;"), -1);
  EXPECT_EQ(qzpkDestroy(ctx), 0);
  errno = 0;
  EXPECT_EQ(waitpid(child, nullptr, WNOHANG), -1);
  EXPECT_EQ(errno, ECHILD);
  EXPECT_EQ(countOpenFds(), before);
}

// ---- SIGPIPE guard ----

TEST_F(OutputContextTest, SigpipeBlockedWhileAContextLivesButNotInModules)
{
  ASSERT_FALSE(sigpipeBlocked());
  OutputContext *first = module();
  ASSERT_NE(first, nullptr);
  EXPECT_TRUE(sigpipeBlocked());
  EXPECT_FALSE(childBlocksSigpipe(first->childPid));
  OutputContext *second = module();
  ASSERT_NE(second, nullptr);
  EXPECT_FALSE(childBlocksSigpipe(second->childPid));
  EXPECT_TRUE(sigpipeBlocked());
  EXPECT_EQ(qzpkDestroy(second), 0);
  EXPECT_TRUE(sigpipeBlocked());
  EXPECT_EQ(qzpkDestroy(first), 0);
  EXPECT_FALSE(sigpipeBlocked());
}

TEST_F(OutputContextTest, PassThroughToADeadReaderFailsWithEpipe)
{
  struct Case {
    const char *name;
    bool callerBlocks;
  };
  const Case cases[] = {{"caller's mask open", false}, {"caller blocks SIGPIPE", true}};
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    sigset_t pipeOnly;
    sigemptyset(&pipeOnly);
    sigaddset(&pipeOnly, SIGPIPE);
    if (c.callerBlocks)
      pthread_sigmask(SIG_BLOCK, &pipeOnly, nullptr);
    int p[2];
    ASSERT_EQ(pipe(p), 0);
    close(p[0]);
    OutputContext *ctx = passThrough(p[1]);
    ASSERT_NE(ctx, nullptr);
    const char text[] = "job data";
    errno = 0;
    EXPECT_EQ(qzpkSendData(ctx, text, sizeof(text)), -1);
    EXPECT_EQ(errno, EPIPE);
    EXPECT_EQ(qzpkDestroy(ctx), 0);
    close(p[1]);
    // The caller's mask is back as it was; the guard's own signal is gone.
    EXPECT_EQ(sigpipeBlocked(), c.callerBlocks);
    if (!c.callerBlocks) {
      EXPECT_FALSE(sigpipePending());
    } else {
      const timespec zero = {0, 0};
      while (sigtimedwait(&pipeOnly, nullptr, &zero) == SIGPIPE) {
      }
      pthread_sigmask(SIG_UNBLOCK, &pipeOnly, nullptr);
    }
  }
}

// ---- pass-through mode ----

TEST_F(OutputContextTest, PassThroughRecordsAttributesAndWritesNothingElse)
{
  int p[2];
  ASSERT_EQ(pipe(p), 0);
  OutputContext *ctx = passThrough(p[1]);
  ASSERT_NE(ctx, nullptr);
  EXPECT_EQ(qzpkSetJobAttr(ctx, "Duplex=None;PageSize=A4;"), 0);
  EXPECT_EQ(qzpkSetAttrCmd4(ctx, "updf:MediaPageRotation=90;"), 0);
  EXPECT_EQ(qzpkSetAttrCmd6(ctx, "Duplex=Long;"), 0);
  EXPECT_EQ(qzpkSetAttrCmd6(ctx, nullptr), -1);
  EXPECT_EQ(qzpkSetValueCmd18(ctx, 7), 0);
  EXPECT_EQ(qzpkSetValueCmd19(ctx, 8), 0);
  EXPECT_EQ(qzpkStartOutput(ctx), 0);
  EXPECT_EQ(qzpkNextPage(ctx), 0);
  EXPECT_EQ(qzpkNextPage(ctx), 0);
  EXPECT_EQ(qzpkFlushSendData(ctx), 0);
  EXPECT_EQ(qzpkEndOutput(ctx), 0);
  EXPECT_EQ(ctx->pageCount, 2);
  struct Want {
    const char *name;
    const char *value;
  };
  const Want wants[] = {{"duplex", "Long"}, {"PageSize", "A4"}, {"Orientation", "90"}};
  int nodes = 0;
  for (const AttrNode *n = ctx->attrs; n != nullptr; n = n->next)
    nodes++;
  EXPECT_EQ(nodes, 3);
  for (const Want &w : wants) {
    char *value = attrGet(ctx->attrs, w.name, nullptr);
    EXPECT_STREQ(value, w.value) << w.name;
    free(value);
  }
  int waiting = -1;
  ASSERT_EQ(ioctl(p[0], FIONREAD, &waiting), 0);
  EXPECT_EQ(waiting, 0);
  EXPECT_EQ(qzpkDestroy(ctx), 0);
  close(p[0]);
  close(p[1]);
  // The stand-in was probed and reported itself absent; nothing was started.
  EXPECT_EQ(trace("probe ").size(), 1u);
  EXPECT_TRUE(trace("start ").empty());
}

volatile sig_atomic_t interruptions = 0;

// 'countInterruption()' - Handler that only counts, so the write returns short.
void countInterruption(int)
{
  interruptions = interruptions + 1;
}

TEST_F(OutputContextTest, PassThroughContinuesAfterAPartialWrite)
{
  int p[2];
  ASSERT_EQ(pipe(p), 0);
  int capacity = fcntl(p[1], F_SETPIPE_SZ, 4096);
  ASSERT_GT(capacity, 0);
  std::vector<unsigned char> data(static_cast<size_t>(capacity) * 5 + 123);
  for (size_t i = 0; i < data.size(); i++)
    data[i] = static_cast<unsigned char>(i * 7 + i / 251);

  struct sigaction sa = {}, old = {};
  sa.sa_handler = countInterruption;
  sa.sa_flags = SA_RESTART;
  sigemptyset(&sa.sa_mask);
  ASSERT_EQ(sigaction(SIGUSR1, &sa, &old), 0);
  interruptions = 0;

  OutputContext *ctx = passThrough(p[1]);
  ASSERT_NE(ctx, nullptr);
  pthread_t writer = pthread_self();
  std::vector<unsigned char> got;
  bool filled = false;
  // The reader waits until the pipe is full (the writer is then inside a
  // write that has moved only part of the data), interrupts that write, and
  // drains the pipe up to end of file.
  std::thread reader([&] {
    for (int i = 0; i < 20000 && !filled; i++) {
      int n = 0;
      ioctl(p[0], FIONREAD, &n);
      filled = n >= capacity;
      if (!filled)
        poll(nullptr, 0, 1);
    }
    if (filled)
      pthread_kill(writer, SIGUSR1);
    unsigned char buf[1000];
    ssize_t n;
    while ((n = read(p[0], buf, sizeof(buf))) > 0)
      got.insert(got.end(), buf, buf + n);
  });
  int rc = qzpkSendData(ctx, data.data(), static_cast<int32_t>(data.size()));
  EXPECT_EQ(qzpkDestroy(ctx), 0);
  close(p[1]);
  reader.join();
  close(p[0]);
  sigaction(SIGUSR1, &old, nullptr);
  EXPECT_TRUE(filled);
  EXPECT_EQ(interruptions, 1);
  EXPECT_EQ(rc, 0);
  EXPECT_EQ(got, data);
}

// ---- error printer ----

TEST(PrintError, PrefixesAndAlwaysAppendsANewline)
{
  struct Case {
    std::function<void()> print;
    const char *want;
  };
  const Case cases[] = {
      {[] { printError("plain"); }, "ERROR: plain\n"},
      {[] { printError("qzpklib -->%s\n", "qzpkEndOutput"); },
       "ERROR: qzpklib -->qzpkEndOutput\n\n"},
      {[] { printError("%d%%", 50); }, "ERROR: 50%\n"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.want);
    testing::internal::CaptureStderr();
    c.print();
    EXPECT_EQ(testing::internal::GetCapturedStderr(), c.want);
  }
}

} // namespace
