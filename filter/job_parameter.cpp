// Builder of the job parameter string: PPD text entries, marked PPD choices,
// selected job options and the user, title and copies arguments.
#include "job_parameter.h"

#include "decimal_separator.h"
#include "key_tables.h"
#include "ppd_text_pass.h"

// libcups 2.4 marks its PPD API deprecated, yet it is the one way to the
// marked choices. GCC warns at each call, not at the declaration, so the
// warning stays off from this include to the end of this file, its only user.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#include <cups/ppd.h>

#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

// Closes the PPD handle on every way out.
struct PpdCloser {
  void operator()(ppd_file_t *ppd) const { ppdClose(ppd); }
};
using PpdHandle = std::unique_ptr<ppd_file_t, PpdCloser>;

// One pass over the entries: measures while buf is null, else writes.
struct EntryWriter {
  char *buf;               // result buffer, or null while measuring
  std::size_t capacity;    // bytes in buf
  std::size_t length;      // characters measured or written so far
  SeparatorMode separator; // used when writing job option values
};

// 'putText()' - Append text (I); with mend, each ";" goes out as "," instead.
void putText(EntryWriter *w, const char *text, bool mend) {
  std::size_t n = std::strlen(text);
  if (w->buf != nullptr && w->length + n < w->capacity) {
    char *out = w->buf + w->length;
    for (std::size_t i = 0; i < n; ++i)
      out[i] = (mend && text[i] == ';') ? ',' : text[i];
  }
  w->length += n;
}

// 'putEntry()' - Append "key=value;"; a submitter's value (mend) cannot end its entry early.
void putEntry(EntryWriter *w, const char *key, const char *value, bool mend) {
  putText(w, key, false);
  putText(w, "=", false);
  putText(w, value, mend);
  putText(w, ";", false);
}

// 'putMarkedChoices()' - Append the marked choice keyword of each listed PPD keyword.
void putMarkedChoices(EntryWriter *w, ppd_file_t *ppd) {
  for (const char *keyword : markedChoiceKeys()) {
    const ppd_choice_t *choice = ppdFindMarkedChoice(ppd, keyword);
    if (choice != nullptr)
      putEntry(w, keyword, choice->choice, false);
  }
}

// 'putJobOptions()' - Append the passed-on job options, adapting decimals when writing.
void putJobOptions(EntryWriter *w, cups_option_t *options, int count) {
  for (int i = 0; i < count; ++i) {
    cups_option_t *option = &options[i];
    if (option->name == nullptr)
      continue;
    // The caller's value changes only on the way to a result, never while measuring.
    if (w->buf != nullptr && keyTableHas(decimalOptionKeys(), option->name))
      adaptDecimalSeparator(option->value, w->separator);
    const char *key = renameOption(option->name);
    if (key == nullptr && keyTableHas(passOptionKeys(), option->name))
      key = option->name;
    if (key != nullptr)
      putEntry(w, key, option->value != nullptr ? option->value : "", true);
  }
}

// 'putArguments()' - Append the user (four keys), title and copies entries.
void putArguments(EntryWriter *w, const char *user, const char *title,
                  const char *copies) {
  if (user != nullptr)
    for (const char *key : userArgumentKeys())
      putEntry(w, key, user, true);
  if (title != nullptr)
    putEntry(w, kTitleArgumentKey, title, true);
  if (copies != nullptr)
    putEntry(w, kCopiesArgumentKey, copies, true);
}

// Everything a pass over the entries reads.
struct JobSources {
  const PpdTextPart *part;
  ppd_file_t *ppd;
  cups_option_t *options;
  int count;
  const char *user;
  const char *title;
  const char *copies;
};

// 'putAllEntries()' - One measuring or writing pass over every source, in output order.
void putAllEntries(EntryWriter *w, const JobSources &src) {
  putText(w, src.part->text, false);
  putMarkedChoices(w, src.ppd);
  putJobOptions(w, src.options, src.count);
  putArguments(w, src.user, src.title, src.copies);
}

} // namespace

// 'makeJobParameter()' - Build the job parameter string; malloc'ed text, or null.
char *makeJobParameter(cups_option_t *options, int count, const char *user,
                       const char *title, const char *copies) {
  const char *path = std::getenv("PPD");
  if (path == nullptr)
    return nullptr;

  PpdTextPart part;
  if (readPpdText(path, &part) < 0 || part.matches == 0)
    return nullptr;

  if (count <= 0 || options == nullptr) {
    count = 0;
    options = nullptr;
  }

  PpdHandle ppd(ppdOpenFile(path));
  if (!ppd)
    return nullptr;
  ppdMarkDefaults(ppd.get());
  cupsMarkOptions(ppd.get(), count, options); // conflicts do not stop the job

  JobSources src{&part, ppd.get(), options, count, user, title, copies};
  EntryWriter measure{nullptr, 0, 0, SeparatorMode::None};
  putAllEntries(&measure, src);

  std::size_t capacity = measure.length + 4;
  char *text = static_cast<char *>(std::calloc(capacity, 1));
  if (text == nullptr)
    return nullptr;

  EntryWriter write{text, capacity, 0, probeSeparatorMode()};
  putAllEntries(&write, src);
  return text;
}

#pragma GCC diagnostic pop
