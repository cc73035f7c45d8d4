/*
 * Internals of the attribute list shared by its source files and tests.
 */
#ifndef TOVEFILT_ATTR_INTERNAL_H
#define TOVEFILT_ATTR_INTERNAL_H

#include "attr_list.h"

#include <string_view>

// 'attrIsSpace()' - Tell white space the way isspace does in the C locale.
//
// Written out so that bytes above 0x7F never count, whatever the locale.
constexpr bool attrIsSpace(char c)	// I - Byte to test
{
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' ||
         c == '\r';
}

// 'attrSetText()' - Set or create an attribute from two text slices.
//
// Same rules as attrSet(); returns 0, or -1 when memory ran out, in which
// case the list is left as it was.
int attrSetText(AttrNode **head, std::string_view name,
                std::string_view value, int16_t origin);

#endif // TOVEFILT_ATTR_INTERNAL_H
