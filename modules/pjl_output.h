// The page description stand-in's output: the job's bytes in a PJL envelope.
#ifndef TOVEFILT_PJL_OUTPUT_H
#define TOVEFILT_PJL_OUTPUT_H

#include <cstddef>
#include <string>

struct PjlJob {
  int outFd = 1;
  std::string params;  // job parameter string from command 3, without its NUL
  bool started = false; // command 1 seen
  bool opened = false;  // envelope header written
  bool closed = false;  // envelope trailer written
};

void pjlStart(PjlJob *job);
void pjlData(PjlJob *job, const unsigned char *data, size_t n);
void pjlEnd(PjlJob *job);
void pjlTerminate(PjlJob *job);

// Envelope texts, open to the tests: header (language from the first data
// bytes, none when there are none) and trailer.
std::string pjlHeader(const std::string &params, const unsigned char *data, size_t n);
std::string pjlTrailer(const std::string &params);

#endif // TOVEFILT_PJL_OUTPUT_H
