/*
 * MediaSize translation: IPP media size names through MediaNameMap, custom
 * sizes by their dimensions through CustomSizeTable.
 */
#include "media_size.h"
#include "attr_internal.h"

#include <climits>
#include <cstdint>
#include <optional>

namespace {

struct MediaNameRow {
  const char *ippName;			// PWG self-describing media size name
  const char *ppdName;			// PPD page size name
};

static constexpr MediaNameRow MediaNameMap[] = {
  {"iso_a3_297x420mm", "A3"},
  {"iso_a4_210x297mm", "A4"},
  {"jis_b4_257x364mm", "B4"},
  {"jis_b5_182x257mm", "B5"},
  {"na_letter_8.5x11in", "Letter"},
  {"na_legal_8.5x14in", "Legal"},
  {"jpn_hagaki_100x148mm", "Postcard"},
  {"iso_a5_148x210mm", "A5"},
  {"iso_dl_110x220mm", "dl_envelope"},
  {"iso_b5_176x250mm", "envelope_b5"},
  {"iso_c5_162x229mm", "envelope_c5"},
  {"jpn_oufuku_148x200mm", "dbl_postcard"},
  {"na_number-10_4.125x9.5in", "Com10"},
  {"na_executive_7.25x10.5in", "Executive"},
  {"na_monarch_3.875x7.5in", "Monarch"},
  {"na_invoice_5.5x8.5in", "Statement"},
  {"na_ledger_11x17in", "Ledger"},
  {"jpn_you4_105x235mm", "jenv_you4"},
  {"jpn_kaku2_240x332mm", "jenv_kaku2"},
  {"jpn_chou3_120x235mm", "jenv_chou3"},
  {"jpn_chou4_90x205mm", "jenv_chou4"},
  {"jpn_chou40_90x225mm", "jenv_chou40"},
  {"na_arch-b_12x18in", "12x18"},
  {nullptr, nullptr},
};

struct CustomSizeRow {
  const char *ppdName;			// PPD page size name
  int32_t first;			// first dimension, whole mm
  int32_t second;			// second dimension, whole mm
};

static constexpr CustomSizeRow CustomSizeTable[] = {
  {"SRA3", 450, 320},
  {"4x_postcard", 200, 296},
  {"13x19", 482, 330},
  {"jenv_you2", 162, 114},
  {nullptr, 0, 0},
};

// 'lookupMediaName()' - Find an IPP name in MediaNameMap (exact, whole).
const char *lookupMediaName(std::string_view ippName)	// I - IPP name
{
  for (const MediaNameRow *row = MediaNameMap; row->ippName; row++)
    if (ippName == row->ippName)
      return row->ppdName;
  return nullptr;
}

// 'lookupCustomSize()' - Find exact dimensions in CustomSizeTable.
const char *lookupCustomSize(long first,	// I - First number, mm
                             long second)	// I - Second number, mm
{
  for (const CustomSizeRow *row = CustomSizeTable; row->ppdName; row++)
    if (row->first == first && row->second == second)
      return row->ppdName;
  return nullptr;
}

// 'inchesToMm()' - Convert whole inches to mm, halves rounded up.
//
// Empty when the result lies outside 32 bits: no table row can match it,
// and converting it to an integer would be undefined.
std::optional<long> inchesToMm(long inches)	// I - Inches
{
  double mm = static_cast<double>(inches) * 25.4 + 0.5;
  if (!(mm > static_cast<double>(INT32_MIN) - 1.0 &&
        mm < static_cast<double>(INT32_MAX) + 1.0))
    return std::nullopt;
  return static_cast<long>(mm);
}

// 'digitRun()' - Length of the run of ASCII digits at the start of text.
size_t digitRun(std::string_view text)	// I - Text
{
  size_t n = 0;
  while (n < text.size() && text[n] >= '0' && text[n] <= '9')
    n++;
  return n;
}

// 'customSize()' - Translate a "custom..._<n>x<n><unit>" name, or null.
const char *customSize(std::string_view value)	// I - Value after "custom"
{
  size_t underscore = value.rfind('_');
  if (underscore == std::string_view::npos)
    return nullptr;
  std::string_view size = value.substr(underscore + 1);
  size_t x = size.find('x');
  if (x == std::string_view::npos)
    return nullptr;

  std::string_view rest = size.substr(x + 1);
  size_t digits = digitRun(rest);
  std::string_view unit = rest.substr(digits);
  long first = mediaReadDecimal(size.substr(0, x));
  long second = mediaReadDecimal(rest.substr(0, digits));

  if (unit == "mm")
    return lookupCustomSize(first, second);
  if (unit != "in")
    return nullptr;
  std::optional<long> firstMm = inchesToMm(first);
  std::optional<long> secondMm = inchesToMm(second);
  if (!firstMm || !secondMm)
    return nullptr;
  return lookupCustomSize(*firstMm, *secondMm);
}

} // namespace

// 'mediaReadDecimal()' - Read a base-10 integer the way strtol does.
//
// Leading white space and one sign are accepted, reading stops at the first
// non-digit, no digits read as 0, and out-of-range values saturate at
// LONG_MIN / LONG_MAX. Works on a slice, so it never reads past its end.
long mediaReadDecimal(std::string_view text)	// I - Text to read
{
  size_t i = 0;
  while (i < text.size() && attrIsSpace(text[i]))
    i++;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-'))
    negative = text[i++] == '-';

  const unsigned long limit = negative
    ? static_cast<unsigned long>(LONG_MAX) + 1UL
    : static_cast<unsigned long>(LONG_MAX);
  unsigned long magnitude = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; i++) {
    unsigned long digit = static_cast<unsigned long>(text[i] - '0');
    if (magnitude > (limit - digit) / 10) {
      magnitude = limit;
      break;
    }
    magnitude = magnitude * 10 + digit;
  }

  if (!negative)
    return static_cast<long>(magnitude);
  if (magnitude == limit)
    return LONG_MIN;
  return -static_cast<long>(magnitude);
}

// 'mediaSizeToPageSize()' - Translate a MediaSize value into a PPD page
//                           size name, or null when neither table has it.
const char *mediaSizeToPageSize(std::string_view value)	// I - MediaSize value
{
  if (const char *ppdName = lookupMediaName(value))
    return ppdName;
  if (!value.starts_with("custom"))
    return nullptr;
  return customSize(value.substr(6));
}
