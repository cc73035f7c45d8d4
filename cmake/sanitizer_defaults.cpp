// Leak suppressions compiled into every program of a sanitizer build, so that
// they hold also where the environment is not ours (children, cupsd).

// libcups 2.4.2 leaks the Duplex names of the PPD cache that cupsMarkOptions
// builds for IPP options such as "sides"; ppdClose does not free them.
extern "C" const char *__lsan_default_suppressions() {
  // ppdOpen overwrites, without freeing, the text of a header keyword such as
  // *LanguageVersion that a PPD repeats (found by fuzzing the PPD reader).
  return "leak:_ppdCacheCreateWithPPD\n"
         "leak:_ppdOpen\n";
}
