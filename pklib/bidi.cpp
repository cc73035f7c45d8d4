// Bidirectional context: an output context whose child is the bidirectional
// module, started with an option list and told to terminate at teardown.

#include <cstdlib>

#include <unistd.h>

#include "qzpk.h"
#include "qzpk_internal.h"

namespace {

// Only the first byte is defined; the module must not read the others.
static constexpr unsigned char kTerminatePayload[4] = {0, 0, 0, 0};

// 'closeModuleFds()' - Close the filter's three pipe ends to the child.
void closeModuleFds(const ModuleFds &fds)	// I - Pipe ends
{
  close(fds.cmd_fd);
  close(fds.res_fd);
  close(fds.dat_fd);
}

} // namespace

// 'qzpkBidiNew()' - Create a context that runs the bidirectional module.
OutputContext *				// O - New context, or null
qzpkBidiNew(int format,			// I - Format number for the module
            int output,			// I - Output number for the module
            const char *optList)	// I - Option text, passed as one argument
{
  if (!optList)
    return nullptr;
  auto *ctx = static_cast<OutputContext *>(calloc(1, sizeof(OutputContext)));
  if (!ctx)
    return nullptr;
  ctx->mode = 1;
  // The child starts with the caller's own signal mask.
  qzpkSigpipeSuspend();
  int started =
      qzprocStartBidi(&ctx->childPid, &ctx->fds, format, output, optList);
  qzpkSigpipeResume();
  if (started < 0) {
    free(ctx);
    return nullptr;
  }
  qzpkSigpipeHold();
  return ctx;
}

// 'qzpkBidiDestroy()' - Tell the bidirectional module to end, wait, free.
//
// Teardown ends the child as an ordinary context's does.  The context is
// freed even when command 240 cannot be written; its pipe ends are closed
// then too, since nothing could ever use them again.
int					// O - 0, or -1 when 240 was not written
qzpkBidiDestroy(OutputContext *ctx)	// I - Context, may be null
{
  if (!ctx)
    return 0;
  int result = 0;
  if (ctx->mode == 1) {
    if (qzprocWriteCommand(ctx->fds, CMD_TERMINATE, kTerminatePayload,
                           sizeof kTerminatePayload) == 0) {
      qzpkReapModule(ctx->childPid, ctx->fds);
    } else {
      result = -1;
      closeModuleFds(ctx->fds);
    }
  }
  attrFreeAll(ctx->attrs);
  free(ctx);
  qzpkSigpipeRelease();
  return result;
}
