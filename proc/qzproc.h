/*
 * Module channel: probing and starting a module program with three pipes,
 * the command/response/data wire format, and the packet buffer.
 */
#ifndef TOVEFILT_QZPROC_H
#define TOVEFILT_QZPROC_H

#include <stdint.h>
#include <sys/types.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Command codes (16-bit on the wire). */
enum {
  CMD_START_OUTPUT = 1,
  CMD_END_OUTPUT = 2,
  CMD_SET_JOB_ATTR = 3,
  CMD_ATTR_4 = 4,
  CMD_ATTR_6 = 6,
  CMD_SEND_DATA = 7,
  CMD_FLUSH_SEND_DATA = 8,
  CMD_NEXT_PAGE = 16,
  CMD_GET_PAGE_ATTR = 17,
  CMD_VALUE_18 = 18,
  CMD_VALUE_19 = 19,
  CMD_TERMINATE = 240
};

/* Largest payload a command can carry: its length field holds 16 bits. */
#define QZPROC_MAX_PAYLOAD 65535

/* The filter's ends of the three pipes to one module child. */
typedef struct ModuleFds {
  int cmd_fd; /* write end of the command pipe */
  int res_fd; /* read end of the result pipe */
  int dat_fd; /* write end of the data pipe */
} ModuleFds;

/* Fixed-capacity byte buffer with one cursor shared by puts and gets. */
typedef struct PacketBuffer {
  unsigned char *data; /* capacity bytes, zero-filled at creation */
  int32_t capacity;
  uint8_t bigEndian; /* 0 little-endian, 1 big-endian */
  int32_t pos;
} PacketBuffer;

PacketBuffer *pbufCreate(int capacity, int bigEndian);
void pbufFree(PacketBuffer *buf);
unsigned char *pbufData(PacketBuffer *buf);
int pbufPos(const PacketBuffer *buf);
int pbufSetPos(PacketBuffer *buf, int pos);
int pbufCapacity(const PacketBuffer *buf);
int pbufPutByte(PacketBuffer *buf, int value);
int pbufPutShort(PacketBuffer *buf, int16_t value);
int pbufPutLong(PacketBuffer *buf, int64_t value);
int pbufPutInt(PacketBuffer *buf, int value);
int pbufPutBytes(PacketBuffer *buf, const void *src, int n);
int pbufGetByte(PacketBuffer *buf, uint8_t *value);
int pbufGetShort(PacketBuffer *buf, int16_t *value);
int pbufGetLong(PacketBuffer *buf, int64_t *value);
int pbufGetInt(PacketBuffer *buf, int *value);
int pbufGetBytes(PacketBuffer *buf, void *dst, int n);

int qzprocProbeModule(void);
int qzprocStartModule(pid_t *pid, ModuleFds *fds, int format, int output);
int qzprocStartBidi(pid_t *pid, ModuleFds *fds, int format, int output,
                    const char *optList);
int qzprocWriteCommand(ModuleFds fds, uint16_t code, const void *payload,
                       int length);
int qzprocWriteData(ModuleFds fds, const void *data, int count);
int qzprocReadResponse(ModuleFds fds, int expected, int *payloadLen,
                       unsigned char **payload);
void debugTrace(const char *text);
int qzprocKill(pid_t pid);

#ifdef __cplusplus
}
#endif

#endif /* TOVEFILT_QZPROC_H */
