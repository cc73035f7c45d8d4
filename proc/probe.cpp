// Probe of the page description module; alone in its file so a test can
// link its own qzprocProbeModule instead.
#include "qzproc_internal.h"

// 'qzprocProbeModule()' - Tell whether the page description module can run.
int qzprocProbeModule(void)
{
  return qzprocProbeIn(qzprocModuleDir(), "yxpkmodulelumor", "yxpkmodulelumor");
}
