// Tests of the bidirectional context: the module's command line, the
// teardown bytes, the wait for the child, and the contexts without a child.

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include "attr_list.h"
#include "qzpk.h"
#include "standin_run.h"

namespace {

// Both ends of one pipe; an end handed to a context is set to -1 here.
struct Pipe {
  int r = -1;
  int w = -1;
  Pipe() {
    int p[2];
    if (pipe(p) == 0) {
      r = p[0];
      w = p[1];
    }
  }
  ~Pipe() {
    if (r >= 0)
      close(r);
    if (w >= 0)
      close(w);
  }
  Pipe(const Pipe &) = delete;
  Pipe &operator=(const Pipe &) = delete;
  static int take(int &fd) {
    int out = fd;
    fd = -1;
    return out;
  }
};

// Everything a descriptor holds now, without waiting: "" when it is at end
// of file; "<busy>" when its writer is still open and nothing is there.
std::string drain(int fd) {
  fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
  std::string out;
  char buf[256];
  for (;;) {
    ssize_t n = read(fd, buf, sizeof buf);
    if (n > 0) {
      out.append(buf, static_cast<size_t>(n));
      continue;
    }
    if (n < 0 && errno == EAGAIN)
      out += "<busy>";
    return out;
  }
}

// In a forked child, close every descriptor but two, so
// that the child holds no end of the pipes the test watches.
void closeAllBut(int keep1, int keep2) {
  for (int fd = 3; fd < 1024; fd++)
    if (fd != keep1 && fd != keep2)
      close(fd);
}

// Whether a process id still names a process (running or not yet reaped).
bool processExists(pid_t pid) { return kill(pid, 0) == 0 || errno != ESRCH; }

// A child that ends after reading n bytes from fd, reporting them on report.
// It gives up after 30 seconds, so that a teardown that never writes cannot
// hang the test for ever.
pid_t forkReader(int fd, size_t n, int report) {
  pid_t pid = fork();
  if (pid != 0)
    return pid;
  alarm(30);
  closeAllBut(fd, report);
  std::string got;
  char c;
  while (got.size() < n && read(fd, &c, 1) == 1)
    got += c;
  if (write(report, got.data(), got.size()) < 0)
    _exit(2);
  _exit(0);
}

class BidiContext : public ::testing::Test {
protected:
  // A module whose reader has gone must show up as a failed write.
  void SetUp() override { oldPipe = signal(SIGPIPE, SIG_IGN); }
  void TearDown() override { signal(SIGPIPE, oldPipe); }
  sighandler_t oldPipe = SIG_DFL;
};

TEST_F(BidiContext, ModuleGetsTheOptionTextAsOneArgument) {
  const char *options[] = {"", "a=1; b = two;;c=x y;", "QZDuplex=True"};
  for (const char *opt : options) {
    SCOPED_TRACE(std::string("options '") + opt + "'");
    StandinRun run;
    OutputContext *ctx = run.quietly([&] { return qzpkBidiNew(3, 1, opt); });
    ASSERT_NE(ctx, nullptr);
    EXPECT_EQ(ctx->mode, 1);
    EXPECT_EQ(ctx->attrs, nullptr);
    EXPECT_EQ(ctx->outFd, 0);
    EXPECT_EQ(ctx->batchLen, 0);
    pid_t pid = ctx->childPid;
    ASSERT_GT(pid, 0);
    ASSERT_EQ(qzpkBidiDestroy(ctx), 0);

    std::vector<std::string> args = run.linesWith("arg ");
    ASSERT_EQ(args.size(), 7u);
    EXPECT_EQ(args[0], "arg 0 " TOVEFILT_TEST_MODULE_DIR "yxpkbidir");
    EXPECT_EQ(args[1], "arg 1 --format=3");
    EXPECT_EQ(args[2], "arg 2 --output=1");
    EXPECT_EQ(args[3].rfind("arg 3 --cmd_fd=", 0), 0u) << args[3];
    EXPECT_EQ(args[4].rfind("arg 4 --res_fd=", 0), 0u) << args[4];
    EXPECT_EQ(args[5].rfind("arg 5 --dat_fd=", 0), 0u) << args[5];
    EXPECT_EQ(args[6], std::string("arg 6 --opt_list=") + opt);

    // The only command is a 240 with a four-byte payload of zeros, and the
    // module had ended before teardown returned.
    std::vector<std::string> cmds = run.linesWith("cmd ");
    ASSERT_EQ(cmds.size(), 1u);
    EXPECT_EQ(cmds[0], "cmd 240 len 4 payload hex:00000000");
    std::vector<std::string> all = run.lines();
    ASSERT_FALSE(all.empty());
    EXPECT_EQ(all.back(), "exit 0");
    EXPECT_FALSE(processExists(pid)) << "child not reaped";
  }
}

TEST_F(BidiContext, TeardownWritesEightBytesReadsNothingAndReapsTheChild) {
  Pipe cmd, report;
  pid_t pid = forkReader(cmd.r, 8, report.w);
  ASSERT_GT(pid, 0);
  close(Pipe::take(report.w));
  Pipe res, dat; // made after the fork, so the child holds no end of them

  // A response waits on the result pipe: teardown must leave it there.
  const char response[6] = {'\xf0', 0, 0, 0, 0, 0};
  ASSERT_EQ(write(res.w, response, sizeof response), 6);

  auto *ctx = static_cast<OutputContext *>(calloc(1, sizeof(OutputContext)));
  ctx->mode = 1;
  ctx->childPid = pid;
  ctx->fds = {Pipe::take(cmd.w), dup(res.r), Pipe::take(dat.w)};
  ctx->batchLen = 3; // waiting data is never sent at teardown
  ASSERT_EQ(qzpkBidiDestroy(ctx), 0);

  EXPECT_FALSE(processExists(pid)) << "child not reaped";
  EXPECT_EQ(drain(report.r), std::string("\xf0\x00\x04\x00\x00\x00\x00\x00", 8));
  // End of file on both pipes: nothing more was written and the context's
  // write ends are closed.
  EXPECT_EQ(drain(cmd.r), "");
  EXPECT_EQ(drain(dat.r), "");
  EXPECT_EQ(drain(res.r), std::string(response, 6) + "<busy>");
  // With our own read end closed too, no reader is left on the result pipe.
  close(Pipe::take(res.r));
  EXPECT_EQ(write(res.w, "x", 1), -1);
  EXPECT_EQ(errno, EPIPE);
}

TEST_F(BidiContext, FailedTerminateFreesTheContextWithoutWaiting) {
  Pipe hold;
  pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    // Ends once the test lets go of the hold pipe, or after 30 seconds.
    alarm(30);
    close(hold.w);
    char c;
    while (read(hold.r, &c, 1) > 0) {
    }
    _exit(0);
  }
  Pipe cmd, res, dat; // made after the fork, so the child holds no end of them
  close(Pipe::take(cmd.r)); // nobody will read command 240

