/*
 * Attribute list of a pass-through output context, and the parser that
 * fills it from a parameter text ("key=value;" pairs).
 */
#ifndef TOVEFILT_ATTR_LIST_H
#define TOVEFILT_ATTR_LIST_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct AttrNode {
  char *name;    /* spelled as when the node was created */
  char *value;   /* current value */
  int16_t updated; /* 1 once the value has been replaced */
  int16_t origin;  /* 0 plain pair, 1 updf pair */
  struct AttrNode *next;
} AttrNode;

int parseAttrText(AttrNode **head, const char *text);
char *attrGet(const AttrNode *head, const char *name, int16_t *updated);
void attrUpdate(AttrNode *head, const char *name, const char *value,
                int16_t origin);
void attrSet(AttrNode **head, const char *name, const char *value,
             int16_t origin);
void attrFreeAll(AttrNode *head);
void attrClearUpdated(AttrNode *head);

#ifdef __cplusplus
}
#endif

#endif /* TOVEFILT_ATTR_LIST_H */
