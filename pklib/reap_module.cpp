// The end of a module child after the terminate command.
#include "qzpk_internal.h"

#include <cerrno>
#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

// 'qzpkReapModule()' - Wait for a terminated module and close its pipe ends.
//
// The command and data pipes are closed before the wait: a module that
// follows the protocol has ended by itself after the terminate command, and
// one that stopped answering but still reads its command pipe sees end of
// file and ends too, instead of keeping the filter waiting for ever.  A wait
// interrupted by a signal means the caller is being stopped (the scheduler
// cancels with SIGTERM): the module is then killed, so that the wait ends.
void qzpkReapModule(pid_t pid, ModuleFds fds)
{
  close(fds.cmd_fd);
  close(fds.dat_fd);
  if (waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
    kill(pid, SIGKILL);
    while (waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
    }
  }
  close(fds.res_fd);
}