  auto *ctx = static_cast<OutputContext *>(calloc(1, sizeof(OutputContext)));
  ctx->mode = 1;
  ctx->childPid = pid;
  ctx->fds = {Pipe::take(cmd.w), dup(res.r), Pipe::take(dat.w)};
  EXPECT_EQ(qzpkBidiDestroy(ctx), -1);

  EXPECT_EQ(waitpid(pid, nullptr, WNOHANG), 0) << "child was waited for";
  EXPECT_EQ(drain(dat.r), "") << "data write end left open";
  close(Pipe::take(res.r));
  EXPECT_EQ(write(res.w, "x", 1), -1) << "result read end left open";

  close(Pipe::take(hold.w));
  EXPECT_EQ(waitpid(pid, nullptr, 0), pid);
}

TEST_F(BidiContext, NullAndPassThroughContextsWriteNothing) {
  EXPECT_EQ(qzpkBidiDestroy(nullptr), 0);

  Pipe cmd;
  auto *ctx = static_cast<OutputContext *>(calloc(1, sizeof(OutputContext)));
  ASSERT_EQ(parseAttrText(&ctx->attrs, "PageSize=A4;Duplex=None;"), 2);
  ctx->fds = {cmd.w, cmd.w, cmd.w};
  // The list is freed with the context; the sanitizer build sees any leak.
  EXPECT_EQ(qzpkBidiDestroy(ctx), 0);
  EXPECT_EQ(drain(cmd.r), "<busy>");
}

TEST_F(BidiContext, NullOptionTextIsRefused) {
  StandinRun run;
  EXPECT_EQ(qzpkBidiNew(3, 1, nullptr), nullptr);
  EXPECT_TRUE(run.lines().empty()) << "a module was started";
}

} // namespace
