/*
 * Parameter text parser: splits "key=value;" pairs, with the "ps:" and
 * "updf:" modes, and records them in an attribute list.
 */
#include "attr_internal.h"
#include "media_size.h"

#include <cstring>

namespace {

enum class PairMode { Plain, Updf };

struct Pair {
  std::string_view key;
  std::string_view value;
};

// 'skipSpace()' - Drop the white space at the front of a slice.
std::string_view skipSpace(std::string_view text)	// I - Text
{
  size_t i = 0;
  while (i < text.size() && attrIsSpace(text[i]))
    i++;
  return text.substr(i);
}

// 'takePrefix()' - Consume a "ps:" or "updf:" prefix and switch the mode.
std::string_view takePrefix(std::string_view text,	// I  - Text
                            PairMode *mode)		// IO - Current mode
{
  if (text.starts_with("ps:")) {
    *mode = PairMode::Plain;
    return text.substr(3);
  }
  if (text.starts_with("updf:")) {
    *mode = PairMode::Updf;
    return text.substr(5);
  }
  return text;
}

// 'takePair()' - Cut the next pair off the text.
//
// The key runs to the first "=", so it may hold ";". Returns false when no
// "=" is left: that tail is not a pair.
bool takePair(std::string_view *text,	// IO - Remaining text
              Pair *pair)		// O  - Key and value
{
  size_t eq = text->find('=');
  if (eq == std::string_view::npos)
    return false;
  pair->key = text->substr(0, eq);
  std::string_view rest = skipSpace(text->substr(eq + 1));
  size_t semi = rest.find(';');
  if (semi == std::string_view::npos) {
    pair->value = rest;
    *text = rest.substr(rest.size());
  } else {
    pair->value = rest.substr(0, semi);
    *text = rest.substr(semi + 1);
  }
  return true;
}

// 'recordUpdf()' - Record a pair of updf mode, translating two keys.
int recordUpdf(AttrNode **head,		// IO - List head
               const Pair &pair)	// I  - Key and value
{
  if (pair.key == "MediaSize") {
    const char *pageSize = mediaSizeToPageSize(pair.value);
    return pageSize ? attrSetText(head, "PageSize", pageSize, 1) : 0;
  }
  if (pair.key == "MediaPageRotation")
    return attrSetText(head, "Orientation", pair.value, 1);
  return attrSetText(head, pair.key, pair.value, 1);
}

} // namespace

// 'parseAttrText()' - Record the pairs of a parameter text in the list.
//
// Returns the number of pairs taken, or -1 for a null text or when memory
// runs out (pairs recorded before that stay in the list).
int parseAttrText(AttrNode **head,	// IO - List head
                  const char *text)	// I  - Parameter text
{
  if (!text || !head)
    return -1;

  std::string_view rest(text, strlen(text));
  PairMode mode = PairMode::Plain;
  int count = 0;
  Pair pair;
  for (;;) {
    rest = takePrefix(skipSpace(rest), &mode);
    if (!takePair(&rest, &pair))
      break;
    int status = mode == PairMode::Plain
      ? attrSetText(head, pair.key, pair.value, 0)
      : recordUpdf(head, pair);
    if (status < 0)
      return -1;
    count++;
  }
  return count;
}
