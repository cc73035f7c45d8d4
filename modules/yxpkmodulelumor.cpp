// Stand-in page description module: wraps the job's data in a PJL envelope
// and answers the page set-up query from the job parameter string.
#include "job_params.h"
#include "pjl_output.h"
#include "standin.h"

namespace {

// 'onStart()' - The printer's data goes to the --output descriptor.
void onStart(void *state, const StandinArgs &args)
{
  static_cast<PjlJob *>(state)->outFd = args.output;
}

// 'onData()' - Job data of command 7 goes to the printer unchanged.
void onData(void *state, const unsigned char *data, size_t n)
{
  pjlData(static_cast<PjlJob *>(state), data, n);
}

// 'onCommand()' - Keep the job parameters, open and close the envelope, answer 17.
void onCommand(void *state, const StandinCommand &cmd, StandinReply *reply)
{
  auto *job = static_cast<PjlJob *>(state);
  switch (cmd.code) {
  case 3: {
    std::string_view text(reinterpret_cast<const char *>(cmd.payload), cmd.length);
    job->params = std::string(text.substr(0, text.find('\0')));
    break;
  }
  case 1: pjlStart(job); break;
  case 2: pjlEnd(job); break;
  case 17: reply->payload = pageAttrReply(job->params); break;
  default: break;
  }
}

// 'onTerminate()' - Command 240.
void onTerminate(void *state)
{
  pjlTerminate(static_cast<PjlJob *>(state));
}

} // namespace

// 'main()' - Probe answer, or serve one job until command 240.
int main(int argc, char **argv)
{
  static PjlJob job;
  StandinProgram program{"yxpkmodulelumor", false,
                         {&job, onStart, onData, onCommand, onTerminate}};
  return standinMain(program, argc, argv);
}
