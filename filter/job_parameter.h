/*
 * Job parameter string: the one "key=value;" text that tells the page
 * description module what it needs to know about a job.
 */
#ifndef TOVEFILT_JOB_PARAMETER_H
#define TOVEFILT_JOB_PARAMETER_H

#include <cups/cups.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Builds the string from the PPD named by $PPD, the job's options and the
 * user, title and copies arguments (each may be null). Returns a malloc'ed
 * text, or null on failure. Adapts the decimal separator of some option
 * values in place. */
char *makeJobParameter(cups_option_t *options, int count, const char *user,
                       const char *title, const char *copies);

/* The parameter key for a job option that is passed on under another name,
 * or null. */
const char *renameOption(const char *name);

#ifdef __cplusplus
}
#endif

#endif /* TOVEFILT_JOB_PARAMETER_H */
