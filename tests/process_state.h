// What a test can read of this process's own state: open descriptors and
// the SIGPIPE mask.
#ifndef TOVEFILT_TESTS_PROCESS_STATE_H
#define TOVEFILT_TESTS_PROCESS_STATE_H

#include <dirent.h>
#include <pthread.h>
#include <signal.h>

// 'countOpenFds()' - Number of descriptors open in this process.
inline int countOpenFds()
{
  int n = 0;
  DIR *dir = opendir("/proc/self/fd");
  if (dir == nullptr)
    return -1;
  while (dirent *e = readdir(dir))
    n += e->d_name[0] != '.';
  closedir(dir);
  return n;
}

// 'sigpipeBlocked()' - Whether this thread's mask holds SIGPIPE.
inline bool sigpipeBlocked()
{
  sigset_t cur;
  pthread_sigmask(SIG_BLOCK, nullptr, &cur);
  return sigismember(&cur, SIGPIPE) == 1;
}

#endif // TOVEFILT_TESTS_PROCESS_STATE_H
