// Termination request to a module child.
#include "qzproc.h"

#include <csignal>

// 'qzprocKill()' - Send SIGTERM to pid; -1 without signalling for pid <= 0.
int qzprocKill(pid_t pid)
{
  if (pid <= 0)
    return -1;
  return kill(pid, SIGTERM);
}
