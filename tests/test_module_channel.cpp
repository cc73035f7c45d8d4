// Tests of the module channel: wire bytes, response decoding, probe, start, kill.
#include "channel_test_support.h"
#include "qzproc_internal.h"

#include <sched.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <thread>

namespace {

// Descriptors for a channel whose three pipes the test holds itself.
struct LoopChannel {
  Pipe cmd, res, dat;
  ModuleFds fds() const { return ModuleFds{cmd.wr, res.rd, dat.wr}; }
};

TEST(ModuleChannel, CommandPacketsOnTheWire)
{
  const unsigned char value1[4] = {1, 0, 0, 0};
  const unsigned char bidiTerm[4] = {0, 0, 0, 0};
  struct Case {
    const char *name;
    uint16_t code;
    const void *payload;
    int length;
    Bytes want;
  };
  const Case cases[] = {
      {"start output", CMD_START_OUTPUT, nullptr, 0, {0x01, 0x00, 0x00, 0x00}},
      {"terminate", CMD_TERMINATE, nullptr, 0, {0xf0, 0x00, 0x00, 0x00}},
      {"send data 4096", CMD_SEND_DATA, "4096", 5,
       {0x07, 0x00, 0x05, 0x00, 0x34, 0x30, 0x39, 0x36, 0x00}},
      {"value 18 of 1", CMD_VALUE_18, value1, 4, {0x12, 0x00, 0x04, 0x00, 0x01, 0x00, 0x00, 0x00}},
      {"bidi terminate", CMD_TERMINATE, bidiTerm, 4, {0xf0, 0x00, 0x04, 0x00, 0, 0, 0, 0}},
      {"high code", 0x1234, nullptr, 0, {0x34, 0x12, 0x00, 0x00}},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    LoopChannel ch;
    EXPECT_EQ(qzprocWriteCommand(ch.fds(), c.code, c.payload, c.length), 0);
    EXPECT_EQ(drain(ch.cmd.rd), c.want);
    EXPECT_TRUE(drain(ch.dat.rd).empty());
  }
}

TEST(ModuleChannel, RefusedCommandsWriteNothing)
{
  static unsigned char big[65536];
  struct Case {
    const char *name;
    const void *payload;
    int length;
  };
  // The length field holds 16 bits: 65536 would announce 0 and desynchronise.
  const Case cases[] = {
      {"65536 bytes", big, 65536},
      {"negative length", big, -1},
      {"no payload for a length", nullptr, 3},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    LoopChannel ch;
    EXPECT_EQ(qzprocWriteCommand(ch.fds(), CMD_SET_JOB_ATTR, c.payload, c.length), -1);
    EXPECT_TRUE(drain(ch.cmd.rd).empty());
  }
}

// A packet larger than the pipe is written in pieces while a reader drains it.
TEST(ModuleChannel, LargestPayloadCrossesASmallPipeWhole)
{
  LoopChannel ch;
  fcntl(ch.cmd.wr, F_SETPIPE_SZ, 4096);
  Bytes payload(65535);
  for (size_t i = 0; i < payload.size(); i++)
    payload[i] = static_cast<unsigned char>(i * 7);
  Bytes got;
  int rd = ch.cmd.rd;
  std::thread reader([&got, rd] {
    unsigned char buf[1000];
    ssize_t r;
    while (got.size() < 65539 && (r = read(rd, buf, sizeof buf)) > 0)
      got.insert(got.end(), buf, buf + r);
  });
  EXPECT_EQ(qzprocWriteCommand(ch.fds(), CMD_SET_JOB_ATTR, payload.data(), 65535), 0);
  reader.join();
  ASSERT_EQ(got.size(), 65539u);
  EXPECT_EQ(Bytes(got.begin(), got.begin() + 4), (Bytes{0x03, 0x00, 0xff, 0xff}));
  EXPECT_EQ(Bytes(got.begin() + 4, got.end()), payload);
}

TEST(ModuleChannel, WriteDataCarriesRawBytesOnly)
{
  LoopChannel ch;
  Bytes data(4096);
  for (size_t i = 0; i < data.size(); i++)
    data[i] = static_cast<unsigned char>(i);
  EXPECT_EQ(qzprocWriteData(ch.fds(), data.data(), 0), 0);
  EXPECT_EQ(qzprocWriteData(ch.fds(), data.data(), -5), 0);
  EXPECT_TRUE(drain(ch.dat.rd).empty());
  EXPECT_EQ(qzprocWriteData(ch.fds(), data.data(), 4096), 0);
  EXPECT_EQ(drain(ch.dat.rd), data);
  EXPECT_TRUE(drain(ch.cmd.rd).empty());
}

TEST(ModuleChannel, WritesToAGoneModuleFail)
{
  IgnoreSigpipe ignore;
  LoopChannel ch;
  ch.cmd.closeRead();
  ch.dat.closeRead();
  EXPECT_EQ(qzprocWriteCommand(ch.fds(), CMD_START_OUTPUT, nullptr, 0), -1);
  EXPECT_EQ(qzprocWriteData(ch.fds(), "abc", 3), -1);
}

TEST(ModuleChannel, ResponseDecoding)
{
  struct Case {
    const char *name;
    Bytes wire;
    int expected;
    bool givePayloadPlace;
    int want;
    int wantLen; // -99: the length place stays untouched
    Bytes wantPayload;
    size_t leftInPipe;
  };
  const Case cases[] = {
      {"success", {0x07, 0, 0, 0, 0, 0}, 7, true, 0, 0, {}, 0},
      {"module result -1", {0x07, 0, 0xff, 0xff, 0, 0}, 7, true, -1, 0, {}, 0},
      {"positive result", {0x03, 0, 0x05, 0x00, 0, 0}, 3, true, 5, 0, {}, 0},
      {"most negative result", {0x03, 0, 0x00, 0x80, 0, 0}, 3, true, -32768, 0, {}, 0},
      {"negative length", {0x11, 0, 0, 0, 0xfe, 0xff}, 17, true, 0, -2, {}, 0},
      {"payload of 5", {0x11, 0, 0, 0, 5, 0, 'a', '=', 'b', ';', 0}, 17, true, 0, 5,
       {'a', '=', 'b', ';', 0}, 0},
      {"terminate code echoed", {0xf0, 0, 0, 0, 0, 0}, 240, true, 0, 0, {}, 0},
      {"wrong echo leaves payload", {0x08, 0, 0, 0, 3, 0, 'x', 'y', 'z'}, 7, true, -1, -99, {}, 3},
      {"echo differs in high byte", {0x07, 0x01, 0, 0, 0, 0}, 7, true, -1, -99, {}, 0},
      {"unasked payload is dropped", {0x07, 0, 0, 0, 3, 0, 'x', 'y', 'z'}, 7, false, 0, 3, {}, 0},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    LoopChannel ch;
    writeBytes(ch.res.wr, c.wire);
    int len = -99;
    unsigned char sentinel = 0;
    unsigned char *payload = &sentinel;
    int got = qzprocReadResponse(ch.fds(), c.expected, &len,
                                 c.givePayloadPlace ? &payload : nullptr);
    EXPECT_EQ(got, c.want);
    EXPECT_EQ(len, c.wantLen);
    if (c.wantPayload.empty()) {
      EXPECT_EQ(payload, &sentinel);
    } else {
      ASSERT_NE(payload, &sentinel);
      EXPECT_EQ(Bytes(payload, payload + c.wantPayload.size()), c.wantPayload);
      free(payload);
    }
    EXPECT_EQ(drain(ch.res.rd).size(), c.leftInPipe);
  }
}

TEST(ModuleChannel, StreamStaysInStepAfterADroppedPayload)
{
  LoopChannel ch;
  writeBytes(ch.res.wr, {0x07, 0, 0, 0, 3, 0, 'x', 'y', 'z', 0x02, 0, 0, 0, 0, 0});
  EXPECT_EQ(qzprocReadResponse(ch.fds(), 7, nullptr, nullptr), 0);
  EXPECT_EQ(qzprocReadResponse(ch.fds(), 2, nullptr, nullptr), 0);
}

// End of file before the header or payload is whole must fail, never spin.
TEST(ModuleChannel, EndOfFileMidResponseFails)
{
  struct Case {
    const char *name;
    Bytes wire;
  };
  const Case cases[] = {
      {"nothing", {}},
      {"half a header", {0x11, 0, 0}},
      {"payload cut short", {0x11, 0, 0, 0, 5, 0, 'a', 'b'}},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    LoopChannel ch;
    if (!c.wire.empty())
      writeBytes(ch.res.wr, c.wire);
    ch.res.closeWrite();
    int len = -99;
    unsigned char *payload = nullptr;
    EXPECT_EQ(qzprocReadResponse(ch.fds(), 17, &len, &payload), -1);
    EXPECT_EQ(payload, nullptr); // a partial block is released, not handed out
    EXPECT_EQ(len, -99);
  }
}

// 'bytesInPipe()' - How many unread bytes a pipe holds.
int bytesInPipe(int fd)
{
  int n = -1;
  ioctl(fd, FIONREAD, &n);
  return n;
}

// Feeds a response in two pieces, the second only once the reader has taken
// the first, so the read must be continued to assemble it.
TEST(ModuleChannel, ResponseArrivingInPiecesIsAssembled)
{
  struct Case {
    const char *name;
    Bytes first, second;
  };
  const Case cases[] = {
      {"header 1 + 5", {0x11}, {0, 0, 0, 3, 0, 'a', ';', 0}},
      {"payload split", {0x11, 0, 0, 0, 3, 0, 'a'}, {';', 0}},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    LoopChannel ch;
    writeBytes(ch.res.wr, c.first);
    int rd = ch.res.rd, wr = ch.res.wr;
    std::thread feeder([&c, rd, wr] {
      for (long spins = 0; bytesInPipe(rd) > 0 && spins < 100000000L; spins++)
        sched_yield();
      writeBytes(wr, c.second);
    });
    int len = 0;
    unsigned char *payload = nullptr;
    EXPECT_EQ(qzprocReadResponse(ch.fds(), 17, &len, &payload), 0);
    feeder.join();
    EXPECT_EQ(len, 3);
    ASSERT_NE(payload, nullptr);
    EXPECT_EQ(Bytes(payload, payload + 3), (Bytes{'a', ';', 0}));
    free(payload);
  }
}

// 'writeScript()' - An executable shell script in dir.
std::string writeScript(const TempDir &dir, const std::string &name, const std::string &body)
{
  std::string path = dir.file(name);
  std::ofstream(path) << "#!/bin/sh\n" << body << "\n";
  chmod(path.c_str(), 0755);
  return path;
}

TEST(ModuleProbe, FourOutcomes)
{
  TempDir dir;
  ASSERT_FALSE(dir.path.empty());
  struct Case {
    const char *name;
    std::string path;
    int want;
  };
  const Case cases[] = {
      {"missing program", dir.file("no-such-module"), 0},
      {"ends with 0", writeScript(dir, "ok", "exit 0"), 1},
      {"ends with 3", writeScript(dir, "three", "exit 3"), 1},
      {"killed by a signal", writeScript(dir, "killed", "kill -9 $$"), 1},
      {"reports itself absent", writeScript(dir, "absent", "exit 44"), 0},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(qzprocProbePath(c.path.c_str(), "probe-name"), c.want);
  }
}

TEST(ModuleProbe, RunsTheBuiltInModuleWithItsBareName)
{
  TempDir dir;
  std::string trace = dir.file("trace");
  setenv("TOVEFILT_STANDIN_TRACE", trace.c_str(), 1);
  struct Case {
    const char *faults;
    int want;
  };
  const Case cases[] = {{"", 1}, {"probe:exit=44", 0}, {"probe:signal=9", 1}};
  for (const Case &c : cases) {
    SCOPED_TRACE(c.faults);
    unlink(trace.c_str());
    setenv("TOVEFILT_STANDIN_FAULTS", c.faults, 1);
    EXPECT_EQ(qzprocProbeModule(), c.want);
    EXPECT_EQ(lines(readFile(trace)).at(0), "probe yxpkmodulelumor");
  }
  unsetenv("TOVEFILT_STANDIN_FAULTS");
  unsetenv("TOVEFILT_STANDIN_TRACE");
}

// An unrunnable program still starts (the parent cannot tell); its child
// ends with 255 and, holding none of our ends, lets the first read fail.
TEST(ModuleStart, UnrunnableProgramShowsAtTheFirstResponse)
{
  IgnoreSigpipe ignore;
  TempDir dir;
  pid_t pid = 0;
  ModuleFds fds{-1, -1, -1};
  ASSERT_EQ(qzprocStartPath(&pid, &fds, dir.file("missing").c_str(), 3, 1, nullptr), 0);
  EXPECT_GT(pid, 0);
  EXPECT_EQ(waitExit(pid), 255);
  qzprocWriteCommand(fds, CMD_START_OUTPUT, nullptr, 0);
  EXPECT_EQ(qzprocReadResponse(fds, CMD_START_OUTPUT, nullptr, nullptr), -1);
  close(fds.cmd_fd);
  close(fds.res_fd);
  close(fds.dat_fd);
}

// 'startUnderFdLimit()' - In a child, start with room for only `room` more
// descriptors; 0 when the start failed cleanly (outputs untouched, no
// descriptor left open), 1 when it failed otherwise, 2 when it succeeded.
int startUnderFdLimit(int room)
{
  pid_t child = fork();
  if (child == 0) {
    int next = dup(0);
    close(next);
    int limit = next + room;
    rlimit lim{static_cast<rlim_t>(limit), static_cast<rlim_t>(limit)};
    setrlimit(RLIMIT_NOFILE, &lim);
    std::vector<bool> open0;
    for (int fd = 0; fd < limit; fd++)
      open0.push_back(fcntl(fd, F_GETFD) >= 0);
    pid_t pid = 77;
    ModuleFds fds{-7, -7, -7};
    if (qzprocStartPath(&pid, &fds, "/nonexistent", 3, 1, nullptr) == 0)
      _exit(2);
    bool same = true;
    for (int fd = 0; fd < limit; fd++)
      same = same && open0[static_cast<size_t>(fd)] == (fcntl(fd, F_GETFD) >= 0);
    _exit(same && pid == 77 && fds.cmd_fd == -7 && fds.res_fd == -7 && fds.dat_fd == -7 ? 0 : 1);
  }
  return waitExit(child);
}

TEST(ModuleStart, PipeFailureLeavesOutputsAndDescriptorsAlone)
{
  for (int room : {0, 2, 4}) {
    SCOPED_TRACE(room);
    EXPECT_EQ(startUnderFdLimit(room), 0);
  }
}

TEST(ModuleStart, BidiNeedsAnOptionText)
{
  pid_t pid = 77;
  ModuleFds fds{-7, -7, -7};
  EXPECT_EQ(qzprocStartBidi(&pid, &fds, 3, 1, nullptr), -1);
  EXPECT_EQ(pid, 77);
  EXPECT_EQ(fds.cmd_fd, -7);
}

TEST(ModuleKill, SignalsOnlyRealChildren)
{
  EXPECT_EQ(qzprocKill(0), -1);
  EXPECT_EQ(qzprocKill(-1), -1);
  pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    pause();
    _exit(0);
  }
  EXPECT_EQ(qzprocKill(pid), 0);
  int status = waitExit(pid);
  if (status != 1000 + SIGTERM)
    kill(pid, SIGKILL);
  EXPECT_EQ(status, 1000 + SIGTERM);
}

} // namespace
