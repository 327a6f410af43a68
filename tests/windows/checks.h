/* Check lines of the C host programs: "ok - what" or "FAIL - what: detail", one a line,
 * flushed at once (the driver reads them from a pipe), then one summary line. */
#ifndef PELKOR_TESTS_CHECKS_H
#define PELKOR_TESTS_CHECKS_H

/* Prints one line, flushed. */
void emit(const char *format, ...);

/* Records one check; the detail (printf format) is printed only when it failed.
 * Returns `passed`. */
int check(int passed, const char *what, const char *detail_format, ...);

/* Prints "<program>: N checks, M failed"; returns the exit status (0 when none failed). */
int finish_checks(const char *program);

#endif
