// Key tables of the job parameter string: which PPD text keys, PPD keywords
// and job options reach the module, and under which names.
#ifndef TOVEFILT_KEY_TABLES_H
#define TOVEFILT_KEY_TABLES_H

#include <span>

// Driver keys read from the PPD text (keyword lines and "*%QZUIValue:" lines).
std::span<const char *const> ppdTextKeys();

// PPD main keywords whose marked choice is passed on, in output order.
std::span<const char *const> markedChoiceKeys();

// Job options passed on under their own names.
std::span<const char *const> passOptionKeys();

// Job options whose value has its decimal separator adapted.
std::span<const char *const> decimalOptionKeys();

// Keys the user name argument goes out under, in output order.
std::span<const char *const> userArgumentKeys();

// Keys of the title and copies arguments.
inline constexpr const char kTitleArgumentKey[] = "QZDocName";
inline constexpr const char kCopiesArgumentKey[] = "QZCopies";

// True when name equals a row of table (exact case, whole text).
bool keyTableHas(std::span<const char *const> table, const char *name);

// keyTableHas(ppdTextKeys(), name), in a few comparisons.
bool isPpdTextKey(const char *name);

#endif // TOVEFILT_KEY_TABLES_H
