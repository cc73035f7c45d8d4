// PJL envelope around the job's data, as a printer would take it.
#include "pjl_output.h"

#include "job_params.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

namespace {

constexpr std::string_view kUel = "\x1b%-12345X";

struct Language {
  std::string_view magic;
  std::string_view name;
};

static constexpr Language kLanguages[] = {{"%PDF", "PDF"}, {"%!", "POSTSCRIPT"}};

// 'languageOf()' - Name the page description language by its first bytes.
std::string_view languageOf(const unsigned char *data, size_t n)
{
  std::string_view head(reinterpret_cast<const char *>(data), data ? n : 0);
  for (const Language &l : kLanguages)
    if (head.starts_with(l.magic))
      return l.name;
  return {};
}

// 'pjlText()' - Make a value safe inside a PJL line: no quotes, no controls.
std::string pjlText(std::string_view v, bool upper)
{
  std::string out;
  for (char c : v) {
    auto u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7f || c == '"')
      c = '_';
    else if (upper && c >= 'a' && c <= 'z')
      c = static_cast<char>(c - 'a' + 'A');
    out += c;
  }
  return out;
}

// 'copiesOf()' - The copies entry when it is a plain positive number, else 1.
std::string copiesOf(const std::string &params)
{
  std::optional<std::string_view> v = jobParamValue(params, "QZCopies");
  if (!v || v->empty() || v->size() > 9 || v->find_first_not_of("0123456789") != std::string_view::npos)
    return "1";
  return std::string(*v);
}

// 'duplexLines()' - DUPLEX (and BINDING when on) from the Duplex choice.
std::string duplexLines(const std::string &params)
{
  std::optional<std::string_view> v = jobParamValue(params, "Duplex");
  if (!v)
    return {};
  if (*v == "None" || *v == "False")
    return "@PJL SET DUPLEX=OFF\r\n";
  // "DuplexNoTumble" binds on the long edge, "DuplexTumble" on the short one.
  bool tumble = v->find("Tumble") != std::string_view::npos &&
                v->find("NoTumble") == std::string_view::npos;
  return std::string("@PJL SET DUPLEX=ON\r\n@PJL SET BINDING=") +
         (tumble ? "SHORTEDGE" : "LONGEDGE") + "\r\n";
}

// 'writeOut()' - Write all bytes to the printer's descriptor.
void writeOut(PjlJob *job, const void *data, size_t n)
{
  auto *p = static_cast<const unsigned char *>(data);
  while (n > 0) {
    ssize_t w = write(job->outFd, p, n);
    if (w < 0 && errno == EINTR)
      continue;
    if (w <= 0)
      exit(1); // the printer side has gone; nothing more can be delivered
    p += w;
    n -= static_cast<size_t>(w);
  }
}

// 'openEnvelope()' - Write the header once, before the first data byte.
void openEnvelope(PjlJob *job, const unsigned char *data, size_t n)
{
  if (job->opened)
    return;
  std::string h = pjlHeader(job->params, data, n);
  writeOut(job, h.data(), h.size());
  job->opened = true;
}

} // namespace

// 'pjlHeader()' - UEL, job name, copies, duplex, paper and language lines.
std::string pjlHeader(const std::string &params, const unsigned char *data, size_t n)
{
  std::string h(kUel);
  h += "@PJL\r\n@PJL JOB NAME=\"";
  h += pjlText(jobParamValue(params, "QZDocName").value_or(""), false);
  h += "\"\r\n@PJL SET COPIES=" + copiesOf(params) + "\r\n";
  h += duplexLines(params);
  if (std::optional<std::string_view> paper = jobParamValue(params, "PageSize"))
    h += "@PJL SET PAPER=" + pjlText(*paper, true) + "\r\n";
  std::string_view lang = languageOf(data, n);
  if (!lang.empty())
    h += "@PJL ENTER LANGUAGE=" + std::string(lang) + "\r\n";
  return h;
}

// 'pjlTrailer()' - End of job and the closing UEL.
std::string pjlTrailer(const std::string &params)
{
  std::string t(kUel);
  t += "@PJL EOJ NAME=\"";
  t += pjlText(jobParamValue(params, "QZDocName").value_or(""), false);
  t += "\"\r\n";
  t += kUel;
  return t;
}

// 'pjlStart()' - Command 1: a new envelope opens with the next data.
void pjlStart(PjlJob *job)
{
  job->started = true;
  job->opened = false;
  job->closed = false;
}

// 'pjlData()' - Pass one chunk through unchanged, in one write.
void pjlData(PjlJob *job, const unsigned char *data, size_t n)
{
  openEnvelope(job, data, n);
  writeOut(job, data, n);
}

// 'pjlEnd()' - Command 2: close the envelope (an empty job still gets one).
void pjlEnd(PjlJob *job)
{
  if (!job->started && !job->opened)
    return;
  openEnvelope(job, nullptr, 0);
  if (!job->closed) {
    std::string t = pjlTrailer(job->params);
    writeOut(job, t.data(), t.size());
    job->closed = true;
  }
}

// 'pjlTerminate()' - Command 240: close an envelope left open by a stopped job.
void pjlTerminate(PjlJob *job)
{
  if (job->opened && !job->closed)
    pjlEnd(job);
}
