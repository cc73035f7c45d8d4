// Trace hook of the module channel's failure points.
#include "qzproc.h"

// 'debugTrace()' - Receive a fixed failure text; deliberately writes nothing.
void debugTrace(const char *text)
{
  (void)text;
}
