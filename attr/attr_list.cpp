/*
 * Attribute list: lookup, update, creation and release of AttrNode records.
 *
 * Names are compared without regard to ASCII letter case. Every text the
 * list holds or hands out is its own malloc'ed copy.
 */
#include "attr_internal.h"

#include <cstdlib>
#include <cstring>

namespace {

// 'asciiLower()' - Fold an ASCII capital to lower case, leave other bytes.
constexpr char asciiLower(char c)	// I - Byte to fold
{
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// 'sameName()' - Compare two names without regard to ASCII letter case.
bool sameName(std::string_view a,	// I - First name
              std::string_view b)	// I - Second name
{
  if (a.size() != b.size())
    return false;
  for (size_t i = 0; i < a.size(); i++)
    if (asciiLower(a[i]) != asciiLower(b[i]))
      return false;
  return true;
}

// 'copyText()' - Make a NUL-terminated heap copy of a slice, or null.
//
// Plain malloc on purpose: the out-of-memory test interposes it.
char *copyText(std::string_view text)	// I - Text to copy
{
  char *copy = static_cast<char *>(malloc(text.size() + 1));
  if (!copy)
    return nullptr;
  if (!text.empty())
    memcpy(copy, text.data(), text.size());
  copy[text.size()] = '\0';
  return copy;
}

// 'findNode()' - Find the first node, from the head, with the given name.
AttrNode *findNode(AttrNode *head,	// I - List head
                   std::string_view name)	// I - Name to find
{
  for (AttrNode *node = head; node; node = node->next)
    if (sameName(node->name, name))
      return node;
  return nullptr;
}

// 'updateNodes()' - Give every node of that name a copy of the value.
//
// Returns -1 when a copy cannot be made; the node at hand and those after
// it keep their old value. Lists built by attrSet hold each name once, so
// for them the update is all or nothing.
int updateNodes(AttrNode *head,		// I - List head
                std::string_view name,	// I - Name to update
                std::string_view value,	// I - New value
                int16_t origin)		// I - Origin to record
{
  for (AttrNode *node = head; node; node = node->next) {
    if (!sameName(node->name, name))
      continue;
    char *copy = copyText(value);
    if (!copy)
      return -1;
    free(node->value);
    node->value = copy;
    node->updated = 1;
    node->origin = origin;
  }
  return 0;
}

// 'newNode()' - Make a node with copies of name and value, or null.
AttrNode *newNode(std::string_view name,	// I - Name
                  std::string_view value,	// I - Value
                  int16_t origin)		// I - Origin
{
  AttrNode *node = static_cast<AttrNode *>(malloc(sizeof(AttrNode)));
  if (!node)
    return nullptr;
  node->name = copyText(name);
  node->value = copyText(value);
  if (!node->name || !node->value) {
    free(node->name);
    free(node->value);
    free(node);
    return nullptr;
  }
  node->updated = 0;
  node->origin = origin;
  node->next = nullptr;
  return node;
}

} // namespace

// 'attrSetText()' - Set or create an attribute from two text slices.
int attrSetText(AttrNode **head,		// IO - List head
                std::string_view name,		// I  - Name
                std::string_view value,		// I  - Value
                int16_t origin)			// I  - Origin
{
  if (!head)
    return -1;
  if (findNode(*head, name))
    return updateNodes(*head, name, value, origin);

  AttrNode *node = newNode(name, value, origin);
  if (!node)
    return -1;
  node->next = *head;
  *head = node;
  return 0;
}

// 'attrGet()' - Return a heap copy of an attribute's value, or null.
char *attrGet(const AttrNode *head,	// I - List head
              const char *name,		// I - Name to find
              int16_t *updated)		// O - Node's updated flag, or null
{
  if (!name)
    return nullptr;
  const AttrNode *node = findNode(const_cast<AttrNode *>(head), name);
  if (!node)
    return nullptr;
  char *copy = copyText(node->value);
  if (copy && updated)
    *updated = node->updated;
  return copy;
}

// 'attrUpdate()' - Replace the value of every node with the given name.
void attrUpdate(AttrNode *head,		// I - List head
                const char *name,	// I - Name to update
                const char *value,	// I - New value
                int16_t origin)		// I - Origin to record
{
  if (name && value)
    updateNodes(head, name, value, origin);
}

// 'attrSet()' - Update an attribute, or put a new one in front of the head.
void attrSet(AttrNode **head,		// IO - List head
             const char *name,		// I  - Name
             const char *value,		// I  - Value
             int16_t origin)		// I  - Origin
{
  if (name && value)
    attrSetText(head, name, value, origin);
}

// 'attrFreeAll()' - Release every node and its texts.
void attrFreeAll(AttrNode *head)	// I - List head
{
  while (head) {
    AttrNode *next = head->next;
    free(head->name);
    free(head->value);
    free(head);
    head = next;
  }
}

// 'attrClearUpdated()' - Reset the updated flag of every node.
void attrClearUpdated(AttrNode *head)	// I - List head
{
  for (AttrNode *node = head; node; node = node->next)
    node->updated = 0;
}
