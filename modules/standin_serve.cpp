// Command loop of the stand-in modules: read a packet, take its data, answer.
#include "standin.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <poll.h>
#include <span>
#include <unistd.h>

namespace {

constexpr size_t kHeader = 4;
constexpr size_t kMaxPacket = kHeader + 65535;
constexpr size_t kDataBlock = 65536;

// Zero pages until touched: a start faults in only what it uses, where a
// zero-filled vector would fault in all 640 KiB before the first command.
long perCodeCounts[65536];
unsigned char inBuffer[2 * kMaxPacket];

struct Session {
  const StandinProgram *program = nullptr;
  StandinArgs args;
  int traceFd = -1;
  std::vector<FaultRule> rules;
  long *perCode = perCodeCounts; // commands seen, per code
  long overall = 0;
  std::span<unsigned char> in = inBuffer; // command bytes read ahead
  size_t inStart = 0, inEnd = 0;
  std::vector<unsigned char> data;
};

// What the fault rules ask of one command, beyond exiting or raising a signal.
struct CommandFaults {
  bool setResult = false, setEcho = false, setPayload = false;
  int16_t result = 0, echo = 0;
  std::string payload;
  bool hang = false, closeRes = false, halfData = false;
  long sleepMs = 0;
};

// 'finish()' - Trace the exit status and end the module.
[[noreturn]] void finish(Session &s, int status)
{
  standinTraceLine(s.traceFd, "exit " + std::to_string(status));
  exit(status);
}

// 'raiseSignal()' - Die by signal n even when the module ignores it.
void raiseSignal(int n)
{
  signal(n, SIG_DFL);
  raise(n);
}

// 'sleepMs()' - Wait ms milliseconds, continuing after interruptions.
void sleepMs(long ms)
{
  timespec t{ms / 1000, (ms % 1000) * 1000000L};
  while (nanosleep(&t, &t) < 0 && errno == EINTR) {
  }
}

// 'readSome()' - One read(), retried only when interrupted.
ssize_t readSome(int fd, void *buf, size_t n)
{
  ssize_t r;
  do
    r = read(fd, buf, n);
  while (r < 0 && errno == EINTR);
  return r;
}

// 'writeAll()' - Write all n bytes; false when the reader has gone.
bool writeAll(int fd, const void *buf, size_t n)
{
  auto *p = static_cast<const unsigned char *>(buf);
  while (n > 0) {
    ssize_t w = write(fd, p, n);
    if (w < 0 && errno == EINTR)
      continue;
    if (w <= 0)
      return false;
    p += w;
    n -= static_cast<size_t>(w);
  }
  return true;
}

// 'fillInput()' - Have at least n unread bytes of the command pipe buffered.
bool fillInput(Session &s, size_t n)
{
  while (s.inEnd - s.inStart < n) {
    if (s.inStart == s.inEnd)
      s.inStart = s.inEnd = 0;
    if (s.inStart + n > s.in.size()) {
      memmove(s.in.data(), s.in.data() + s.inStart, s.inEnd - s.inStart);
      s.inEnd -= s.inStart;
      s.inStart = 0;
    }
    // Ask for all the room there is: a whole packet usually comes in one read.
    ssize_t r = readSome(s.args.cmdFd, s.in.data() + s.inEnd, s.in.size() - s.inEnd);
    if (r <= 0)
      return false;
    s.inEnd += static_cast<size_t>(r);
  }
  return true;
}

// 'readPacket()' - Take the next command: 1 read, 0 end of file, -1 cut short.
int readPacket(Session &s, StandinCommand *cmd)
{
  if (!fillInput(s, kHeader))
    return s.inEnd == s.inStart ? 0 : -1;
  const unsigned char *h = s.in.data() + s.inStart;
  cmd->code = static_cast<uint16_t>(h[0] | h[1] << 8);
  cmd->length = static_cast<uint16_t>(h[2] | h[3] << 8);
  if (!fillInput(s, kHeader + cmd->length))
    return -1;
  cmd->payload = s.in.data() + s.inStart + kHeader;
  s.inStart += kHeader + cmd->length; // the payload stays valid until the next read
  return 1;
}

// 'dataCount()' - The byte count of a command 7: decimal text closed by NUL, else -1.
long dataCount(const StandinCommand &cmd)
{
  if (cmd.length < 2 || cmd.payload[cmd.length - 1] != 0)
    return -1;
  const char *text = reinterpret_cast<const char *>(cmd.payload);
  char *end = nullptr;
  long n = strtol(text, &end, 10);
  return (end == text || *end != '\0' || n < 0) ? -1 : n;
}

// 'readData()' - Read up to n bytes of job data, handing on each block; bytes read.
size_t readData(Session &s, size_t n, bool handOn)
{
  size_t total = 0;
  while (total < n) {
    size_t want = n - total < kDataBlock ? n - total : kDataBlock;
    if (s.data.size() < want)
      s.data.resize(want);
    size_t got = 0;
    while (got < want) {
      ssize_t r = readSome(s.args.datFd, s.data.data() + got, want - got);
      if (r <= 0)
        break;
      got += static_cast<size_t>(r);
    }
    if (handOn && got > 0 && s.program->hooks.onData)
      s.program->hooks.onData(s.program->hooks.state, s.data.data(), got);
    total += got;
    if (got < want)
      break;
  }
  return total;
}

// 'traceCommand()' - Trace one command, with the data count for command 7.
void traceCommand(Session &s, const StandinCommand &cmd, long data)
{
  if (s.traceFd < 0)
    return; // untraced: no text to build for every chunk
  std::string line = "cmd " + std::to_string(cmd.code) + " len " + std::to_string(cmd.length) +
                     " payload " + standinTracePayload(cmd.payload, cmd.length);
  if (cmd.code == 7)
    line += " data " + std::to_string(data);
  standinTraceLine(s.traceFd, line);
}

// 'hangUntilEof()' - Never answer again: drop all input until the command pipe ends.
[[noreturn]] void hangUntilEof(Session &s)
{
  pollfd fds[2] = {{s.args.cmdFd, POLLIN, 0}, {s.args.datFd, POLLIN, 0}};
  unsigned char scratch[4096];
  for (;;) {
    if (poll(fds, 2, -1) < 0 && errno != EINTR)
      finish(s, 1);
    for (pollfd &p : fds) {
      if (p.fd < 0 || p.revents == 0)
        continue;
      if (readSome(p.fd, scratch, sizeof scratch) <= 0) {
        if (p.fd == s.args.cmdFd)
          finish(s, 0);
        p.fd = -1; // the data pipe has ended; keep waiting on commands
      }
    }
  }
}

// 'applyPointFaults()' - Apply the probe or start rules.
void applyPointFaults(Session &s, FaultWhen point)
{
  bool hang = false;
  for (const FaultRule &r : s.rules) {
    if (!standinFaultMatches(r, point, 0, 0, 0))
      continue;
    switch (r.action) {
    case FaultAction::Exit: finish(s, static_cast<int>(r.value));
    case FaultAction::Signal: raiseSignal(static_cast<int>(r.value)); break;
    case FaultAction::Sleep: sleepMs(r.value); break;
    case FaultAction::CloseRes:
      if (point == FaultWhen::Start)
        close(s.args.resFd);
      hang = true;
      break;
    case FaultAction::Hang: hang = true; break;
    default: break; // answers only exist for commands
    }
  }
  if (hang && point == FaultWhen::Start)
    hangUntilEof(s);
}

// 'collectFaults()' - Apply exit and signal rules at once; gather the rest.
CommandFaults collectFaults(Session &s, const StandinCommand &cmd, long codeNth)
{
  CommandFaults f;
  for (const FaultRule &r : s.rules) {
    if (!standinFaultMatches(r, FaultWhen::Code, cmd.code, codeNth, s.overall))
      continue;
    switch (r.action) {
    case FaultAction::Exit:
      traceCommand(s, cmd, 0);
      finish(s, static_cast<int>(r.value));
    case FaultAction::Signal:
      traceCommand(s, cmd, 0);
      raiseSignal(static_cast<int>(r.value));
      break;
    case FaultAction::Result: f.setResult = true; f.result = static_cast<int16_t>(r.value); break;
    case FaultAction::Echo: f.setEcho = true; f.echo = static_cast<int16_t>(r.value); break;
    case FaultAction::Payload:
    case FaultAction::RawPayload: f.setPayload = true; f.payload = r.bytes; break;
    case FaultAction::Hang: f.hang = true; break;
    case FaultAction::CloseRes: f.closeRes = true; break;
    case FaultAction::HalfData: f.halfData = true; break;
    case FaultAction::Sleep: f.sleepMs = r.value; break;
    }
  }
  return f;
}

// 'takeData()' - Read the job data of a command 7; exit when it is cut short.
long takeData(Session &s, const StandinCommand &cmd, const CommandFaults &f)
{
  long count = dataCount(cmd);
  if (count <= 0)
    return 0;
  if (f.halfData) {
    size_t got = readData(s, static_cast<size_t>(count / 2), false);
    traceCommand(s, cmd, static_cast<long>(got));
    finish(s, 1);
  }
  size_t got = readData(s, static_cast<size_t>(count), true);
  if (got < static_cast<size_t>(count)) { // the filter has gone mid-chunk
    traceCommand(s, cmd, static_cast<long>(got));
    finish(s, 1);
  }
  return count;
}

// 'sendReply()' - Write the response as one packet: echo, result, length, payload.
void sendReply(Session &s, const StandinReply &reply)
{
  size_t len = reply.payload.size() > 32767 ? 32767 : reply.payload.size();
  std::string out(6 + len, '\0');
  auto put16 = [&out](size_t at, uint16_t v) {
    out[at] = static_cast<char>(v & 0xff);
    out[at + 1] = static_cast<char>(v >> 8);
  };
  put16(0, static_cast<uint16_t>(reply.echo));
  put16(2, static_cast<uint16_t>(reply.result));
  put16(4, static_cast<uint16_t>(len));
  memcpy(out.data() + 6, reply.payload.data(), len);
  if (!writeAll(s.args.resFd, out.data(), out.size()))
    finish(s, 1);
}

// 'serveCommand()' - Handle one command from its faults to its response.
void serveCommand(Session &s, const StandinCommand &cmd)
{
  s.overall++;
  long codeNth = ++s.perCode[cmd.code];
  CommandFaults f = collectFaults(s, cmd, codeNth);
  long data = cmd.code == 7 ? takeData(s, cmd, f) : 0;
  traceCommand(s, cmd, data);
  if (f.closeRes)
    close(s.args.resFd);
  if (f.hang || f.closeRes)
    hangUntilEof(s);
  const StandinHooks &h = s.program->hooks;
  if (cmd.code == 240) {
    if (h.onTerminate)
      h.onTerminate(h.state);
    finish(s, 0);
  }
  StandinReply reply;
  reply.echo = static_cast<int16_t>(cmd.code);
  if (cmd.code == 7 && dataCount(cmd) < 0)
    reply.result = -1; // no count we could read
  if (h.onCommand)
    h.onCommand(h.state, cmd, &reply);
  if (f.setResult) reply.result = f.result;
  if (f.setEcho) reply.echo = f.echo;
  if (f.setPayload) reply.payload = f.payload;
  if (f.sleepMs > 0)
    sleepMs(f.sleepMs);
  sendReply(s, reply);
}

// 'traceStart()' - Trace a full start: the program name and every argument.
void traceStart(Session &s, int argc, char **argv)
{
  standinTraceLine(s.traceFd, std::string("start ") + s.program->name);
  for (int i = 0; i < argc; i++)
    standinTraceLine(s.traceFd, "arg " + std::to_string(i) + " " + argv[i]);
}

} // namespace

