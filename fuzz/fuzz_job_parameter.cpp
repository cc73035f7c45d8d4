// Fuzz target: the whole job parameter builder over a PPD made of the input,
// with a fixed job option set that reaches the job option, decimal separator
// and argument entries.
#include "job_parameter.h"
#include "ppd_text_pass.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

namespace {

// The options mix marked choices, renamed, passed and decimal-adapted ones.
constexpr const char *kJobOptions =
    "PageSize=A4 Duplex=DuplexNoTumble InputSlot=Tray1 Collate=True "
    "QZBindEdgeShift=1,5 QZCopies=2 media=iso_a4_210x297mm sides=two-sided-long-edge";

// 'ppdPath()' - The temporary PPD of this process, created once.
const std::string &ppdPath()
{
  static const std::string path = [] {
    const char *tmp = getenv("TMPDIR");
    std::string p = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") +
                    "/tovefilt-fuzz-ppd-" + std::to_string(getpid()) + ".ppd";
    setenv("PPD", p.c_str(), 1);
    return p;
  }();
  return path;
}

// 'removePpd()' - Remove the temporary PPD when the process ends.
void removePpd()
{
  unlink(ppdPath().c_str());
}

// 'writeFile()' - Replace the file at path with the given bytes; false on failure.
bool writeFile(const std::string &path, const uint8_t *data, size_t size)
{
  FILE *f = fopen(path.c_str(), "wb");
  if (f == nullptr)
    return false;
  bool ok = size == 0 || fwrite(data, 1, size, f) == size;
  return fclose(f) == 0 && ok;
}

// 'pieceOf()' - Check the piece reader on the input's first line-sized piece.
void pieceOf(const uint8_t *data, size_t size)
{
  char piece[kPpdPieceSize] = {};
  if (size > 0)
    memcpy(piece, data, size < sizeof(piece) - 1 ? size : sizeof(piece) - 1);
  PpdPieceFields fields;
  if (piece[0] == '*' && readPpdPiece(piece, &fields)) {
    if (strlen(fields.key) >= kPpdFieldSize || strlen(fields.value) >= kPpdFieldSize)
      abort();
  }
}

} // namespace

// 'LLVMFuzzerTestOneInput()' - Build the parameter string from one fuzzed PPD.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
  // The path is made before the exit handler is registered, so that it is
  // destroyed after the handler has used it.
  static const bool registered = (ppdPath(), atexit(removePpd) == 0);
  (void)registered;
  pieceOf(data, size);
  if (!writeFile(ppdPath(), data, size))
    return 0;
  cups_option_t *options = nullptr;
  int count = cupsParseOptions(kJobOptions, 0, &options);
  char *text = makeJobParameter(options, count, "fuzz user", "fuzz;title=x", "3");
  if (text != nullptr) {
    // Every entry ends in ";" and the text is never empty.
    size_t n = strlen(text);
    if (n == 0 || text[n - 1] != ';')
      abort();
    free(text);
  }
  cupsFreeOptions(count, options);
  return 0;
}
