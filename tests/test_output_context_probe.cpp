// Output context creation when the probe cannot tell: this program brings
// its own probe, so the module channel's probe is not linked in.
#include "process_state.h"
#include "qzpk.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <signal.h>

namespace {

int probeResult = 0;

} // namespace

// 'qzprocProbeModule()' - Stand-in probe answering what the test chose.
extern "C" int qzprocProbeModule(void)
{
  return probeResult;
}

TEST(OutputContextProbe, OnlyAnAbsentModuleGivesPassThrough)
{
  struct Case {
    const char *name;
    int probe;
    bool created;
  };
  const Case cases[] = {
      // No process could be created: the module's presence is unknown, and
      // pass-through would print the job's raw data.
      {"probe could not run", -1, false},
      {"module absent", 0, true},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    probeResult = c.probe;
    int fds = countOpenFds();
    OutputContext *ctx = qzpkNew(3, 9);
    EXPECT_EQ(ctx != nullptr, c.created);
    EXPECT_EQ(sigpipeBlocked(), c.created);
    if (ctx != nullptr) {
      EXPECT_EQ(ctx->mode, 0);
      EXPECT_EQ(ctx->outFd, 9);
      EXPECT_EQ(qzpkDestroy(ctx), 0);
    }
    EXPECT_FALSE(sigpipeBlocked());
    EXPECT_EQ(countOpenFds(), fds);
  }
}
