/*
 * Output context library: the object through which a job's data leaves
 * the filter, to a module program or straight to an output descriptor.
 */
#ifndef TOVEFILT_QZPK_H
#define TOVEFILT_QZPK_H

#include <stdint.h>
#include <sys/types.h>

#include "attr_list.h"
#include "qzproc.h"

#ifdef __cplusplus
extern "C" {
#endif

#define QZPK_BATCH_SIZE 4096

typedef struct OutputContext {
  int32_t mode;      /* 0 pass-through, 1 module */
  AttrNode *attrs;   /* pass-through attribute list, owned */
  int32_t outFd;     /* pass-through output descriptor */
  int32_t pageCount; /* pages counted in pass-through mode */
  pid_t childPid;    /* module child */
  ModuleFds fds;     /* the filter's pipe ends to the module */
  unsigned char batch[QZPK_BATCH_SIZE];
  int32_t batchLen;
} OutputContext;

/* Page set-up of a job: nine NUL-terminated texts. */
typedef struct PageAttr {
  char page_name[64];
  char page_orient[64];
  char resolution[64];
  char color_mode[64];
  char media_type[64];
  char toner_save[64];
  char bind_edge[64];
  char bind_edge_shift[64];
  char duplex[64];
} PageAttr;

OutputContext *qzpkNew(int format, int output);
int qzpkDestroy(OutputContext *ctx);
int qzpkSetJobAttr(OutputContext *ctx, const char *text);
int qzpkSetAttrCmd4(OutputContext *ctx, const char *text);
int qzpkSetAttrCmd6(OutputContext *ctx, const char *text);
int qzpkSetValueCmd18(OutputContext *ctx, int32_t value);
int qzpkSetValueCmd19(OutputContext *ctx, int32_t value);
int qzpkStartOutput(OutputContext *ctx);
int qzpkSendData(OutputContext *ctx, const void *data, int32_t length);
int qzpkFlushSendData(OutputContext *ctx);
int qzpkNextPage(OutputContext *ctx);
int qzpkEndOutput(OutputContext *ctx);
void printError(const char *format, ...)
    __attribute__((format(printf, 1, 2)));

int qzpkGetPageAttr(OutputContext *ctx, PageAttr *attr);

OutputContext *qzpkBidiNew(int format, int output, const char *optList);
int qzpkBidiDestroy(OutputContext *ctx);

#ifdef __cplusplus
}
#endif

#endif /* TOVEFILT_QZPK_H */