// 'standinMain()' - Run a stand-in module: probe answer, or serve until 240.
int standinMain(const StandinProgram &program, int argc, char **argv)
{
  static Session s; // large buffers; one per process
  s.program = &program;
  s.traceFd = standinTraceOpen();
  std::string error;
  if (!standinParseFaults(getenv("TOVEFILT_STANDIN_FAULTS"), &s.rules, &error)) {
    fprintf(stderr, "%s: %s\n", program.name, error.c_str());
    finish(s, 2);
  }
  if (argc <= 1) { // the probe: answer at once, touching no descriptor
    standinTraceLine(s.traceFd, std::string("probe ") + (argc == 1 ? argv[0] : ""));
    applyPointFaults(s, FaultWhen::Probe);
    finish(s, 0);
  }
  traceStart(s, argc, argv);
  if (!standinParseArgs(argc, argv, program.takesOptList, &s.args, &error)) {
    fprintf(stderr, "%s: %s\n", program.name, error.c_str());
    finish(s, 2);
  }
  // The scheduler's cancel reaches the whole group; we serve on until 240.
  signal(SIGTERM, SIG_IGN);
  if (program.hooks.onStart)
    program.hooks.onStart(program.hooks.state, s.args);
  applyPointFaults(s, FaultWhen::Start);
  for (;;) {
    StandinCommand cmd;
    if (readPacket(s, &cmd) <= 0)
      finish(s, 1); // the filter has gone without 240
    serveCommand(s, cmd);
  }
}
