// Decimal separator probe and adaptation for numeric job option values.
#include "decimal_separator.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {
static constexpr std::size_t kProbeSize = 8;
} // namespace

// 'probeSeparatorMode()' - Pick the mode from how 0.11 formats right now.
SeparatorMode probeSeparatorMode() {
  char *scratch = static_cast<char *>(std::malloc(kProbeSize));
  if (scratch == nullptr)
    return SeparatorMode::CommaToPoint;
  std::snprintf(scratch, kProbeSize, "%.2f", 0.11);
  SeparatorMode mode = SeparatorMode::None;
  if (std::strchr(scratch, ',') != nullptr)
    mode = SeparatorMode::PointToComma;
  else if (std::strchr(scratch, '.') != nullptr)
    mode = SeparatorMode::CommaToPoint;
  std::free(scratch);
  return mode;
}

// 'adaptDecimalSeparator()' - Replace the first separator of value (I/O) per mode.
void adaptDecimalSeparator(char *value, SeparatorMode mode) {
  if (value == nullptr || mode == SeparatorMode::None)
    return;
  char from = mode == SeparatorMode::PointToComma ? '.' : ',';
  char *at = std::strchr(value, from);
  if (at != nullptr)
    *at = mode == SeparatorMode::PointToComma ? ',' : '.';
}
