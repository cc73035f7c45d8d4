// Decimal separator of numeric job option values, adapted to the one the
// process formats numbers with.
#ifndef TOVEFILT_DECIMAL_SEPARATOR_H
#define TOVEFILT_DECIMAL_SEPARATOR_H

enum class SeparatorMode {
  None,         // values stay as they are
  PointToComma, // the first "." becomes ","
  CommaToPoint, // the first "," becomes "."
};

// Chooses the mode by formatting 0.11 with the current numeric formatting.
SeparatorMode probeSeparatorMode();

// Changes the first separator of value in place according to mode.
void adaptDecimalSeparator(char *value, SeparatorMode mode);

#endif // TOVEFILT_DECIMAL_SEPARATOR_H
