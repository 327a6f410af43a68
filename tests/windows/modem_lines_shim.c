/*
 * modem_lines_shim.so — test support for running the Windows DLL under Wine against the
 * simulated phone on a pseudo-terminal. Not part of the library.
 *
 * Why it exists: Wine carries the Win32 serial calls out with the terminal ioctls of
 * the Unix side. On a pseudo-terminal the modem-line ioctls TIOCMGET, TIOCMSET, TIOCMBIS
 * and TIOCMBIC fail with ENOTTY, and Wine passes that on: WaitCommEvent fails at once
 * with error 995 (ERROR_OPERATION_ABORTED) and EscapeCommFunction (DTR, RTS) with 50
 * (ERROR_NOT_SUPPORTED), so the library's watch thread falls back to polling and DTR
 * and RTS are never set. With the shim the Wine run takes the path a real serial port
 * takes (the driver runs once without it, for the fallback). A real serial port has
 * modem lines; a pseudo-terminal has none.
 *
 * What it does: loaded with LD_PRELOAD into the wine64 process, it wraps ioctl(). When
 * one of those four requests fails with ENOTTY, it keeps the modem lines of that
 * descriptor in memory instead and reports success: TIOCMGET reads them, TIOCMSET,
 * TIOCMBIS and TIOCMBIC change the output lines DTR and RTS. The input lines
 * read as a connected cable (CTS, DSR and carrier on, no ring). Every other request, and
 * every one of the four that the real ioctl() carries out, passes through unchanged to
 * the next ioctl() in the search order (dlsym RTLD_NEXT).
 *
 * Descriptors are not followed through close(): a number that is reused for another
 * pseudo-terminal starts with the lines the last one left, which no test can tell apart.
 */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <pthread.h>
#include <stdarg.h>
#include <stddef.h>
#include <string.h>
#include <sys/ioctl.h>

typedef int (*ioctl_function)(int, unsigned long, ...);

/* The lines a caller sets; the others are inputs that only the far end drives. */
#define OUTPUT_LINES (TIOCM_DTR | TIOCM_RTS)
/* What the inputs read on a terminal seen for the first time, with DTR and RTS raised as
 * a serial driver raises them on open. */
#define FIRST_LINES (TIOCM_DTR | TIOCM_RTS | TIOCM_CTS | TIOCM_DSR | TIOCM_CAR)

enum { max_terminals = 64 };

static struct {
  int fd;
  int lines;
} terminals[max_terminals];
static int terminal_count = 0;
static pthread_mutex_t terminals_lock = PTHREAD_MUTEX_INITIALIZER;

static ioctl_function next_ioctl = NULL;
static pthread_once_t next_ioctl_once = PTHREAD_ONCE_INIT;

static void find_next_ioctl(void) {
  void *address = dlsym(RTLD_NEXT, "ioctl");
  /* POSIX lets dlsym's result stand for a function's address. */
  memcpy(&next_ioctl, &address, sizeof next_ioctl);
}

/* The lines kept for fd, creating the entry on first use; null when the table is full. */
static int *lines_of(int fd) {
  int i;
  for (i = 0; i < terminal_count; ++i)
    if (terminals[i].fd == fd) return &terminals[i].lines;
  if (terminal_count == max_terminals) return NULL;
  terminals[terminal_count].fd = fd;
  terminals[terminal_count].lines = FIRST_LINES;
  return &terminals[terminal_count++].lines;
}

static int is_modem_line_request(unsigned long request) {
  return request == TIOCMGET || request == TIOCMSET || request == TIOCMBIS || request == TIOCMBIC;
}

/* Carries out a modem-line request on the kept lines; 0, or -1 when nothing is kept. */
static int emulate(int fd, unsigned long request, int *argument) {
  int *lines;
  int done = -1;
  if (argument == NULL) return -1;
  pthread_mutex_lock(&terminals_lock);
  lines = lines_of(fd);
  if (lines != NULL) {
    switch (request) {
      case TIOCMGET:
        *argument = *lines;
        break;
      case TIOCMSET:
        *lines = (*lines & ~OUTPUT_LINES) | (*argument & OUTPUT_LINES);
        break;
      case TIOCMBIS:
        *lines |= *argument & OUTPUT_LINES;
        break;
      default: /* TIOCMBIC */
        *lines &= ~(*argument & OUTPUT_LINES);
        break;
    }
    done = 0;
  }
  pthread_mutex_unlock(&terminals_lock);
  return done;
}

int ioctl(int fd, unsigned long request, ...) {
  va_list arguments;
  void *argument;
  int result;
  int saved_errno;

  va_start(arguments, request);
  argument = va_arg(arguments, void *);
  va_end(arguments);

  pthread_once(&next_ioctl_once, find_next_ioctl);
  if (next_ioctl == NULL) {
    errno = ENOSYS;
    return -1;
  }
  result = next_ioctl(fd, request, argument);
  if (result != -1 || !is_modem_line_request(request) || errno != ENOTTY) return result;

  saved_errno = errno;
  if (emulate(fd, request, (int *)argument) == 0) return 0;
  errno = saved_errno;
  return result;
}
