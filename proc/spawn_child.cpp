// Child start shared by the probe and the module start: vfork, close, exec.
//
// A fork of a process that maps libcups copies its page tables and leaves
// the parent to take copy-on-write faults afterwards; vfork borrows the
// parent's memory until the exec instead. The child therefore touches no
// memory: everything it needs was built by the parent beforehand.
#include "qzproc_internal.h"

#include <cerrno>
#include <csignal>
#include <unistd.h>

namespace {

// 'defaultHandlers()' - In the child: signals with a handler go back to the default.
void defaultHandlers()
{
  // A handler run here would run on the parent's memory; exec resets them anyway.
  for (int sig = 1; sig < NSIG; sig++) {
    struct sigaction old;
    if (sigaction(sig, nullptr, &old) != 0 || old.sa_handler == SIG_DFL ||
        old.sa_handler == SIG_IGN)
      continue;
    struct sigaction dfl = {};
    dfl.sa_handler = SIG_DFL;
    sigaction(sig, &dfl, nullptr);
  }
}

// 'runChild()' - In the child: close, restore the mask, exec; never returns.
[[noreturn]] void runChild(const QzprocChildPlan &plan, const sigset_t &callerMask)
{
  defaultHandlers();
  for (int i = 0; i < plan.closeCount; i++)
    close(plan.closeFds[i]);
  sigprocmask(SIG_SETMASK, &callerMask, nullptr);
  if (plan.path != nullptr && plan.argv != nullptr)
    execv(plan.path, plan.argv);
  if (plan.failTrace != nullptr)
    debugTrace(plan.failTrace);
  _exit(plan.failStatus);
}

} // namespace

// 'qzprocSpawnChild()' - Start a child that runs plan: its pid, or -1 when none exists.
pid_t qzprocSpawnChild(const QzprocChildPlan *plan)
{
  // No signal reaches the child before its handlers are reset.
  sigset_t all, callerMask;
  sigfillset(&all);
  sigprocmask(SIG_SETMASK, &all, &callerMask);
  // The child only resets handlers, closes, sets the mask and executes (or
  // exits), on what the parent built; that is the use vfork is safe for.
  pid_t pid = vfork(); // NOLINT(clang-analyzer-security.insecureAPI.vfork)
  if (pid == 0)
    runChild(*plan, callerMask); // NOLINT(clang-analyzer-unix.Vfork)
  int saved = errno;
  sigprocmask(SIG_SETMASK, &callerMask, nullptr);
  errno = saved;
  return pid;
}
