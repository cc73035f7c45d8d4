// Creation and destruction of an output context.
#include "qzpk.h"
#include "qzpk_internal.h"

#include <cstdlib>

namespace {

// 'chooseMode()' - Probe the module and start it when present; -1 when neither works.
int chooseMode(OutputContext *ctx, int format, int output)
{
  int present = qzprocProbeModule();
  // A probe that could not create a process says nothing about the module;
  // falling back to pass-through would print the job's raw data.
  if (present < 0)
    return -1;
  if (present == 1) {
    ctx->mode = 1;
    return qzprocStartModule(&ctx->childPid, &ctx->fds, format, output) < 0 ? -1 : 0;
  }
  ctx->mode = 0;
  ctx->outFd = output;
  return 0;
}

} // namespace

// 'qzpkNew()' - Create a context, in module mode when the module can run.
OutputContext *qzpkNew(int format, int output)
{
  auto *ctx = static_cast<OutputContext *>(calloc(1, sizeof(OutputContext)));
  if (ctx == nullptr)
    return nullptr;
  qzpkSigpipeSuspend();
  int rc = chooseMode(ctx, format, output);
  qzpkSigpipeResume();
  if (rc < 0) {
    free(ctx);
    return nullptr;
  }
  qzpkSigpipeHold();
  return ctx;
}

// 'qzpkDestroy()' - Terminate the module (if any) and free the context.
int qzpkDestroy(OutputContext *ctx)
{
  if (ctx == nullptr)
    return -1;
  if (ctx->mode == 1) {
    // Without the terminate command the module would not end: keep the
    // context so that the caller still holds the child and its pipes.
    if (qzprocWriteCommand(ctx->fds, CMD_TERMINATE, nullptr, 0) != 0)
      return -1;
    qzpkReapModule(ctx->childPid, ctx->fds);
  }
  attrFreeAll(ctx->attrs);
  free(ctx);
  qzpkSigpipeRelease();
  return 0;
}
