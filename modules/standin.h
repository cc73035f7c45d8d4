// Module-side protocol helper shared by the stand-in module programs:
// arguments, trace file, fault script, and the command loop.
#ifndef TOVEFILT_STANDIN_H
#define TOVEFILT_STANDIN_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Descriptors and numbers a module gets on its command line.
struct StandinArgs {
  int format = -1;
  int output = -1;
  int cmdFd = -1;
  int resFd = -1;
  int datFd = -1;
  bool hasOptList = false;
  std::string optList;
};

// One command as read from the command pipe; payload points into the reader.
struct StandinCommand {
  uint16_t code = 0;
  uint16_t length = 0;
  const unsigned char *payload = nullptr;
};

// The response about to be written; a fault may change any field.
struct StandinReply {
  int16_t echo = 0;
  int16_t result = 0;
  std::string payload;
};

// What a program adds to the common loop; every hook may be null.
struct StandinHooks {
  void *state = nullptr;
  // Full start, once the arguments are known.
  void (*onStart)(void *state, const StandinArgs &args) = nullptr;
  // Job data of one command 7, in order.
  void (*onData)(void *state, const unsigned char *data, size_t n) = nullptr;
  // Every command but 240, after its data; fills the natural reply.
  void (*onCommand)(void *state, const StandinCommand &cmd, StandinReply *reply) = nullptr;
  // Command 240, before the module exits.
  void (*onTerminate)(void *state) = nullptr;
};

// The program: its name, whether it takes --opt_list=, and its hooks.
struct StandinProgram {
  const char *name;
  bool takesOptList;
  StandinHooks hooks;
};

// Fault script rule: when it applies and what it does.
enum class FaultWhen { Probe, Start, Code, CodeNth, Any, Nth };
enum class FaultAction {
  Exit, Signal, Result, Echo, Payload, RawPayload, Hang, CloseRes, HalfData, Sleep
};
struct FaultRule {
  FaultWhen when;
  int code = 0;
  long nth = 0;
  FaultAction action;
  long value = 0;
  std::string bytes; // payload or raw payload
};

// Trace file (TOVEFILT_STANDIN_TRACE): -1 when tracing is off.
int standinTraceOpen();
void standinTraceLine(int fd, std::string_view line);
std::string standinTracePayload(const unsigned char *p, size_t n);

// Fault script (TOVEFILT_STANDIN_FAULTS): false with a message on a bad rule.
bool standinParseFaults(const char *text, std::vector<FaultRule> *rules, std::string *error);
bool standinFaultMatches(const FaultRule &rule, FaultWhen point, int code, long codeNth,
                         long overallNth);

// Command line: false with a message when an argument is missing or unknown.
bool standinParseArgs(int argc, char **argv, bool takesOptList, StandinArgs *args,
                      std::string *error);

// The whole program: probe run or full start, then commands until 240.
int standinMain(const StandinProgram &program, int argc, char **argv);

#endif // TOVEFILT_STANDIN_H
