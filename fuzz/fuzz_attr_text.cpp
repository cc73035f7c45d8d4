// Fuzz target: the parameter text parser into an attribute list, then
// lookups and the release of the list.
#include "attr_list.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

// Names whose values the parser translates or that the context asks for.
constexpr const char *kLookups[] = {"MediaSize", "PageSize", "MediaPageRotation", "a"};

// 'lookUp()' - Ask for one name and free the copy handed out.
void lookUp(const AttrNode *head, const char *name)
{
  int16_t updated = -1;
  char *value = attrGet(head, name, &updated);
  if (value != nullptr && updated != 0 && updated != 1)
    abort();
  free(value);
}

} // namespace

// 'LLVMFuzzerTestOneInput()' - Parse one fuzzed text and walk the list it gives.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
  std::string text(reinterpret_cast<const char *>(data), size); // NUL-terminated copy
  AttrNode *head = nullptr;
  int n = parseAttrText(&head, text.c_str());
  int nodes = 0;
  for (const AttrNode *node = head; node != nullptr; node = node->next) {
    if (node->name == nullptr || node->value == nullptr)
      abort();
    nodes++;
  }
  if (n >= 0 && nodes > n)
    abort(); // every node comes from a pair the parser counted
  for (const char *name : kLookups)
    lookUp(head, name);
  if (head != nullptr)
    lookUp(head, head->name);
  attrClearUpdated(head);
  attrFreeAll(head);
  return 0;
}
