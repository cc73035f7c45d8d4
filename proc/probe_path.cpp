// Probe of a program: run it once without arguments and read its exit status.
#include "qzproc_internal.h"

#include <cstdlib>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// Exit status by which a program reports that it cannot be executed.
constexpr int kAbsentStatus = 44;

// 'spawnProbe()' - Start dir+name with argv0 alone; a child that cannot exec exits 44.
pid_t spawnProbe(const char *dir, const char *name, const char *argv0)
{
  char *path = qzprocJoinPath(dir, name);
  char *argv[] = {const_cast<char *>(argv0), nullptr};
  QzprocChildPlan plan = {path, argv, nullptr, 0, kAbsentStatus, nullptr};
  pid_t pid = qzprocSpawnChild(&plan);
  free(path);
  return pid;
}

} // namespace

// 'qzprocProbeIn()' - Probe dir+name: 1 present, 0 absent, -1 on failure.
int qzprocProbeIn(const char *dir, const char *name, const char *argv0)
{
  pid_t pid = spawnProbe(dir, name, argv0);
  if (pid < 0) {
    debugTrace("Fork Error: \n");
    return -1;
  }
  int status = 0;
  if (waitpid(pid, &status, 0) < 0)
    return -1;
  return (WIFEXITED(status) && WEXITSTATUS(status) == kAbsentStatus) ? 0 : 1;
}

// 'qzprocProbePath()' - Probe the program at path, giving it argv0.
int qzprocProbePath(const char *path, const char *argv0)
{
  return qzprocProbeIn("", path, argv0);
}
