// A program that does nothing, linked like tovefilt: starting it costs what
// starting tovefilt costs before its first line runs (mostly dynamic loading).
#include <cups/cups.h>

// 'main()' - Keep one libcups reference so the library stays a dependency.
int main()
{
  int (*volatile keep)(const char *, int, cups_option_t **) = cupsParseOptions;
  return keep == nullptr ? 1 : 0;
}
