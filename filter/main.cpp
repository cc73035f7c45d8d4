//
// Entry of the tovefilt filter: arguments, job options, job parameter
// string, then the job's data streamed through one output context.
//
// Usage (CUPS filter convention):
//   tovefilt job-id user title copies options [file]
//

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include <fcntl.h>
#include <unistd.h>

#include <cups/cups.h>

#include "job_parameter.h"
#include "qzpk.h"

namespace {

// Set by the SIGTERM handler, read afresh by main at its three checks.
volatile sig_atomic_t stopRequested = 0;

// One buffer for every read of the job's data: nothing is allocated per block.
constexpr size_t kReadBufferSize = 65536;
unsigned char readBuffer[kReadBufferSize];

// What main holds for one job; cleanUp() releases what exists.
struct Job {
  cups_option_t *options = nullptr; // parsed job options (argument 5)
  int count = 0;                     // number of options
  int fd = 0;                        // data descriptor: 0 or the opened file
  char *param = nullptr;             // job parameter string
  OutputContext *ctx = nullptr;      // the job's output context
  int status = -1;                   // 0, 1, or -1 (exit status 255)
};

// 'handleSigterm()' - Note that the scheduler asked the job to stop.
void handleSigterm(int sig) // I - Signal number (unused)
{
  (void)sig;
  stopRequested = 1;
}

// 'writeMessage()' - Write a fixed message whole to standard error.
void writeMessage(std::string_view text) // I - Message with its newline
{
  fwrite(text.data(), 1, text.size(), stderr);
}

// 'installSigtermHandler()' - Catch SIGTERM without restarting interrupted calls.
bool installSigtermHandler() // O - true when installed
{
  struct sigaction action = {};
  action.sa_handler = handleSigterm;
  sigemptyset(&action.sa_mask);
  action.sa_flags = 0; // a blocking read or write then fails with EINTR
  return sigaction(SIGTERM, &action, nullptr) == 0;
}

// 'parseJobOptions()' - Parse argument 5 and build the job parameter string.
bool parseJobOptions(Job &job,           // IO - Job state
                     char *const argv[]) // I  - Argument vector (6 or 7 entries)
{
  if (argv[5] != nullptr) {
    job.count = cupsParseOptions(argv[5], 0, &job.options);
    if (job.count < 0) {
      writeMessage("ERROR: illegal option.\n");
      return false;
    }
  }
  job.param = makeJobParameter(job.options, job.count, argv[2], argv[3], argv[4]);
  if (job.param == nullptr) {
    writeMessage("ERROR: can't make parameter.\n");
    return false;
  }
  return true;
}

// 'startOutput()' - Create the output context, hand it the parameters, start output.
bool startOutput(Job &job) // IO - Job state
{
  job.ctx = qzpkNew(3, 1);
  if (job.ctx == nullptr) {
    writeMessage("ERROR: qzpkNew\n");
    return false;
  }
  if (qzpkSetJobAttr(job.ctx, job.param) < 0) {
    writeMessage("ERROR: qzpkSetJobAttr\n");
    return false;
  }
  if (qzpkStartOutput(job.ctx) < 0) {
    writeMessage("ERROR: qzpkStartOutput\n");
    return false;
  }
  return true;
}

// 'copyJobData()' - Pass every block read to the context until end, stop or failure.
int copyJobData(Job &job) // I - Job state; O - exit status for the loop's end
{
  for (;;) {
    if (stopRequested)
      return 0;
    ssize_t n = read(job.fd, readBuffer, sizeof readBuffer);
    if (n > 0) {
      if (qzpkSendData(job.ctx, readBuffer, static_cast<int32_t>(n)) < 0) {
        fprintf(stderr, "ERROR: tovefilt write error,%d.\n", errno);
        return -1;
      }
    } else if (n < 0) {
      fprintf(stderr, "ERROR: tovefilt read error,%d.\n", errno);
      return -1;
    } else {
      return 0;
    }
  }
}

// 'cleanUp()' - Release what the job holds, the data file last.
void cleanUp(Job &job) // IO - Job state
{
  if (job.ctx != nullptr)
    qzpkDestroy(job.ctx); // also ends and waits for the module child
  free(job.param);
  if (job.options != nullptr)
    cupsFreeOptions(job.count, job.options);
  if (job.fd > 0) // standard input belongs to the scheduler
    close(job.fd);
}

// 'runJob()' - Stream the data and end the output unless a stop was requested.
void runJob(Job &job) // IO - Job state
{
  if (!startOutput(job))
    return;
  job.status = copyJobData(job);
  if (stopRequested)
    return; // a stopped job's output is never ended
  if (qzpkEndOutput(job.ctx) < 0)
    job.status = -1;
}

} // namespace

// 'main()' - Run one print job through the output context.
int main(int argc,    // I - Number of arguments
         char *argv[]) // I - Arguments
{
  if (!installSigtermHandler()) {
    writeMessage("ERROR: tovefilt could not register signal hander.\n");
    return 1;
  }
  if (argc != 6 && argc != 7)
    return -1;

  Job job;
  if (argc == 7) {
    job.fd = open(argv[6], O_RDONLY);
    if (job.fd < 0)
      return -1; // cppcheck-suppress memleak ; a failed open holds nothing
  }

  if (parseJobOptions(job, argv)) {
    if (stopRequested)
      job.status = -1; // stopped before any output existed
    else
      runJob(job);
  }
  cleanUp(job);
  return job.status;
}
