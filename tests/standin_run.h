// Test helpers for talking to the stand-in modules: a private temporary
// directory holding the trace, the fault rules in the environment, and a
// quiet standard output for the children, which inherit it.
#ifndef TOVEFILT_TESTS_STANDIN_RUN_H
#define TOVEFILT_TESTS_STANDIN_RUN_H

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

// One stand-in session: trace file and fault rules set while it lives.
struct StandinRun {
  std::string dir;
  std::string trace;

  explicit StandinRun(const char *faults = nullptr) {
    const char *tmp = getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") +
                          "/tovefilt-standin-XXXXXX";
    if (mkdtemp(pattern.data()))
      dir = pattern;
    trace = dir + "/trace";
    setenv("TOVEFILT_STANDIN_TRACE", trace.c_str(), 1);
    if (faults)
      setenv("TOVEFILT_STANDIN_FAULTS", faults, 1);
    else
      unsetenv("TOVEFILT_STANDIN_FAULTS");
  }

  ~StandinRun() {
    unsetenv("TOVEFILT_STANDIN_TRACE");
    unsetenv("TOVEFILT_STANDIN_FAULTS");
    unlink(trace.c_str());
    unlink((dir + "/stdout").c_str());
    rmdir(dir.c_str());
  }

  StandinRun(const StandinRun &) = delete;
  StandinRun &operator=(const StandinRun &) = delete;

  // The trace written so far, one entry a line.
  std::vector<std::string> lines() const {
    std::vector<std::string> out;
    std::ifstream in(trace);
    for (std::string line; std::getline(in, line);)
      out.push_back(line);
    return out;
  }

  // The trace lines that begin with a prefix.
  std::vector<std::string> linesWith(const std::string &prefix) const {
    std::vector<std::string> out;
    for (const std::string &line : lines())
      if (line.compare(0, prefix.size(), prefix) == 0)
        out.push_back(line);
    return out;
  }

  // Run a step that starts a child with standard output sent to a file, so
  // that what the stand-in prints does not mix with the test's report.
  template <typename Step> auto quietly(Step step) {
    fflush(stdout);
    int saved = dup(1);
    int file = open((dir + "/stdout").c_str(),
                    O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    dup2(file, 1);
    close(file);
    auto result = step();
    dup2(saved, 1);
    close(saved);
    return result;
  }
};

#endif // TOVEFILT_TESTS_STANDIN_RUN_H
