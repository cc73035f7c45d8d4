// The library's error printer.
#include "qzpk.h"

#include <cstdarg>
#include <cstdio>

// 'printError()' - Write "ERROR: ", the formatted message and a newline to stderr.
void printError(const char *format, ...)
{
  va_list ap;
  fputs("ERROR: ", stderr);
  va_start(ap, format);
  vfprintf(stderr, format, ap);
  va_end(ap);
  fputc('\n', stderr);
}
