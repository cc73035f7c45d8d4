// Command line of a fully started stand-in module.
#include "standin.h"

#include <cerrno>
#include <cstdlib>

namespace {

// 'parseNonNegative()' - Read a whole non-negative decimal number.
bool parseNonNegative(const char *text, int *value)
{
  char *end = nullptr;
  errno = 0;
  long v = strtol(text, &end, 10);
  if (errno != 0 || end == text || *end != '\0' || v < 0 || v > 1 << 30)
    return false;
  *value = static_cast<int>(v);
  return true;
}

struct NumberArg {
  std::string_view prefix;
  int StandinArgs::*field;
};

static constexpr NumberArg kNumberArgs[] = {
    {"--format=", &StandinArgs::format}, {"--output=", &StandinArgs::output},
    {"--cmd_fd=", &StandinArgs::cmdFd},  {"--res_fd=", &StandinArgs::resFd},
    {"--dat_fd=", &StandinArgs::datFd},
};

// 'parseOne()' - Take one argument into args; false when unknown or malformed.
bool parseOne(std::string_view arg, bool takesOptList, StandinArgs *args)
{
  static constexpr std::string_view kOptList = "--opt_list=";
  if (takesOptList && arg.starts_with(kOptList)) {
    args->hasOptList = true;
    args->optList = std::string(arg.substr(kOptList.size()));
    return true;
  }
  for (const NumberArg &n : kNumberArgs)
    if (arg.starts_with(n.prefix))
      return parseNonNegative(arg.data() + n.prefix.size(), &(args->*n.field));
  return false;
}

} // namespace

// 'standinParseArgs()' - Parse the five descriptor/number arguments (and --opt_list=).
bool standinParseArgs(int argc, char **argv, bool takesOptList, StandinArgs *args,
                      std::string *error)
{
  for (int i = 1; i < argc; i++) {
    if (!parseOne(argv[i], takesOptList, args)) {
      *error = std::string("bad argument '") + argv[i] + "'";
      return false;
    }
  }
  for (const NumberArg &n : kNumberArgs) {
    if (args->*n.field < 0) {
      *error = "missing argument " + std::string(n.prefix);
      return false;
    }
  }
  return true;
}
