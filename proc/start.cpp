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

// Everything the start child needs, built in the parent before the child exists.
struct StartArgs {
  char numbers[5][kArgBlock];
  char *optArg = nullptr; // "--opt_list=..." when an option text was given
  char *path = nullptr;
  bool ready = false;     // false: the child exits at once with the failure status
};

// 'prepareStart()' - Format the child's argument blocks and path in the parent.
void prepareStart(StartArgs *a, const ModulePipes &p, const char *dir, const char *name,
                  int format, int output, const char *optList)
{
  if (optList != nullptr && (a->optArg = optListArg(optList)) == nullptr)
    return;
  snprintf(a->numbers[0], kArgBlock - 1, "--format=%d", format);
  snprintf(a->numbers[1], kArgBlock - 1, "--output=%d", output);
  snprintf(a->numbers[2], kArgBlock - 1, "--cmd_fd=%d", p.fd[0][0]);
  snprintf(a->numbers[3], kArgBlock - 1, "--res_fd=%d", p.fd[1][1]);
  snprintf(a->numbers[4], kArgBlock - 1, "--dat_fd=%d", p.fd[2][0]);
  a->path = qzprocJoinPath(dir, name);
  a->ready = a->path != nullptr;
}

// 'spawnStart()' - Start the child: it drops the parent's ends and executes.
pid_t spawnStart(const ModulePipes &p, StartArgs *a)
{
  char *argv[] = {a->path,       a->numbers[0], a->numbers[1], a->numbers[2],
                  a->numbers[3], a->numbers[4], a->optArg,     nullptr};
  const int parentEnds[3] = {p.fd[0][1], p.fd[1][0], p.fd[2][1]};
  // An unprepared child ends with the failure status and no trace, as before.
  QzprocChildPlan plan = {a->ready ? a->path : nullptr, argv, parentEnds, 3,
                          kStartFailStatus, a->ready ? "exec Error \n" : nullptr};
  pid_t child = qzprocSpawnChild(&plan);
  free(a->path);
  free(a->optArg);
  return child;
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
  StartArgs args;
  prepareStart(&args, p, dir, name, format, output, optList);
  pid_t child = spawnStart(p, &args);
  if (child < 0) {
    debugTrace("Fork Error: \n");
    closePipes(&p, 3);
    return -1;
  }
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
