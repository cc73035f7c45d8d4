/*
 * Output context internals shared by the library's own files: the guard
 * that keeps SIGPIPE from killing the process while a context exists, and
 * the parser of the module's page set-up reply.
 */
#ifndef TOVEFILT_QZPK_INTERNAL_H
#define TOVEFILT_QZPK_INTERNAL_H

#include <sys/types.h>

#include "qzproc.h"
#include "qzpk.h"

#ifdef __cplusplus
extern "C" {
#endif

/* After the terminate command went out: wait for the module child to end
   and close the three pipe ends. */
void qzpkReapModule(pid_t pid, ModuleFds fds);

/* A context now exists: block SIGPIPE (first holder only), so that a write
   to a pipe whose reader has gone fails with EPIPE instead. */
void qzpkSigpipeHold(void);

/* A context is gone: the last holder discards a SIGPIPE left pending by a
   failed write and gives the caller back its own mask for SIGPIPE. */
void qzpkSigpipeRelease(void);

/* Around the start of a child: children begin with the caller's own mask,
   even while other contexts hold the guard. */
void qzpkSigpipeSuspend(void);
void qzpkSigpipeResume(void);

/* Copy the known pairs of a command-17 reply payload into a record. */
void qzpkParsePageReply(const unsigned char *payload, int len, PageAttr *attr);

#ifdef __cplusplus
}
#endif

#endif /* TOVEFILT_QZPK_INTERNAL_H */
