// Shared helpers of the module channel tests: temporary directory, pipes,
// draining, the stand-ins' trace.
#ifndef TOVEFILT_CHANNEL_TEST_SUPPORT_H
#define TOVEFILT_CHANNEL_TEST_SUPPORT_H

#include "qzproc.h"
#include "scratch_files.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using Bytes = std::vector<unsigned char>;

// A pipe whose ends close with it.
struct Pipe {
  int rd = -1, wr = -1;
  Pipe()
  {
    int fd[2];
    if (pipe(fd) == 0) {
      rd = fd[0];
      wr = fd[1];
    }
  }
  ~Pipe()
  {
    closeRead();
    closeWrite();
  }
  void closeRead()
  {
    if (rd >= 0)
      close(rd);
    rd = -1;
  }
  void closeWrite()
  {
    if (wr >= 0)
      close(wr);
    wr = -1;
  }
};

// 'drain()' - Everything that is in the pipe right now, without blocking.
inline Bytes drain(int fd)
{
  int flags = fcntl(fd, F_GETFL);
  fcntl(fd, F_SETFL, flags | O_NONBLOCK);
  Bytes out;
  unsigned char buf[4096];
  ssize_t r;
  while ((r = read(fd, buf, sizeof buf)) > 0)
    out.insert(out.end(), buf, buf + r);
  fcntl(fd, F_SETFL, flags);
  return out;
}

// 'writeBytes()' - Put bytes into a pipe; they must fit its buffer.
inline void writeBytes(int fd, const Bytes &b)
{
  ASSERT_EQ(write(fd, b.data(), b.size()), static_cast<ssize_t>(b.size()));
}

// 'lines()' - Split a text into its lines.
inline std::vector<std::string> lines(const std::string &text)
{
  std::vector<std::string> out;
  std::stringstream ss(text);
  std::string line;
  while (std::getline(ss, line))
    out.push_back(line);
  return out;
}

// 'waitExit()' - Wait for a child; its exit status, or 1000 + signal.
inline int waitExit(pid_t pid)
{
  int status = 0;
  if (waitpid(pid, &status, 0) != pid)
    return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : 1000 + WTERMSIG(status);
}

// Talking to modules that may die: a failed write must not kill the test.
struct IgnoreSigpipe {
  IgnoreSigpipe() { signal(SIGPIPE, SIG_IGN); }
};

#endif // TOVEFILT_CHANNEL_TEST_SUPPORT_H
