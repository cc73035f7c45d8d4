/*
 * Internals of the output context library, shared by its sources and tests.
 */
#ifndef TOVEFILT_QZPK_INTERNAL_H
#define TOVEFILT_QZPK_INTERNAL_H

#include "qzpk.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Copy the known pairs of a command-17 reply payload into a record. */
void qzpkParsePageReply(const unsigned char *payload, int len, PageAttr *attr);

#ifdef __cplusplus
}
#endif

#endif /* TOVEFILT_QZPK_INTERNAL_H */
