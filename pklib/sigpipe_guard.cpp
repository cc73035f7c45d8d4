// SIGPIPE guard: blocked for as long as any output context exists.
//
// Blocking once per context life costs nothing per write, where a mask
// change around every write would cost two system calls per chunk.  The
// guard is process-wide because the signal mask is; the library is used
// from one thread, so a plain counter is enough.
#include "qzpk_internal.h"

#include <cerrno>
#include <csignal>
#include <ctime>

namespace {

int holders = 0;            // contexts alive
bool callerBlocked = false; // SIGPIPE was already blocked by the caller

// 'pipeSet()' - The set holding SIGPIPE alone.
sigset_t pipeSet()
{
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGPIPE);
  return set;
}

// 'discardPending()' - Consume a SIGPIPE left pending by a failed write.
void discardPending()
{
  sigset_t set = pipeSet();
  const timespec zero = {0, 0};
  int saved = errno;
  while (sigtimedwait(&set, nullptr, &zero) == SIGPIPE) {
  }
  errno = saved;
}

// 'setBlocked()' - Block or unblock SIGPIPE, leaving the rest of the mask alone.
void setBlocked(bool blocked)
{
  sigset_t set = pipeSet();
  pthread_sigmask(blocked ? SIG_BLOCK : SIG_UNBLOCK, &set, nullptr);
}

// 'guardOwnsMask()' - Whether the guard, not the caller, keeps SIGPIPE blocked.
bool guardOwnsMask()
{
  return holders > 0 && !callerBlocked;
}

} // namespace

// 'qzpkSigpipeHold()' - Take the guard for one more context.
void qzpkSigpipeHold(void)
{
  if (holders++ > 0)
    return;
  sigset_t set = pipeSet();
  sigset_t old;
  pthread_sigmask(SIG_BLOCK, &set, &old);
  callerBlocked = sigismember(&old, SIGPIPE) == 1;
}

// 'qzpkSigpipeRelease()' - Drop the guard for one context; the last restores the mask.
void qzpkSigpipeRelease(void)
{
  if (holders <= 0)
    return;
  if (--holders > 0 || callerBlocked)
    return;
  discardPending();
  setBlocked(false);
}

// 'qzpkSigpipeSuspend()' - Give SIGPIPE back to the caller before a fork.
void qzpkSigpipeSuspend(void)
{
  if (!guardOwnsMask())
    return;
  discardPending();
  setBlocked(false);
}

// 'qzpkSigpipeResume()' - Block SIGPIPE again after a fork.
void qzpkSigpipeResume(void)
{
  if (guardOwnsMask())
    setBlocked(true);
}
