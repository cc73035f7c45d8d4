// Probe of a program: run it once without arguments and read its exit status.
#include "qzproc_internal.h"

#include <sys/wait.h>
#include <unistd.h>

namespace {

// Exit status by which a program reports that it cannot be executed.
constexpr int kAbsentStatus = 44;

// 'probeChild()' - Execute dir+name with argv0 alone; never returns.
[[noreturn]] void probeChild(const char *dir, const char *name, const char *argv0)
{
  char *path = qzprocJoinPath(dir, name);
  if (path != nullptr) {
    char *argv[] = {const_cast<char *>(argv0), nullptr};
    execv(path, argv);
  }
  _exit(kAbsentStatus);
}

} // namespace

// 'qzprocProbeIn()' - Probe dir+name: 1 present, 0 absent, -1 on failure.
int qzprocProbeIn(const char *dir, const char *name, const char *argv0)
{
  pid_t pid = fork();
  if (pid < 0) {
    debugTrace("Fork Error: \n");
    return -1;
  }
  if (pid == 0)
    probeChild(dir, name, argv0);
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
