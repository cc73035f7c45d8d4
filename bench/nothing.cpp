// A program that does nothing, linked like tovefilt: starting it costs what
// starting tovefilt costs before its first line runs (mostly dynamic loading).
#include <cups/cups.h>
#include <new>

// 'main()' - Keep one libcups and one C++ runtime reference, as tovefilt has.
int main()
{
  int (*volatile keep)(const char *, int, cups_option_t **) = cupsParseOptions;
  void *(*volatile keepNew)(std::size_t) = ::operator new;
  return keep == nullptr || keepNew == nullptr ? 1 : 0;
}
