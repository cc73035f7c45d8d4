// The module protocol's ceiling: two processes that do the lock-step of a
// job's data and nothing else. Per 4096-byte chunk the parent writes one
// 9-byte command, the 4096 data bytes and reads one 6-byte response; the
// child reads the command (one read), the data, optionally writes the data to
// standard output, and answers. The input is read in 65536-byte blocks, as
// the filter reads it.
//   lockstep [--write] [file]
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr int kChunk = 4096;
char block[65536];
char chunkBuf[kChunk];

// 'writeAll()' - Write every byte, continuing after partial writes.
bool writeAll(int fd, const char *data, size_t len)
{
  while (len > 0) {
    ssize_t n = write(fd, data, len);
    if (n < 0)
      return false;
    data += n;
    len -= static_cast<size_t>(n);
  }
  return true;
}

// 'readAll()' - Read exactly len bytes; false on end of file or error.
bool readAll(int fd, char *data, size_t len)
{
  while (len > 0) {
    ssize_t n = read(fd, data, len);
    if (n <= 0)
      return false;
    data += n;
    len -= static_cast<size_t>(n);
  }
  return true;
}

// 'serve()' - The child: answer commands until 240 or end of file.
int serve(int cmdFd, int resFd, int datFd, bool writeOut)
{
  static char packet[4 + 65536];
  for (;;) {
    ssize_t n = read(cmdFd, packet, sizeof packet);
    if (n < 4)
      return n == 0 ? 0 : 1;
    int code = static_cast<unsigned char>(packet[0]) | static_cast<unsigned char>(packet[1]) << 8;
    if (code == 240)
      return 0;
    if (code == 7) {
      packet[n < static_cast<ssize_t>(sizeof packet) ? n : n - 1] = '\0';
      size_t count = strtoul(packet + 4, nullptr, 10);
      if (count > kChunk || !readAll(datFd, chunkBuf, count))
        return 1;
      if (writeOut && !writeAll(1, chunkBuf, count))
        return 1;
    }
    const char response[6] = {static_cast<char>(code), static_cast<char>(code >> 8), 0, 0, 0, 0};
    if (!writeAll(resFd, response, sizeof response))
      return 1;
  }
}

// 'sendChunk()' - One exchange: command 7, the data, the response.
bool sendChunk(int cmdFd, int resFd, int datFd, const char *data, int len)
{
  char packet[16] = {7, 0, 0, 0};
  int textLen = snprintf(packet + 4, sizeof packet - 4, "%d", len) + 1;
  packet[2] = static_cast<char>(textLen);
  char response[6];
  return writeAll(cmdFd, packet, 4 + static_cast<size_t>(textLen)) &&
         writeAll(datFd, data, static_cast<size_t>(len)) &&
         readAll(resFd, response, sizeof response) && response[0] == 7 &&
         response[2] == 0 && response[3] == 0;
}

// 'feed()' - The parent: read the input in blocks and send it in chunks.
int feed(int inFd, int cmdFd, int resFd, int datFd)
{
  for (;;) {
    ssize_t n = read(inFd, block, sizeof block);
    if (n < 0)
      return 1;
    if (n == 0)
      return 0;
    for (ssize_t off = 0; off < n; off += kChunk) {
      int len = n - off < kChunk ? static_cast<int>(n - off) : kChunk;
      if (!sendChunk(cmdFd, resFd, datFd, block + off, len))
        return 1;
    }
  }
}

} // namespace

// 'main()' - Start the child with three pipes, feed it, terminate it.
int main(int argc, char **argv)
{
  bool writeOut = argc > 1 && strcmp(argv[1], "--write") == 0;
  int inFd = 0;
  if (argc > 1 + writeOut && (inFd = open(argv[1 + writeOut], O_RDONLY)) < 0)
    return 2;
  int cmd[2], res[2], dat[2];
  if (pipe(cmd) < 0 || pipe(res) < 0 || pipe(dat) < 0) {
    close(inFd);
    return 2;
  }
  pid_t pid = fork();
  if (pid < 0) {
    close(inFd);
    return 2;
  }
  if (pid == 0) {
    close(cmd[1]);
    close(res[0]);
    close(dat[1]);
    _exit(serve(cmd[0], res[1], dat[0], writeOut));
  }
  close(cmd[0]);
  close(res[1]);
  close(dat[0]);
  int rc = feed(inFd, cmd[1], res[0], dat[1]);
  const char terminate[4] = {static_cast<char>(240), 0, 0, 0};
  writeAll(cmd[1], terminate, sizeof terminate);
  int status = 0;
  waitpid(pid, &status, 0);
  return rc != 0 || !WIFEXITED(status) || WEXITSTATUS(status) != 0;
}
