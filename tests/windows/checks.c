#include "checks.h"

#include <stdarg.h>
#include <stdio.h>

static int checks_run = 0;
static int checks_failed = 0;

void emit(const char *format, ...) {
  va_list arguments;
  va_start(arguments, format);
  vprintf(format, arguments);
  va_end(arguments);
  fputc('\n', stdout);
  fflush(stdout);
}

int check(int passed, const char *what, const char *detail_format, ...) {
  char detail[600] = "";
  if (!passed && detail_format != NULL) {
    va_list arguments;
    va_start(arguments, detail_format);
    vsnprintf(detail, sizeof detail, detail_format, arguments);
    va_end(arguments);
  }
  ++checks_run;
  if (passed) {
    emit("ok - %s", what);
  } else {
    ++checks_failed;
    emit("FAIL - %s: %s", what, detail);
  }
  return passed;
}

int finish_checks(const char *program) {
  emit("%s: %d checks, %d failed", program, checks_run, checks_failed);
  return checks_failed == 0 ? 0 : 1;
}
