/*
 * Translation of IPP media size names and custom sizes into PPD page size
 * names, used by the parameter text parser in updf mode.
 */
#ifndef TOVEFILT_MEDIA_SIZE_H
#define TOVEFILT_MEDIA_SIZE_H

#include <string_view>

// 'mediaSizeToPageSize()' - Translate a MediaSize value into a PPD page
//                           size name, or null when neither table has it.
const char *mediaSizeToPageSize(std::string_view value);

// 'mediaReadDecimal()' - Read a base-10 integer the way strtol does.
long mediaReadDecimal(std::string_view text);

#endif // TOVEFILT_MEDIA_SIZE_H
