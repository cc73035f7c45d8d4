/*
 * Module channel internals: the pieces the public operations are built
 * from, open to the tests so that they can probe or start any program.
 */
#ifndef TOVEFILT_QZPROC_INTERNAL_H
#define TOVEFILT_QZPROC_INTERNAL_H

#include "qzproc.h"

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Directory of the module programs, with its trailing slash (build-time). */
const char *qzprocModuleDir(void);

/* Run dir+name with the single argument argv0 and wait for it:
   1 present, 0 absent (exit status 44), -1 no child or no wait status. */
int qzprocProbeIn(const char *dir, const char *name, const char *argv0);
int qzprocProbePath(const char *path, const char *argv0);

/* Start dir+name with three pipes; optList adds "--opt_list=" when not null. */
int qzprocStartIn(pid_t *pid, ModuleFds *fds, const char *dir, const char *name,
                  int format, int output, const char *optList);
int qzprocStartPath(pid_t *pid, ModuleFds *fds, const char *path, int format,
                    int output, const char *optList);

/* Blocking loops over write()/read(): 0 when all n bytes moved, -1 on an
   error; reading also fails at end of file, since no progress can follow. */
int qzprocWriteAll(int fd, const void *data, size_t n);
int qzprocReadAll(int fd, void *data, size_t n);

/* What a started child does: close closeFds, then execute path with argv
   (both built beforehand: the child allocates nothing); when path or argv is
   null or the exec fails, pass failTrace (if any) to debugTrace and exit with
   failStatus. The child starts with the caller's signal mask. */
typedef struct {
  const char *path;
  char *const *argv;
  const int *closeFds;
  int closeCount;
  int failStatus;
  const char *failTrace;
} QzprocChildPlan;
/* Start a child that carries out plan: its pid, or -1 when none could be made. */
pid_t qzprocSpawnChild(const QzprocChildPlan *plan);
/* Build dir+name in a block sized for it; null when it cannot be allocated. */
char *qzprocJoinPath(const char *dir, const char *name);

#ifdef __cplusplus
}
#endif

#endif /* TOVEFILT_QZPROC_INTERNAL_H */
