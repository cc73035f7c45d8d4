// End-to-end tests of the tovefilt program: the test build is run the way
// the scheduler runs it (filter arguments, PPD in the environment, data on
// standard input or in a named file) against the stand-in module, whose
// trace shows every byte that went over the wire.

#include <gtest/gtest.h>

#include "scratch_files.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fstream>
#include <functional>
#include <optional>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <dirent.h>

namespace {

using Clock = std::chrono::steady_clock;

constexpr const char *kFilter = TOVEFILT_BINARY_DIR "/test-bin/tovefilt";
constexpr const char *kExamplePpd = TOVEFILT_SOURCE_DIR "/examples/tovefilt-example.ppd";
constexpr const char *kSample = TOVEFILT_SOURCE_DIR "/examples/sample.ps";
constexpr auto kDeadline = std::chrono::seconds(30);

// The job every module-mode test prints unless it says otherwise.
const std::vector<std::string> kJobArgs = {
    "42", "alice", "Quarterly report", "1",
    "Duplex=DuplexNoTumble QZBindEdgeShift=2,5 PageSize=A4"};

// What the example PPD and kJobArgs make of the job parameter string.
constexpr const char *kJobParameter =
    "QZTblFormat=2;QZModelMethod=3;"
    "QZTblInputSlot=Auto,Tray1,Tray2,Tray3,ManualFeed;"
    "QZTblDuplex=None,DuplexNoTumble,DuplexTumble;"
    "QZTblMediaType=Plain,Recycled,Thick1,Thick2,Transparency;"
    "QZTblOutputBin=Standard;QZMaxCopies=999;QZMaxGutter=30;QZMaxDocStr=63;"
    "QZMINGutterShiftNum=0;QZMAXGutterShiftNum=30;QZDefaultGutterShiftNum=0;"
    "QZ_Prot_InputTray=1;QZ_Prot_MediaType=1;QZ_Prot_CommonFlag=0;"
    "QZDriverRootPath=/usr/share/tovefilt/;QZPDLType=PS;QZ_PdlWrapper_DebugMode=0;"
    "QZUIOffsetMax=50;QZUITrimValMin=0;QZUITrimValMax=20;"
    "PageSize=A4;MediaType=Plain;InputSlot=Auto;Duplex=DuplexNoTumble;"
    "BindEdge=Left;Resolution=600dpi;QZColorMode=color;"
    "QZBindEdgeShift=2.5;"
    "QZUsrName=alice;QZJobUser=alice;QZPDEUserName=alice;QZHomeUser=alice;"
    "QZDocName=Quarterly report;QZCopies=1;";

// How the filter is started.
struct Launch {
  std::vector<std::string> args = kJobArgs; // after the program path
  std::optional<std::string> ppd = kExamplePpd;
  std::string faults;    // stand-in fault script, empty for none
  std::string stdinFile; // standard input from this file instead of a pipe
  int stdoutPipeSize = 0; // shrink the standard output pipe (0: leave it)
  bool recordCloses = false; // log the filter's close() calls to "closes"
};

// A running filter and the test's ends of its standard streams.
struct Child {
  pid_t pid = -1;
  int in = -1; // write end of the standard input pipe, or -1
  int out = -1;
  int err = -1;
  std::string trace; // trace file path
};

// How a run ended.
struct Outcome {
  int exitStatus = -1; // exit status, or -1 when killed
  std::string out;
  std::string err;
  bool timedOut = false;
};

void closeFd(int &fd) {
  if (fd >= 0)
    close(fd);
  fd = -1;
}

// 'spawnFilter()' - Start the test build with a controlled environment.
Child spawnFilter(const Launch &l, const TempDir &dir) {
  Child c;
  c.trace = dir.file("trace");
  int in[2] = {-1, -1}, out[2], err[2];
  if (l.stdinFile.empty() && pipe2(in, O_CLOEXEC) != 0)
    return c;
  if (pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0)
    return c;
  if (l.stdoutPipeSize > 0)
    fcntl(out[0], F_SETPIPE_SZ, l.stdoutPipeSize);
  if (l.stdinFile.empty())
    fcntl(in[1], F_SETPIPE_SZ, 1 << 18); // room for a whole large write at once

  std::vector<std::string> env = {"TOVEFILT_STANDIN_TRACE=" + c.trace};
  if (l.ppd)
    env.push_back("PPD=" + *l.ppd);
  if (!l.faults.empty())
    env.push_back("TOVEFILT_STANDIN_FAULTS=" + l.faults);
  for (const char *keep : {"UBSAN_OPTIONS", "LSAN_OPTIONS"})
    if (const char *v = getenv(keep))
      env.push_back(std::string(keep) + "=" + v);
  const char *asanEnv = getenv("ASAN_OPTIONS");
  std::string asan = asanEnv ? asanEnv : "";
  if (l.recordCloses) {
    env.push_back(std::string("LD_PRELOAD=") + TOVEFILT_CLOSE_RECORDER);
    env.push_back("TOVEFILT_CLOSE_LOG=" + dir.file("closes"));
    asan += std::string(asan.empty() ? "" : ":") + "verify_asan_link_order=0";
  }
  if (!asan.empty())
    env.push_back("ASAN_OPTIONS=" + asan);

  std::vector<char *> argv = {const_cast<char *>(kFilter)};
  for (const auto &a : l.args)
    argv.push_back(const_cast<char *>(a.c_str()));
  argv.push_back(nullptr);
  std::vector<char *> envp;
  for (auto &e : env)
    envp.push_back(e.data());
  envp.push_back(nullptr);

  signal(SIGPIPE, SIG_IGN); // a filter that is gone must not kill the test
  c.pid = fork();
  if (c.pid == 0) {
    signal(SIGPIPE, SIG_DFL);
    setpgid(0, 0); // so that a timeout can kill the module too
    int stdinFd = l.stdinFile.empty() ? in[0] : open(l.stdinFile.c_str(), O_RDONLY);
    dup2(stdinFd, 0);
    dup2(out[1], 1);
    dup2(err[1], 2);
    execve(kFilter, argv.data(), envp.data());
    _exit(127);
  }
  if (l.stdinFile.empty()) {
    close(in[0]);
    c.in = in[1];
  }
  close(out[1]);
  close(err[1]);
  c.out = out[0];
  c.err = err[0];
  return c;
}

// 'killChild()' - End a filter that overran the deadline, with its module.
void killChild(Child &c) {
  kill(-c.pid, SIGKILL);
  kill(c.pid, SIGKILL);
  waitpid(c.pid, nullptr, 0);
}

// 'finish()' - Feed the rest of the input, collect output and the exit status.
Outcome finish(Child &c, const std::string &input = "", bool closeInput = true) {
  Outcome o;
  auto until = Clock::now() + kDeadline;
  size_t sent = 0;
  if (c.in >= 0)
    fcntl(c.in, F_SETFL, O_NONBLOCK);
  if (c.in >= 0 && input.empty() && closeInput)
    closeFd(c.in);
  char buf[65536];
  while (c.out >= 0 || c.err >= 0) {
    if (Clock::now() > until) {
      o.timedOut = true;
      killChild(c);
      closeFd(c.in), closeFd(c.out), closeFd(c.err);
      return o;
    }
    pollfd p[3] = {{c.out, POLLIN, 0}, {c.err, POLLIN, 0},
                   {sent < input.size() ? c.in : -1, POLLOUT, 0}};
    if (poll(p, 3, 100) < 0 && errno != EINTR)
      break;
    for (int i = 0; i < 2; i++) {
      int &fd = i == 0 ? c.out : c.err;
      if (fd >= 0 && (p[i].revents & (POLLIN | POLLHUP))) {
        ssize_t n = read(fd, buf, sizeof buf);
        if (n > 0)
          (i == 0 ? o.out : o.err).append(buf, n);
        else if (n == 0 || errno != EAGAIN)
          closeFd(fd);
      }
    }
    if (p[2].revents & (POLLOUT | POLLERR)) {
      ssize_t n = write(c.in, input.data() + sent, input.size() - sent);
      if (n > 0)
        sent += n;
      else if (errno != EAGAIN)
        sent = input.size();
      if (sent == input.size() && closeInput)
        closeFd(c.in);
    }
  }
  int status = 0;
  while (waitpid(c.pid, &status, WNOHANG) == 0) {
    if (Clock::now() > until) {
      o.timedOut = true;
      killChild(c);
      closeFd(c.in);
      return o;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  closeFd(c.in);
  o.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return o;
}

// 'run()' - Start the filter, hand it its input and wait for the end.
Outcome run(const Launch &l, const TempDir &dir, const std::string &input = "") {
  Child c = spawnFilter(l, dir);
  if (c.pid <= 0) {
    ADD_FAILURE() << "cannot start " << kFilter;
    return {};
  }
  return finish(c, input);
}

// 'waitFor()' - Poll a condition until it holds or the deadline passes.
bool waitFor(const std::function<bool()> &cond) {
  auto until = Clock::now() + kDeadline;
  while (Clock::now() < until) {
    if (cond())
      return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return false;
}

// 'inSyscall()' - Whether the process sleeps in the given call (on the given descriptor).
bool inSyscall(pid_t pid, long nr, std::optional<long> fd = std::nullopt) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/syscall");
  long callNr = -1;
  std::string arg0;
  if (!(in >> callNr >> arg0))
    return false;
  return callNr == nr && (!fd || strtol(arg0.c_str(), nullptr, 16) == *fd);
}

// Bytes waiting in a pipe.
int pipeFill(int fd) {
  int n = -1;
  ioctl(fd, FIONREAD, &n);
  return n;
}

std::vector<std::string> lines(const std::string &text) {
  std::vector<std::string> v;
  std::istringstream in(text);
  for (std::string l; std::getline(in, l);)
    v.push_back(l);
  return v;
}

// The commands in a trace, shortened: "3", "1", "7:4096" (with the data
// bytes the module read), "2", "240".
std::vector<std::string> commands(const std::string &trace) {
  std::vector<std::string> v;
  for (const auto &l : lines(trace)) {
    if (l.rfind("cmd ", 0) != 0)
      continue;
    std::string code = l.substr(4, l.find(' ', 4) - 4);
    auto data = l.rfind(" data ");
    v.push_back(code == "7" && data != std::string::npos ? "7:" + l.substr(data + 6) : code);
  }
  return v;
}

// n copies of a shortened command.
std::vector<std::string> repeat(const std::string &cmd, size_t n) {
  return std::vector<std::string>(n, cmd);
}

std::vector<std::string> concat(std::initializer_list<std::vector<std::string>> parts) {
  std::vector<std::string> v;
  for (const auto &p : parts)
    v.insert(v.end(), p.begin(), p.end());
  return v;
}

bool contains(const std::string &hay, const std::string &needle) {
  return hay.find(needle) != std::string::npos;
}

// ---------------------------------------------------------------------------

// Wrong argument counts, a missing data file and an unset PPD end the
// filter before any context exists: no module is ever probed.
TEST(FilterE2e, EndsBeforeAnyContext) {
  struct Case {
    const char *name;
    std::vector<std::string> args;
    bool ppdSet;
    const char *err;
  } cases[] = {
      {"four arguments", {"42", "alice", "title", "1"}, true, ""},
      {"seven arguments", {"42", "alice", "title", "1", "", "/dev/null", "x"}, true, ""},
      {"no arguments", {}, true, ""},
      {"missing data file", {"42", "alice", "title", "1", "", "/nonexistent/job"}, true, ""},
      {"PPD unset", kJobArgs, false, "ERROR: can't make parameter.\n"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    Launch l;
    l.args = c.args;
    if (!c.ppdSet)
      l.ppd.reset();
    Outcome o = run(l, dir, "data that must not be read");
    EXPECT_EQ(o.exitStatus, 255);
    EXPECT_EQ(o.err, c.err);
    EXPECT_EQ(o.out, "");
    EXPECT_EQ(readFile(dir.file("trace")), "") << "a module was probed";
  }
}

// The whole conversation of a job whose data arrives as 1 byte, then as one
// write of far more than 65536 bytes: each read goes on whole, at most
// 65536 bytes at a time, cut into chunks of at most 4096 bytes.
TEST(FilterE2e, FullConversationWithExactChunks) {
  TempDir dir;
  Child c = spawnFilter(Launch{}, dir);
  ASSERT_GT(c.pid, 0);
  const std::string data = binaryData(200000);
  ASSERT_EQ(write(c.in, data.data(), 1), 1);
  // The filter has taken the first byte by itself once the pipe is empty.
  bool taken = waitFor([&] { return pipeFill(c.in) == 0; });
  if (taken) {
    EXPECT_EQ(write(c.in, data.data() + 1, data.size() - 1),
              static_cast<ssize_t>(data.size() - 1));
  }
  Outcome o = finish(c);
  ASSERT_TRUE(taken);
  ASSERT_FALSE(o.timedOut);

  EXPECT_EQ(o.exitStatus, 0);
  EXPECT_EQ(o.err, "");
  // Reads of 1, 65536, 65536, 65536 and 3391 bytes: the single byte goes
  // out as a short chunk of its own, the last 3391 with the end of output.
  EXPECT_EQ(commands(readFile(c.trace)),
            concat({{"3", "1", "7:1"}, repeat("7:4096", 48), {"7:3391", "2", "240"}}));

  std::string trace = readFile(c.trace);
  EXPECT_TRUE(contains(trace, "arg 1 --format=3\n")) << trace;
  EXPECT_TRUE(contains(trace, "arg 2 --output=1\n")) << trace;
  EXPECT_TRUE(contains(trace, "cmd 3 len " + std::to_string(strlen(kJobParameter) + 1) +
                                  " payload text:" + kJobParameter + "\n"))
      << trace;
  EXPECT_TRUE(contains(trace, "cmd 7 len 5 payload text:4096 data 4096\n"));
  EXPECT_TRUE(contains(trace, "cmd 7 len 2 payload text:1 data 1\n"));
  EXPECT_TRUE(contains(trace, "cmd 2 len 0 payload -\n"));
  EXPECT_TRUE(contains(o.out, data)) << "the module's output lacks the job's bytes";
}

// How a job's conversation ends, by the module's answers and the data.
TEST(FilterE2e, ConversationByModuleAnswers) {
  const std::string tenK = binaryData(10000);
  const char *kWriteError = "re:ERROR: tovefilt write error,[0-9]+\\.\n";
  struct Case {
    const char *name;
    std::string faults;
    std::string options;
    std::string data;
    std::vector<std::string> want;
    const char *err; // exact standard error, or "re:" and a pattern
    int status;
  } cases[] = {
      {"empty data and empty options", "", "", "", {"3", "1", "2", "240"}, "", 0},
      {"10000 bytes", "", kJobArgs[4], tenK,
       {"3", "1", "7:4096", "7:4096", "7:1808", "2", "240"}, "", 0},
      {"job parameters answered with 5", "3:result=5", kJobArgs[4], tenK,
       {"3", "1", "7:4096", "7:4096", "7:1808", "2", "240"}, "", 0},
      {"job parameters refused", "3:result=-1", kJobArgs[4], tenK,
       {"3", "240"}, "ERROR: qzpkSetJobAttr\n", 255},
      {"start of output refused", "1:result=-1", kJobArgs[4], tenK,
       {"3", "1", "240"}, "ERROR: qzpkStartOutput\n", 255},
      {"chunk refused: end still sent", "7#1:result=-1", kJobArgs[4], tenK,
       {"3", "1", "7:4096", "2", "240"}, kWriteError, 255},
      {"chunk answered with 5 counts as refused", "7#2:result=5", kJobArgs[4], tenK,
       {"3", "1", "7:4096", "7:4096", "2", "240"}, kWriteError, 255},
      {"end of output refused: no message of the filter's own", "2:result=-1", kJobArgs[4],
       tenK, {"3", "1", "7:4096", "7:4096", "7:1808", "2", "240"}, "", 255},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    writeFile(dir.file("job"), c.data);
    Launch l;
    l.faults = c.faults;
    l.args[4] = c.options;
    l.stdinFile = dir.file("job"); // one read takes all of it
    Outcome o = run(l, dir);
    ASSERT_FALSE(o.timedOut);
    EXPECT_EQ(commands(readFile(dir.file("trace"))), c.want);
    EXPECT_EQ(o.exitStatus, c.status);
    std::string err = c.err;
    if (err.rfind("re:", 0) == 0)
      EXPECT_TRUE(std::regex_match(o.err, std::regex(err.substr(3)))) << o.err;
    else
      EXPECT_EQ(o.err, err);
  }
}

// Pass-through mode copies the data unchanged to standard output, from a
// pipe or from a named file, and reports nothing.
TEST(FilterE2e, PassThroughIsByteIdentical) {
  const std::string sample = readFile(kSample);
  ASSERT_EQ(sample.rfind("%!PS-Adobe-3.0", 0), 0u);
  const std::string big = binaryData(300000);
  struct Case {
    const char *name;
    const std::string &data;
    bool namedFile;
  } cases[] = {
      {"sample on standard input", sample, false},
      {"binary data on standard input", big, false},
      {"binary data in a named file", big, true},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    Launch l;
    l.faults = "probe:exit=44";
    if (c.namedFile) {
      writeFile(dir.file("job"), c.data);
      l.args.push_back(dir.file("job"));
    }
    Outcome o = run(l, dir, c.namedFile ? "" : c.data);
    ASSERT_FALSE(o.timedOut);
    EXPECT_EQ(o.exitStatus, 0);
    EXPECT_EQ(o.err, "");
    EXPECT_TRUE(o.out == c.data) << "output of " << o.out.size() << " bytes differs";
    EXPECT_EQ(commands(readFile(dir.file("trace"))), std::vector<std::string>{});
  }
}

// SIGTERM while the filter waits in read: the read fails with EINTR, the
// output is not ended, the module is still told to terminate.
TEST(FilterE2e, SigtermWhileBlockedInRead) {
  TempDir dir;
  Child c = spawnFilter(Launch{}, dir);
  ASSERT_GT(c.pid, 0);
  bool blocked = waitFor([&] {
    return contains(readFile(c.trace), "cmd 1 ") && inSyscall(c.pid, SYS_read, 0);
  });
  if (blocked)
    kill(c.pid, SIGTERM);
  Outcome o = finish(c, "", false); // standard input stays open throughout
  ASSERT_TRUE(blocked) << "the filter never waited on standard input";
  ASSERT_FALSE(o.timedOut);
  EXPECT_EQ(o.err, "ERROR: tovefilt read error,4.\n");
  EXPECT_EQ(o.exitStatus, 255);
  EXPECT_EQ(commands(readFile(c.trace)), (std::vector<std::string>{"3", "1", "240"}));
}

// SIGTERM while a block is being written out: the write completes, no
// further read follows, the output is not ended, and the job counts as done.
TEST(FilterE2e, SigtermBetweenReadsStopsCleanly) {
  TempDir dir;
  const std::string data = binaryData(size_t{3} * 65536);
  writeFile(dir.file("job"), data);
  Launch l;
  l.faults = "probe:exit=44";
  l.stdinFile = dir.file("job");
  l.stdoutPipeSize = 4096; // the first 65536-byte write stalls part-way
  Child c = spawnFilter(l, dir);
  ASSERT_GT(c.pid, 0);
  bool stalled =
      waitFor([&] { return pipeFill(c.out) == 4096 && inSyscall(c.pid, SYS_write, 1); });
  if (stalled)
    kill(c.pid, SIGTERM); // the write returns its partial count, the rest follows
  Outcome o = finish(c);
  ASSERT_TRUE(stalled);
  ASSERT_FALSE(o.timedOut);
  EXPECT_EQ(o.exitStatus, 0);
  EXPECT_EQ(o.err, "");
  EXPECT_TRUE(o.out == data.substr(0, 65536)) << o.out.size() << " bytes written";
}

// A module that dies in the middle of a job: the filter reports it and ends.
TEST(FilterE2e, ModuleDyingMidJobEndsTheFilter) {
  const std::string data = binaryData(size_t{5} * 4096);
  for (const char *fault : {"7#2:exit=3", "7#2:signal=9", "7#2:halfdata"}) {
    SCOPED_TRACE(fault);
    TempDir dir;
    writeFile(dir.file("job"), data);
    Launch l;
    l.faults = fault;
    l.stdinFile = dir.file("job");
    Outcome o = run(l, dir);
    ASSERT_FALSE(o.timedOut);
    EXPECT_EQ(o.exitStatus, 255);
    // The module's end shows as a broken pipe (32), never a stale number.
    EXPECT_EQ(o.err.rfind("ERROR: tovefilt write error,32.\n", 0), 0u) << o.err;
    auto cmds = commands(readFile(dir.file("trace")));
    ASSERT_GE(cmds.size(), 3u);
    EXPECT_EQ(cmds[0], "3");
    EXPECT_EQ(cmds[1], "1");
    EXPECT_EQ(cmds[2], "7:4096");
  }
}

// The filter closes a named data file itself and never closes standard
// input, which belongs to the scheduler.
TEST(FilterE2e, ClosesTheNamedFileNeverStandardInput) {
  for (bool namedFile : {false, true}) {
    SCOPED_TRACE(namedFile ? "named file" : "standard input");
    TempDir dir;
    writeFile(dir.file("job"), "%!PS-Adobe-3.0\nshowpage\n");
    Launch l;
    l.recordCloses = true;
    if (namedFile)
      l.args.push_back(dir.file("job"));
    else
      l.stdinFile = dir.file("job");
    Child c = spawnFilter(l, dir);
    ASSERT_GT(c.pid, 0);
    Outcome o = finish(c);
    ASSERT_FALSE(o.timedOut);
    EXPECT_EQ(o.exitStatus, 0);
    bool closedFile = false;
    for (const auto &line : lines(readFile(dir.file("closes")))) {
      std::istringstream in(line);
      pid_t pid;
      int fd;
      std::string target;
      in >> pid >> fd >> target;
      if (pid != c.pid)
        continue; // the module child between fork and exec
      EXPECT_NE(fd, 0) << "standard input closed";
      if (fd > 2 && target == dir.file("job"))
        closedFile = true;
    }
    EXPECT_EQ(closedFile, namedFile);
  }
}

// The data file stays open until the module has ended, and standard input
// is the filter's throughout: seen while the module holds off its exit.
TEST(FilterE2e, DataDescriptorsWhileTheModuleEnds) {
  TempDir dir;
  writeFile(dir.file("job"), "%!PS-Adobe-3.0\nshowpage\n");
  Launch l;
  l.faults = "240:signal=19"; // the module stops itself on terminate
  l.args.push_back(dir.file("job"));
  Child c = spawnFilter(l, dir);
  ASSERT_GT(c.pid, 0);
  auto openFiles = [&] {
    std::vector<std::string> v;
    std::string fdDir = "/proc/" + std::to_string(c.pid) + "/fd";
    if (DIR *d = opendir(fdDir.c_str())) {
      while (dirent *e = readdir(d)) {
        char target[4096];
        ssize_t n = readlink((fdDir + "/" + e->d_name).c_str(), target, sizeof target - 1);
        if (n > 0)
          v.push_back(std::string(e->d_name) + " " + std::string(target, n));
      }
      closedir(d);
    }
    return v;
  };
  bool ending = waitFor([&] {
    return contains(readFile(c.trace), "cmd 240 ") && inSyscall(c.pid, SYS_wait4);
  });
  std::vector<std::string> files = openFiles();
  kill(-c.pid, SIGCONT);
  Outcome o = finish(c, "", false);
  ASSERT_TRUE(ending) << "the filter never waited for its module";
  ASSERT_FALSE(o.timedOut);
  EXPECT_EQ(o.exitStatus, 0);
  auto has = [&](const std::function<bool(const std::string &)> &match) {
    return std::any_of(files.begin(), files.end(), match);
  };
  std::string job = " " + dir.file("job");
  EXPECT_TRUE(has([&](const std::string &f) {
    return f.size() > job.size() && f.compare(f.size() - job.size(), job.size(), job) == 0;
  })) << "data file closed before the module ended";
  EXPECT_TRUE(has([](const std::string &f) { return f.rfind("0 pipe:", 0) == 0; }))
      << "standard input closed";
}

} // namespace
