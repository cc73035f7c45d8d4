// Start of a module program as a child connected by three pipes.
#include "qzproc_internal.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

namespace {

// Exit status of a start child that cannot run its program.
constexpr int kStartFailStatus = 255;

// Each numeric argument has a block of its own, filled to at most 30 characters.
constexpr size_t kArgBlock = 32;

// The three pipes in creation order: command, result, data; [0] reads, [1] writes.
struct ModulePipes {
  int fd[3][2];
};

// 'closePipes()' - Close the first n pipes after a failed start.
void closePipes(ModulePipes *p, int n)
{
  for (int i = 0; i < n; i++) {
    close(p->fd[i][0]);
    close(p->fd[i][1]);
  }
}

// 'openPipes()' - Create the three pipes in order; on failure close the made ones.
int openPipes(ModulePipes *p)
{
  static constexpr const char *kPipeError[3] = {
      "Pipe Create Error1 \n", "Pipe Create Error2 \n", "Pipe Create Error3 \n"};
  for (int i = 0; i < 3; i++) {
    if (pipe(p->fd[i]) < 0) {
      debugTrace(kPipeError[i]);
      closePipes(p, i);
      return -1;
    }
  }
  return 0;
}

// 'optListArg()' - Format "--opt_list=" and the option text into a block of length + 15.
char *optListArg(const char *optList)
{
  size_t size = strlen(optList) + 15;
  auto *arg = static_cast<char *>(calloc(size, 1));
  if (arg != nullptr)
    snprintf(arg, size, "--opt_list=%s", optList);
  return arg;
}

// 'startChild()' - In the child: drop the parent's ends and execute; never returns.
[[noreturn]] void startChild(const ModulePipes &p, const char *dir, const char *name,
                             int format, int output, const char *optList)
{
  char *optArg = nullptr;
  if (optList != nullptr && (optArg = optListArg(optList)) == nullptr)
    _exit(kStartFailStatus);
  close(p.fd[0][1]);
  close(p.fd[1][0]);
  close(p.fd[2][1]);

  char args[5][kArgBlock];
  snprintf(args[0], kArgBlock - 1, "--format=%d", format);
  snprintf(args[1], kArgBlock - 1, "--output=%d", output);
  snprintf(args[2], kArgBlock - 1, "--cmd_fd=%d", p.fd[0][0]);
  snprintf(args[3], kArgBlock - 1, "--res_fd=%d", p.fd[1][1]);
  snprintf(args[4], kArgBlock - 1, "--dat_fd=%d", p.fd[2][0]);

  char *path = qzprocJoinPath(dir, name);
  if (path == nullptr)
    _exit(kStartFailStatus);
  char *argv[] = {path, args[0], args[1], args[2], args[3], args[4], optArg, nullptr};
  execv(path, argv);
  debugTrace("exec Error \n");
  _exit(kStartFailStatus);
}

} // namespace

// 'qzprocStartIn()' - Start dir+name with three pipes; store its pid and our ends.
int qzprocStartIn(pid_t *pid, ModuleFds *fds, const char *dir, const char *name,
                  int format, int output, const char *optList)
{
  if (pid == nullptr || fds == nullptr || dir == nullptr || name == nullptr)
    return -1;
  ModulePipes p{};
  if (openPipes(&p) < 0)
    return -1;
  pid_t child = fork();
  if (child < 0) {
    debugTrace("Fork Error: \n");
    closePipes(&p, 3);
    return -1;
  }
  if (child == 0)
    startChild(p, dir, name, format, output, optList);
  close(p.fd[0][0]);
  close(p.fd[1][1]);
  close(p.fd[2][0]);
  *pid = child;
  fds->cmd_fd = p.fd[0][1];
  fds->res_fd = p.fd[1][0];
  fds->dat_fd = p.fd[2][1];
  return 0;
}

// 'qzprocStartPath()' - Start the program at path.
int qzprocStartPath(pid_t *pid, ModuleFds *fds, const char *path, int format,
                    int output, const char *optList)
{
  return qzprocStartIn(pid, fds, "", path, format, output, optList);
}

// 'qzprocStartModule()' - Start the page description module.
int qzprocStartModule(pid_t *pid, ModuleFds *fds, int format, int output)
{
  return qzprocStartIn(pid, fds, qzprocModuleDir(), "yxpkmodulelumor", format,
                       output, nullptr);
}

// 'qzprocStartBidi()' - Start the bidirectional module with its option text.
int qzprocStartBidi(pid_t *pid, ModuleFds *fds, int format, int output,
                    const char *optList)
{
  if (optList == nullptr)
    return -1;
  return qzprocStartIn(pid, fds, qzprocModuleDir(), "yxpkbidir", format, output,
                       optList);
}
