// Runs two or more commands in interleaved rounds (A B, B A, A B ...) and
// reports, per command, the median wall time, the median of its per-round
// ratio to the first command, and the median peak RSS. Shared, noisy
// machines move absolute times a lot; paired ratios hold.
//
//   pairrun [-n rounds] [-w warmups] CMD...
//
// A CMD is one text: leading NAME=value words set the environment, "<file",
// ">file" and "2>file" redirect, '...' quotes, the other words are the argument vector. A CMD that
// holds "|", "&&" or ";" is run by bash -o pipefail -c instead, so that a
// failing stage fails the run. Each line of output:
//   cmd <k> median_s <t> ratio <r> maxrss_kb <m> status <s> rounds_s <t1,t2,...>
// where rounds_s lists the command's time in each round, in round order.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>
#include <vector>

extern char **environ;

namespace {

struct Command {
  std::vector<std::string> argv;
  std::vector<std::string> env;
  std::string in, out, err;
};

struct Sample {
  double seconds;
  long maxrssKb;
  int status;
};

// 'splitWords()' - Split a text at blanks; '...' quotes a part of a word.
std::vector<std::string> splitWords(const std::string &text)
{
  std::vector<std::string> words;
  size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && text[i] == ' ')
      i++;
    if (i == text.size())
      break;
    std::string word;
    while (i < text.size() && text[i] != ' ') {
      if (text[i] == '\'') {
        size_t end = text.find('\'', i + 1);
        end = end == std::string::npos ? text.size() : end;
        word += text.substr(i + 1, end - i - 1);
        i = end + 1;
      } else
        word += text[i++];
    }
    words.push_back(word);
  }
  return words;
}

// 'parseCommand()' - Turn a command text into argv, environment and redirections.
Command parseCommand(const std::string &text)
{
  Command c;
  if (text.find('|') != std::string::npos || text.find("&&") != std::string::npos ||
      text.find(';') != std::string::npos) {
    c.argv = {"/bin/bash", "-o", "pipefail", "-c", text};
    return c;
  }
  std::vector<std::string> words = splitWords(text);
  size_t i = 0;
  for (; i < words.size() && words[i].find('=') != std::string::npos && words[i][0] != '<' &&
         words[i][0] != '>';
       i++)
    c.env.push_back(words[i]);
  for (; i < words.size(); i++) {
    if (words[i].rfind("2>", 0) == 0)
      c.err = words[i].size() > 2 ? words[i].substr(2) : words[++i];
    else if (words[i][0] == '<')
      c.in = words[i].size() > 1 ? words[i].substr(1) : words[++i];
    else if (words[i][0] == '>')
      c.out = words[i].size() > 1 ? words[i].substr(1) : words[++i];
    else
      c.argv.push_back(words[i]);
  }
  return c;
}

// 'environmentFor()' - The runner's environment with the command's assignments on top.
std::vector<std::string> environmentFor(const Command &c)
{
  std::vector<std::string> env;
  for (char **e = environ; *e; e++) {
    std::string entry = *e;
    std::string name = entry.substr(0, entry.find('='));
    bool overridden = std::any_of(c.env.begin(), c.env.end(), [&](const std::string &a) {
      return a.substr(0, a.find('=')) == name;
    });
    if (!overridden)
      env.push_back(entry);
  }
  env.insert(env.end(), c.env.begin(), c.env.end());
  return env;
}

// 'now()' - Monotonic time in seconds.
double now()
{
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

// 'runOnce()' - Start a command, wait for it, and measure it.
bool runOnce(const Command &c, Sample &s)
{
  std::vector<std::string> env = environmentFor(c);
  std::vector<char *> argv, envp;
  for (const std::string &a : c.argv)
    argv.push_back(const_cast<char *>(a.c_str()));
  argv.push_back(nullptr);
  for (const std::string &e : env)
    envp.push_back(const_cast<char *>(e.c_str()));
  envp.push_back(nullptr);
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  if (!c.in.empty())
    posix_spawn_file_actions_addopen(&fa, 0, c.in.c_str(), O_RDONLY, 0);
  if (!c.out.empty())
    posix_spawn_file_actions_addopen(&fa, 1, c.out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (!c.err.empty())
    posix_spawn_file_actions_addopen(&fa, 2, c.err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  pid_t pid;
  double start = now();
  int err = posix_spawnp(&pid, argv[0], &fa, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&fa);
  if (err != 0) {
    fprintf(stderr, "pairrun: cannot start %s: %s\n", argv[0], strerror(err));
    return false;
  }
  int status;
  rusage ru;
  while (wait4(pid, &status, 0, &ru) < 0)
    if (errno != EINTR)
      return false;
  s.seconds = now() - start;
  s.maxrssKb = ru.ru_maxrss;
  if (!WIFEXITED(status) || WEXITSTATUS(status) == 127) {
    fprintf(stderr, "pairrun: %s failed (status %d)\n", argv[0], status);
    return false;
  }
  s.status = WEXITSTATUS(status);
  return true;
}

// 'median()' - The median of a list of numbers.
double median(std::vector<double> v)
{
  std::sort(v.begin(), v.end());
  size_t n = v.size();
  return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

} // namespace

// 'main()' - Run the rounds and print one line per command.
int main(int argc, char **argv)
{
  int rounds = 5, warmups = 1, opt;
  while ((opt = getopt(argc, argv, "n:w:")) != -1) {
    if (opt == 'n')
      rounds = static_cast<int>(strtol(optarg, nullptr, 10));
    else if (opt == 'w')
      warmups = static_cast<int>(strtol(optarg, nullptr, 10));
    else
      return 2;
  }
  std::vector<Command> cmds;
  for (int i = optind; i < argc; i++)
    cmds.push_back(parseCommand(argv[i]));
  size_t k = cmds.size();
  if (k == 0 || rounds < 1)
    return 2;
  std::vector<std::vector<Sample>> samples(k);
  for (int r = -warmups; r < rounds; r++) {
    // Rotate the starting command each round so no command always goes first.
    size_t first = static_cast<size_t>(r + warmups) % k;
    for (size_t j = 0; j < k; j++) {
      size_t i = (first + j) % k;
      Sample s;
      if (!runOnce(cmds[i], s))
        return 1;
      if (r >= 0)
        samples[i].push_back(s);
    }
  }
  for (size_t i = 0; i < k; i++) {
    std::vector<double> t, ratio, rss;
    for (int r = 0; r < rounds; r++) {
      t.push_back(samples[i][r].seconds);
      ratio.push_back(samples[i][r].seconds / samples[0][r].seconds);
      rss.push_back(static_cast<double>(samples[i][r].maxrssKb));
    }
    std::string each;
    for (double v : t)
      each += (each.empty() ? "" : ",") + std::to_string(v);
    printf("cmd %zu median_s %.6f ratio %.4f maxrss_kb %.0f status %d rounds_s %s\n", i,
           median(t), median(ratio), median(rss), samples[i][0].status, each.c_str());
  }
  return 0;
}
