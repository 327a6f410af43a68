/*
 * Threads, sleeps and a monotonic clock for the C host programs: the Windows calls
 * (CreateThread, Sleep, GetTickCount64) or the POSIX ones (pthreads, nanosleep,
 * clock_gettime) behind one small interface.
 */
#ifndef PELKOR_TESTS_HOST_SUPPORT_H
#define PELKOR_TESTS_HOST_SUPPORT_H

#include <stdint.h>

/* Runs body(argument) on a new thread and waits until that thread has ended, so that
 * whatever the system does at the end of a thread has been done on return. 0 when the
 * thread ran, -1 when it could not be started. */
int host_run_thread(void (*body)(void *argument), void *argument);

/* Milliseconds of a monotonic clock with an arbitrary origin. */
int64_t host_clock_ms(void);

/* Sleeps at least the given number of milliseconds. */
void host_sleep_ms(int32_t milliseconds);

#endif
