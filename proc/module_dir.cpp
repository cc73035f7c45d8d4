// Where the module programs live; this file is built once per module directory.
#include "qzproc_internal.h"

#ifndef TOVEFILT_MODULE_DIR
#error "TOVEFILT_MODULE_DIR must name the module directory, with its trailing slash"
#endif

// 'qzprocModuleDir()' - Return the module directory baked in at build time.
const char *qzprocModuleDir(void)
{
  return TOVEFILT_MODULE_DIR;
}
